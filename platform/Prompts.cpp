#include "Prompts.h"

#include <QDebug>

Prompts::~Prompts() = default;

namespace {

class LoggingPrompts final : public Prompts
{
public:
    void information(const QString &text) override { qInfo().noquote() << text; }
    void warning(const QString &text) override { qWarning().noquote() << text; }
    void error(const QString &text) override { qCritical().noquote() << text; }
    bool confirm(const QString &text, Question) override
    {
        qWarning().noquote() << text << "(answered No: no prompts installed)";
        return false;
    }
    std::optional<QString> inputQuery(const QString &, const QString &, const QString &, int) override
    {
        return std::nullopt;
    }
    std::optional<QString> maskedInput(const QString &, const QString &, const QString &) override
    {
        return std::nullopt;
    }
    std::optional<int> choose(const QString &, const QString &, const QStringList &) override { return std::nullopt; }
    QString openFile(const QString &, const QString &, const QString &) override { return {}; }
    QString saveFile(const QString &, const QString &, const QString &, const QString &) override
    {
        return {};
    }
};

LoggingPrompts g_logging;
Prompts *g_current = nullptr;

} // namespace

Prompts &Prompts::current()
{
    return g_current ? *g_current : static_cast<Prompts &>(g_logging);
}

void Prompts::install(Prompts *p)
{
    g_current = p;
}
