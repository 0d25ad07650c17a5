#pragma once

#include <QDialog>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;

// The entry of a ROM code by hand: a prompt and a field of eight dash-separated pairs of
// characters, shown as underscores while empty and forced to upper case. Only hex digits (and
// backspace, copy and paste) get through to the field; any other character is dropped with a
// beep. OK closes only a complete entry; a gap is selected and reported instead.
class TForm_MaskInputBox : public QDialog
{
    Q_OBJECT
public:
    explicit TForm_MaskInputBox(QWidget *parent = nullptr);

    // Shows the dialog modally with caption, prompt and text; the sixteen characters entered
    // (without dashes) on OK, nullopt on Cancel or Escape.
    static std::optional<QString> MaskInputQuery(const QString &caption, const QString &prompt,
                                                 const QString &text, QWidget *parent = nullptr);

    void setPrompt(const QString &prompt);
    void setText(const QString &text);
    // The characters entered, without dashes and placeholders.
    QString value() const;
    void Button_OKClick();

    QLabel *Label_Prompt;
    QLineEdit *MaskEdit1;
    QPushButton *Button_OK;
    QPushButton *Button_Cancel;

signals:
    // A typed character was dropped (and the system beep sounded).
    void characterRefused(QChar c);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};
