#include "ConsolePrompts.h"

#include "CliFailure.h"
#include "Console.h"

#include <QFileInfo>

#include <cstdio>

void ConsolePrompts::information(const QString &text)
{
    m_console.err(text.trimmed());
}

void ConsolePrompts::warning(const QString &text)
{
    m_console.err(text.trimmed());
}

void ConsolePrompts::error(const QString &text)
{
    m_console.err(text.trimmed());
}

std::optional<QString> ConsolePrompts::ask(const QString &question)
{
    if (!Console::stdinIsTerminal()) {
        m_console.err(question + QStringLiteral(" (not asked: no terminal to answer; --yes answers Yes)"));
        return std::nullopt;
    }
    m_console.endProgress();
    std::fputs(qPrintable(question + QLatin1Char(' ')), stderr);
    std::fflush(stderr);
    return Console::readLine();
}

bool ConsolePrompts::confirm(const QString &text, Question)
{
    if (m_assumeYes)
        return true;
    const auto answer = ask(text.trimmed() + QStringLiteral(" [y/N]"));
    return answer && (answer->compare(QLatin1String("y"), Qt::CaseInsensitive) == 0
                      || answer->compare(QLatin1String("yes"), Qt::CaseInsensitive) == 0);
}

std::optional<QString> ConsolePrompts::inputQuery(const QString &caption, const QString &prompt, const QString &,
                                                  int maxLength)
{
    const auto answer = ask(caption + QStringLiteral(": ") + prompt.trimmed());
    return answer && maxLength > 0 ? std::optional<QString>(answer->left(maxLength)) : answer;
}

std::optional<QString> ConsolePrompts::maskedInput(const QString &caption, const QString &prompt, const QString &)
{
    return ask(caption + QStringLiteral(": ") + prompt.simplified());
}

std::optional<int> ConsolePrompts::choose(const QString &caption, const QString &prompt, const QStringList &items)
{
    QString question = caption + QStringLiteral(": ") + prompt.trimmed();
    for (qsizetype i = 0; i < items.size(); ++i)
        question += QStringLiteral("\n  %1. %2").arg(i + 1).arg(items[i]);
    question += QStringLiteral("\nNumber:");
    const auto answer = ask(question);
    bool ok = false;
    const int n = answer ? answer->trimmed().toInt(&ok) : 0;
    return ok && n >= 1 && n <= items.size() ? std::optional<int>(n - 1) : std::nullopt;
}

QString ConsolePrompts::openFile(const QString &, const QString &, const QString &)
{
    return {};
}

QString ConsolePrompts::saveFile(const QString &, const QString &, const QString &, const QString &)
{
    return {};
}

void ConsolePrompts::requireRewrite(const QString &path)
{
    if (QFileInfo::exists(path) && !confirm(QStringLiteral("%1 already exists. Do you want to rewrite it?").arg(path), Question::WarningYesNo))
        throw CliFailure::usage(QStringLiteral("%1 was not rewritten.").arg(path));
}
