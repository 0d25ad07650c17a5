#include "TForm_MaskInputBox.h"

#include "ErrorGuard.h"
#include "Prompts.h"
#include "RomCode.h"
#include "RomCodeEntry.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
// Eight pairs of letters or digits, upper case, underscores while empty. The mask admits any
// letter so that a pasted code with a wrong letter still shows, and is refused as a whole.
const QString kMask = QStringLiteral(">NN-NN-NN-NN-NN-NN-NN-NN;_");
constexpr QChar kBlank = QLatin1Char('_');
} // namespace

TForm_MaskInputBox::TForm_MaskInputBox(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("Form_MaskInputBox"));
    Label_Prompt = new QLabel(this);
    Label_Prompt->setObjectName(QStringLiteral("Label_Prompt"));
    MaskEdit1 = new QLineEdit(this);
    MaskEdit1->setObjectName(QStringLiteral("MaskEdit1"));
    MaskEdit1->setInputMask(kMask);
    MaskEdit1->installEventFilter(this);
    Label_Prompt->setBuddy(MaskEdit1);
    Button_OK = new QPushButton(QStringLiteral("OK"), this);
    Button_OK->setObjectName(QStringLiteral("Button_OK"));
    Button_OK->setDefault(true);
    Button_Cancel = new QPushButton(QStringLiteral("Cancel"), this);
    Button_Cancel->setObjectName(QStringLiteral("Button_Cancel"));

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Button_OK);
    buttons->addWidget(Button_Cancel);
    auto *column = new QVBoxLayout(this);
    column->addWidget(Label_Prompt);
    column->addWidget(MaskEdit1);
    column->addLayout(buttons);
    // The dialog grows with a prompt of several lines, never narrower than designed.
    setMinimumWidth(290);
    column->setSizeConstraint(QLayout::SetFixedSize);

    connect(Button_OK, &QPushButton::clicked, this, [this] { ErrorGuard::run([this] { Button_OKClick(); }); });
    connect(Button_Cancel, &QPushButton::clicked, this, &QDialog::reject);
}

std::optional<QString> TForm_MaskInputBox::MaskInputQuery(const QString &caption, const QString &prompt,
                                                          const QString &text, QWidget *parent)
{
    TForm_MaskInputBox dialog(parent);
    dialog.setWindowTitle(caption);
    dialog.setPrompt(prompt);
    dialog.setText(text);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.value();
}

void TForm_MaskInputBox::setPrompt(const QString &prompt)
{
    // The prompt's line breaks are CR LF; a label breaks at LF alone.
    Label_Prompt->setText(QString(prompt).remove(QLatin1Char('\r')));
}

void TForm_MaskInputBox::setText(const QString &text)
{
    MaskEdit1->setText(text);
    MaskEdit1->setCursorPosition(0);
}

QString TForm_MaskInputBox::value() const
{
    return MaskEdit1->text().remove(QLatin1Char('-'));
}

void TForm_MaskInputBox::Button_OKClick()
{
    const int gap = MaskEdit1->displayText().indexOf(kBlank);
    if (gap < 0) {
        accept();
        return;
    }
    MaskEdit1->setFocus();
    MaskEdit1->setSelection(gap, 1);
    Prompts::current().error(RomCodeEntry::missingCharacterText());
}

bool TForm_MaskInputBox::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == MaskEdit1 && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        const QString text = key->text();
        // Keys without a character (arrows, Delete, Home, Enter...) keep their usual meaning.
        if (text.isEmpty())
            return false;
        if (key->matches(QKeySequence::Copy) || key->matches(QKeySequence::Paste)
            || key->key() == Qt::Key_Backspace)
            return false;
        const QChar c = text.at(0);
        if (text.size() == 1 && RomCode::isHexDigit(c))
            return false;
        switch (key->key()) {
        case Qt::Key_Escape:
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
        case Qt::Key_Delete:
            return false;
        default:
            break;
        }
        QApplication::beep();
        emit characterRefused(c);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
