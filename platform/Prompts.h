#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// Every message box, input query and file dialog of the tool goes through this interface, so
// the product shows real dialogs (QtPrompts) and tests answer them from a script.
class Prompts
{
public:
    virtual ~Prompts();

    virtual void information(const QString &text) = 0;
    virtual void warning(const QString &text) = 0;
    virtual void error(const QString &text) = 0;
    // The box a question comes in: a confirmation with Yes and No, a confirmation with OK and
    // Cancel, a warning with Yes and No (a question whose Yes loses something), or such a
    // warning with No as its default answer (a Yes the user may give by a slip of the hand,
    // Enter or Space, writes into the gateway what may not be meant).
    enum class Question { YesNo, OkCancel, WarningYesNo, WarningNoByDefault };
    // A question; true for Yes or OK.
    virtual bool confirm(const QString &text, Question kind = Question::YesNo) = 0;
    // A one-line text query; nullopt when the user cancels. A maxLength above 0 is the most
    // characters the field takes, and the field shows how many of them are used.
    virtual std::optional<QString> inputQuery(const QString &caption, const QString &prompt,
                                              const QString &value, int maxLength = 0) = 0;
    // A ROM code typed into a field of eight dash-separated pairs, starting from value; the
    // sixteen characters entered, or nullopt when the user cancels.
    virtual std::optional<QString> maskedInput(const QString &caption, const QString &prompt,
                                               const QString &value) = 0;
    // One of several items picked from a list (the first preselected); its index, or nullopt when
    // the user cancels.
    virtual std::optional<int> choose(const QString &caption, const QString &prompt, const QStringList &items) = 0;
    // File dialogs; an empty string when the user cancels.
    virtual QString openFile(const QString &caption, const QString &filter,
                             const QString &directory) = 0;
    virtual QString saveFile(const QString &caption, const QString &filter,
                             const QString &directory, const QString &fileName) = 0;

    // The prompts the application uses. Until one is installed, messages go to the log and
    // every question is answered with No / cancel, so code without a window never blocks.
    static Prompts &current();
    // Installs p (not owned; nullptr restores the logging default).
    static void install(Prompts *p);
};
