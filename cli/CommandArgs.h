#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// The words after a command: its options ("--json", "--count 5" or "--count=5", "--set A=1
// B=2") and its positional arguments. A command takes what it knows, options first, then
// calls finish(), which refuses whatever is left. Every refusal is a usage CliFailure.
class CommandArgs
{
public:
    CommandArgs(const QString &command, const QStringList &words);

    bool flag(const QString &name);
    std::optional<QString> value(const QString &name);
    // The NAME=VALUE words following each --name.
    QStringList assignments(const QString &name);
    // The next positional argument; what names it in the message when it is missing.
    QString positional(const QString &what);
    // The next positional argument, when there is one more.
    std::optional<QString> nextPositional();
    // Takes the positional argument word (such as "-" for stdout) when it is given.
    bool word(const QString &text);
    void finish();

private:
    // Index of the first unused word "--name" or "--name=..."; -1 when none.
    int find(const QString &name) const;
    bool isOption(int i) const { return m_words[i].startsWith(QLatin1String("--")); }

    QString m_command;
    QStringList m_words;
    QList<bool> m_used;
};
