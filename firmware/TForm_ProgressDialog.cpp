#include "TForm_ProgressDialog.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

TForm_ProgressDialog::TForm_ProgressDialog(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("Form_ProgressDialog"));
    // A fixed window with a title and no buttons in it: the work ends it, not the user.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::MSWindowsFixedSizeDialogHint);
    Label_Progress = new QLabel(this);
    Label_Progress->setObjectName(QStringLiteral("Label_Progress"));
    Gauge1 = new QProgressBar(this);
    Gauge1->setObjectName(QStringLiteral("Gauge1"));
    auto *column = new QVBoxLayout(this);
    column->addWidget(Label_Progress);
    column->addWidget(Gauge1);
    setFixedSize(360, 90);
}

void TForm_ProgressDialog::setMaximum(int maximum)
{
    Gauge1->setMaximum(maximum);
}

void TForm_ProgressDialog::setPosition(int position)
{
    Gauge1->setValue(qBound(Gauge1->minimum(), position, Gauge1->maximum()));
}

void TForm_ProgressDialog::setText(const QString &text)
{
    Label_Progress->setText(text);
}

void TForm_ProgressDialog::reject()
{
    // Esc: the work is not to be left running behind a closed window.
}

void TForm_ProgressDialog::closeEvent(QCloseEvent *event)
{
    event->ignore();
}
