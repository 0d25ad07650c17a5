#pragma once

#include "Prompts.h"

#include <QList>
#include <QQueue>
#include <QString>
#include <optional>

// Prompts for tests: records every message and question, and answers from queued replies.
// A question with no queued reply is answered No / cancel and counted as unanswered, so a test
// never waits for a person. Installs itself for its lifetime.
class ScriptedPrompts final : public Prompts
{
public:
    enum class Kind { Information, Warning, Error, Confirmation, Input, MaskedInput, OpenFile, SaveFile, Choice };
    struct Shown
    {
        Kind kind;
        QString text;
        QString value;                                 // the initial text of a query; a choice's items, one a line
        Question question = Question::YesNo;           // the box of a confirmation
        int maxLength = 0;                             // the most characters a query's field takes
    };

    ScriptedPrompts();
    ~ScriptedPrompts() override;

    void queueConfirm(bool yes) { m_confirms.enqueue(yes); }
    void queueInput(std::optional<QString> text) { m_inputs.enqueue(std::move(text)); }
    void queueFile(const QString &path) { m_files.enqueue(path); }
    // The index of the item a choice picks (nullopt: cancelled).
    void queueChoice(std::optional<int> index) { m_choices.enqueue(index); }

    const QList<Shown> &shown() const { return m_shown; }
    // The texts shown, of one kind.
    QStringList texts(Kind kind) const;
    int unanswered() const { return m_unanswered; }
    void clear();

    void information(const QString &text) override;
    void warning(const QString &text) override;
    void error(const QString &text) override;
    bool confirm(const QString &text, Question kind = Question::YesNo) override;
    std::optional<QString> inputQuery(const QString &caption, const QString &prompt,
                                      const QString &value, int maxLength = 0) override;
    std::optional<QString> maskedInput(const QString &caption, const QString &prompt,
                                       const QString &value) override;
    std::optional<int> choose(const QString &caption, const QString &prompt, const QStringList &items) override;
    QString openFile(const QString &caption, const QString &filter,
                     const QString &directory) override;
    QString saveFile(const QString &caption, const QString &filter, const QString &directory,
                     const QString &fileName) override;

private:
    QString takeFile(Kind kind, const QString &caption);

    QList<Shown> m_shown;
    QQueue<bool> m_confirms;
    QQueue<std::optional<QString>> m_inputs;
    QQueue<QString> m_files;
    QQueue<std::optional<int>> m_choices;
    int m_unanswered = 0;
};
