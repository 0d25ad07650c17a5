#include "QtPrompts.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>

QtPrompts::QtPrompts(QWidget *parent) : m_parent(parent) {}

void QtPrompts::setParent(QWidget *parent)
{
    m_parent = parent;
}

QString QtPrompts::title() const
{
    return QApplication::applicationDisplayName();
}

void QtPrompts::information(const QString &text)
{
    QMessageBox::information(m_parent, title(), text);
}

void QtPrompts::warning(const QString &text)
{
    QMessageBox::warning(m_parent, title(), text);
}

void QtPrompts::error(const QString &text)
{
    QMessageBox::critical(m_parent, title(), text);
}

bool QtPrompts::confirm(const QString &text, Question kind)
{
    switch (kind) {
    case Question::OkCancel:
        return QMessageBox::question(m_parent, title(), text, QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
    case Question::WarningYesNo:
        return QMessageBox::warning(m_parent, title(), text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    case Question::WarningNoByDefault:
        return QMessageBox::warning(m_parent, title(), text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
               == QMessageBox::Yes;
    case Question::YesNo:
        break;
    }
    return QMessageBox::question(m_parent, title(), text, QMessageBox::Yes | QMessageBox::No)
           == QMessageBox::Yes;
}

std::optional<QString> QtPrompts::inputQuery(const QString &caption, const QString &prompt,
                                             const QString &value, int maxLength)
{
    QInputDialog dialog(m_parent);
    dialog.setWindowTitle(caption);
    dialog.setLabelText(prompt);
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setTextValue(maxLength > 0 ? value.left(maxLength) : value);
    if (maxLength > 0) {
        // The field stops at the limit and says how much of it is used, so nothing typed is
        // cut off later without a word.
        if (auto *edit = dialog.findChild<QLineEdit *>()) {
            edit->setMaxLength(maxLength);
            const auto count = [&dialog, prompt, maxLength](const QString &text) {
                dialog.setLabelText(prompt + QStringLiteral("\n%1 of %2 characters").arg(text.size()).arg(maxLength));
            };
            count(edit->text());
            QObject::connect(edit, &QLineEdit::textChanged, &dialog, count);
        }
    }
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}

std::optional<QString> QtPrompts::maskedInput(const QString &caption, const QString &prompt,
                                              const QString &value)
{
    if (m_maskedQuery)
        return m_maskedQuery(caption, prompt, value, m_parent);
    return inputQuery(caption, prompt, value);
}

std::optional<int> QtPrompts::choose(const QString &caption, const QString &prompt, const QStringList &items)
{
    if (items.isEmpty())
        return std::nullopt;
    QInputDialog dialog(m_parent);
    dialog.setWindowTitle(caption);
    dialog.setLabelText(prompt);
    dialog.setComboBoxItems(items);
    dialog.setComboBoxEditable(false);
    dialog.setOption(QInputDialog::UseListViewForComboBoxItems);
    dialog.setTextValue(items.first());
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const int index = int(items.indexOf(dialog.textValue()));
    return index >= 0 ? std::optional<int>(index) : std::nullopt;
}

QString QtPrompts::openFile(const QString &caption, const QString &filter,
                            const QString &directory)
{
    return QFileDialog::getOpenFileName(m_parent, caption, directory, filter);
}

QString QtPrompts::saveFile(const QString &caption, const QString &filter,
                            const QString &directory, const QString &fileName)
{
    // The caller asks before overwriting an existing file, in its own words.
    return QFileDialog::getSaveFileName(m_parent, caption, QDir(directory).filePath(fileName),
                                        filter, nullptr, QFileDialog::DontConfirmOverwrite);
}
