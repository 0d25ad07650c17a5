#include "FindGatewayDialog.h"

#include "Language.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QString pick(const QString &english, const QString &czech)
{
    return Language::current() == Language::Czech ? czech : english;
}

} // namespace

FindGatewayDialog::FindGatewayDialog(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FindGatewayDialog"));
    setWindowModality(Qt::WindowModal);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("Label_FindStatus"));
    m_status->setWordWrap(true);
    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("Gauge_Find"));
    m_found = new QLabel(this);
    m_found->setObjectName(QStringLiteral("Label_Found"));
    m_found->setWordWrap(true);
    m_found->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_connect = new QPushButton(this);
    m_connect->setObjectName(QStringLiteral("Button_ConnectNow"));
    m_cancel = new QPushButton(this);
    m_cancel->setObjectName(QStringLiteral("Button_CancelFind"));
    connect(m_connect, &QPushButton::clicked, this, &FindGatewayDialog::connectNow);
    connect(m_cancel, &QPushButton::clicked, this, &FindGatewayDialog::reject);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_connect);
    buttons->addWidget(m_cancel);
    auto *column = new QVBoxLayout(this);
    column->addWidget(m_status);
    column->addWidget(m_bar);
    column->addWidget(m_found);
    column->addStretch();
    column->addLayout(buttons);
    setMinimumWidth(420);
}

void FindGatewayDialog::begin(const QString &port)
{
    setWindowTitle(pick(QStringLiteral("Find gateway on %1"), QStringLiteral("Vyhledat bránu na %1")).arg(port));
    m_connect->setText(pick(QStringLiteral("&Connect now"), QStringLiteral("&Pripojit hned")));
    m_cancel->setText(pick(QStringLiteral("Cancel"), QStringLiteral("Zrušit")));
    m_connect->setEnabled(false);
    m_cancel->setDefault(true);
    m_finds.clear();
    m_found->setText(pick(QStringLiteral("No gateway found yet."), QStringLiteral("Zatím žádná brána.")));
    m_status->clear();
    m_bar->setRange(0, 1);
    m_bar->setValue(0);
}

void FindGatewayDialog::setProgress(const QString &text, int done, int total)
{
    m_status->setText(text);
    m_bar->setRange(0, qMax(1, total));
    m_bar->setValue(qBound(0, done, qMax(1, total)));
}

void FindGatewayDialog::addFound(const QString &text)
{
    m_finds.append(text);
    m_found->setText(pick(QStringLiteral("Found:"), QStringLiteral("Nalezeno:")) + QLatin1Char('\n') + m_finds.join(QLatin1Char('\n')));
    // Most lines hold one gateway: going on with it is the likely next step.
    m_connect->setEnabled(true);
    m_connect->setDefault(true);
}

void FindGatewayDialog::reject()
{
    QDialog::reject();
    emit cancelled();
}
