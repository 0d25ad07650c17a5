#include "CommandArgs.h"

#include "CliFailure.h"

CommandArgs::CommandArgs(const QString &command, const QStringList &words)
    : m_command(command), m_words(words), m_used(words.size(), false)
{
}

int CommandArgs::find(const QString &name) const
{
    const QString option = QStringLiteral("--") + name;
    for (int i = 0; i < m_words.size(); ++i)
        if (!m_used[i] && (m_words[i] == option || m_words[i].startsWith(option + QLatin1Char('='))))
            return i;
    return -1;
}

bool CommandArgs::flag(const QString &name)
{
    bool set = false;
    for (int i = find(name); i >= 0; i = find(name)) {
        if (m_words[i].contains(QLatin1Char('=')))
            throw CliFailure::usage(QStringLiteral("--%1 takes no value").arg(name));
        m_used[i] = true;
        set = true;
    }
    return set;
}

std::optional<QString> CommandArgs::value(const QString &name)
{
    std::optional<QString> result;
    for (int i = find(name); i >= 0; i = find(name)) {
        m_used[i] = true;
        const int equals = int(m_words[i].indexOf(QLatin1Char('=')));
        if (equals >= 0) {
            result = m_words[i].mid(equals + 1);
        } else if (i + 1 < m_words.size() && !m_used[i + 1] && !isOption(i + 1)) {
            m_used[i + 1] = true;
            result = m_words[i + 1];
        } else {
            throw CliFailure::usage(QStringLiteral("--%1 needs a value").arg(name));
        }
    }
    return result;
}

QStringList CommandArgs::assignments(const QString &name)
{
    QStringList result;
    for (int i = find(name); i >= 0; i = find(name)) {
        m_used[i] = true;
        const qsizetype before = result.size();
        const int equals = int(m_words[i].indexOf(QLatin1Char('=')));
        if (equals >= 0)
            result.append(m_words[i].mid(equals + 1));
        for (int j = i + 1; j < m_words.size() && !m_used[j] && !isOption(j) && m_words[j].contains(QLatin1Char('=')); ++j) {
            m_used[j] = true;
            result.append(m_words[j]);
        }
        if (result.size() == before)
            throw CliFailure::usage(QStringLiteral("--%1 needs NAME=VALUE").arg(name));
    }
    return result;
}

QString CommandArgs::positional(const QString &what)
{
    if (auto word = nextPositional())
        return *word;
    throw CliFailure::usage(QStringLiteral("%1 needs %2").arg(m_command, what));
}

std::optional<QString> CommandArgs::nextPositional()
{
    for (int i = 0; i < m_words.size(); ++i)
        if (!m_used[i] && !isOption(i)) {
            m_used[i] = true;
            return m_words[i];
        }
    return std::nullopt;
}

bool CommandArgs::word(const QString &text)
{
    for (int i = 0; i < m_words.size(); ++i)
        if (!m_used[i] && m_words[i] == text) {
            m_used[i] = true;
            return true;
        }
    return false;
}

void CommandArgs::finish()
{
    for (int i = 0; i < m_words.size(); ++i) {
        if (m_used[i])
            continue;
        if (isOption(i))
            throw CliFailure::usage(QStringLiteral("%1 has no option %2").arg(m_command, m_words[i].section(QLatin1Char('='), 0, 0)));
        throw CliFailure::usage(QStringLiteral("unexpected argument \"%1\" after %2").arg(m_words[i], m_command));
    }
}
