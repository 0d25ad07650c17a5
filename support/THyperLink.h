#pragma once

#include <QLabel>

// A label that shows one link: its text underlined in the link colour, opened with the system's
// handler (browser, mail program) on a click. Its hint is the target followed by a bar, so the
// tooltip names where the link leads.
class THyperLink : public QLabel
{
    Q_OBJECT
public:
    explicit THyperLink(QWidget *parent = nullptr);

    void setLink(const QString &text, const QString &target);
    QString linkText() const { return m_text; }
    QString target() const { return m_target; }

private:
    QString m_text;
    QString m_target;
};
