#pragma once

#include "Prompts.h"

#include <QPointer>
#include <QWidget>
#include <functional>

// The product's prompts: standard Qt message boxes and dialogs over the given parent window.
class QtPrompts final : public Prompts
{
public:
    explicit QtPrompts(QWidget *parent = nullptr);
    void setParent(QWidget *parent);

    void information(const QString &text) override;
    void warning(const QString &text) override;
    void error(const QString &text) override;
    bool confirm(const QString &text, Question kind = Question::YesNo) override;
    std::optional<QString> inputQuery(const QString &caption, const QString &prompt,
                                      const QString &value, int maxLength = 0) override;
    std::optional<QString> maskedInput(const QString &caption, const QString &prompt,
                                       const QString &value) override;
    // The masked entry dialog lives with the channel widgets; the program hands it in here.
    using MaskedQuery = std::function<std::optional<QString>(const QString &caption, const QString &prompt,
                                                             const QString &value, QWidget *parent)>;
    void setMaskedQuery(MaskedQuery query) { m_maskedQuery = std::move(query); }
    std::optional<int> choose(const QString &caption, const QString &prompt, const QStringList &items) override;
    QString openFile(const QString &caption, const QString &filter,
                     const QString &directory) override;
    QString saveFile(const QString &caption, const QString &filter, const QString &directory,
                     const QString &fileName) override;

private:
    QString title() const;
    QPointer<QWidget> m_parent;
    MaskedQuery m_maskedQuery;
};
