#pragma once

#include "Prompts.h"

class Console;

// The tool's questions and messages on the terminal. Messages go to stderr. A question is
// answered Yes by --yes; otherwise it is asked on stderr and answered from stdin, and when
// stdin is no terminal it cannot be asked and counts as No. File dialogs do not exist here.
class ConsolePrompts final : public Prompts
{
public:
    explicit ConsolePrompts(Console &console) : m_console(console) {}

    void setAssumeYes(bool yes) { m_assumeYes = yes; }
    // The window's question before a file is written over; throws a usage CliFailure when
    // the file exists and the answer is not Yes.
    void requireRewrite(const QString &path);

    void information(const QString &text) override;
    void warning(const QString &text) override;
    void error(const QString &text) override;
    bool confirm(const QString &text, Question kind = Question::YesNo) override;
    std::optional<QString> inputQuery(const QString &caption, const QString &prompt, const QString &value,
                                      int maxLength = 0) override;
    std::optional<QString> maskedInput(const QString &caption, const QString &prompt, const QString &value) override;
    // The items numbered from 1; the number typed picks one.
    std::optional<int> choose(const QString &caption, const QString &prompt, const QStringList &items) override;
    QString openFile(const QString &caption, const QString &filter, const QString &directory) override;
    QString saveFile(const QString &caption, const QString &filter, const QString &directory,
                     const QString &fileName) override;

private:
    std::optional<QString> ask(const QString &question);

    Console &m_console;
    bool m_assumeYes = false;
};
