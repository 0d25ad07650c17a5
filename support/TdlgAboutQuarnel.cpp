#include "TdlgAboutQuarnel.h"

#include "TFrame_Logo.h"
#include "THyperLink.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// The maker's contact data of this edition: placeholders in reserved forms (example.com, a
// fictitious number), to be replaced by a real edition's data.
const QString kCompany = QStringLiteral("Quarnel");
const QString kStreet = QStringLiteral("Example Street 12");
const QString kCity = QStringLiteral("123 45 Sampletown");
const QString kState = QStringLiteral("Exampleland");
const QString kPhone = QStringLiteral("+420 555 010 120");
const QString kMail = QStringLiteral("info@example.com");
const QString kWeb = QStringLiteral("https://www.example.com");

} // namespace

TdlgAboutQuarnel::TdlgAboutQuarnel(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("dlgAbout"));
    setWindowTitle(QStringLiteral("About 1-WIRE-TARVIK Tool"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
        | Qt::WindowCloseButtonHint);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Img_Logo = new QLabel(Panel1);
    Img_Logo->setObjectName(QStringLiteral("Img_Logo"));
    Img_Logo->setPixmap(TFrame_Logo::logo(0));
    auto *logoColumn = new QVBoxLayout(Panel1);
    logoColumn->addWidget(Img_Logo);
    logoColumn->addStretch();

    Lb_CapApp = label("Lb_CapApp", QStringLiteral("Application:"));
    Lb_AppName = label("Lb_AppName", QStringLiteral("1-WIRE-TARVIK Tool"));
    Lb_CapVer = label("Lb_CapVer", QStringLiteral("Version:"));
    Lb_AppVer = label("Lb_AppVer", QStringLiteral("V1.09 (OBRIX)"));
    Lb_AppDescription = label("Lb_AppDescription",
        QStringLiteral("Configuration software for gateway 1-WIRE / MODBUS RTU."));
    Lb_CapContact = label("Lb_CapContact", QStringLiteral("Contact:"));
    for (QLabel *bold : {Lb_AppName, Lb_AppVer, Lb_CapContact}) {
        QFont font = bold->font();
        font.setBold(true);
        bold->setFont(font);
    }

    m_makerBlock = new QWidget(this);
    Lb_CompanyName = label("Lb_CompanyName", kCompany);
    Lb_AddrStreet = label("Lb_AddrStreet", kStreet);
    Lb_AddrCity = label("Lb_AddrCity", kCity);
    Lb_AddrState = label("Lb_AddrState", kState);
    Lb_CapPhone = label("Lb_CapPhone", QStringLiteral("Phone:"));
    Lb_Phone = label("Lb_Phone", kPhone);
    Lb_CapMail = label("Lb_CapMail", QStringLiteral("E-mail:"));
    iHyperLink1 = link("iHyperLink1", kMail, QStringLiteral("mailto:") + kMail);
    Lb_CapWeb = label("Lb_CapWeb", QStringLiteral("Web:"));
    iHyperLink2 = link("iHyperLink2", kWeb, kWeb + QStringLiteral("/?userLang=en"));
    auto *contact = new QGridLayout(m_makerBlock);
    contact->setContentsMargins(0, 0, 0, 0);
    contact->setVerticalSpacing(2);
    contact->addWidget(Lb_CompanyName, 0, 0, 1, 2);
    contact->addWidget(Lb_AddrStreet, 1, 0, 1, 2);
    contact->addWidget(Lb_AddrCity, 2, 0, 1, 2);
    contact->addWidget(Lb_AddrState, 3, 0, 1, 2);
    contact->addWidget(Lb_CapPhone, 4, 0);
    contact->addWidget(Lb_Phone, 4, 1);
    contact->addWidget(Lb_CapMail, 5, 0);
    contact->addWidget(iHyperLink1, 5, 1);
    contact->addWidget(Lb_CapWeb, 6, 0);
    contact->addWidget(iHyperLink2, 6, 1);
    contact->setColumnStretch(1, 1);

    auto *identity = new QGridLayout;
    identity->addWidget(Lb_CapApp, 0, 0);
    identity->addWidget(Lb_AppName, 0, 1);
    identity->addWidget(Lb_CapVer, 1, 0);
    identity->addWidget(Lb_AppVer, 1, 1);
    identity->setColumnStretch(1, 1);

    m_details = new QVBoxLayout;
    m_details->addLayout(identity);
    m_details->addWidget(Lb_AppDescription);
    m_details->addSpacing(8);
    m_details->addWidget(Lb_CapContact);
    m_details->addWidget(m_makerBlock);
    m_details->addStretch();

    SevBtn_OK = new QPushButton(QStringLiteral("OK"), this);
    SevBtn_OK->setObjectName(QStringLiteral("SevBtn_OK"));
    SevBtn_OK->setDefault(true);
    connect(SevBtn_OK, &QPushButton::clicked, this, &QDialog::accept);

    auto *top = new QHBoxLayout;
    top->addWidget(Panel1);
    top->addLayout(m_details, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(SevBtn_OK);
    auto *all = new QVBoxLayout(this);
    all->addLayout(top);
    all->addLayout(buttons);
    all->setSizeConstraint(QLayout::SetFixedSize);
}

int TdlgAboutQuarnel::showCentredOn(QWidget *window)
{
    adjustSize();
    if (window)
        move(window->frameGeometry().center() - QPoint(width() / 2, height() / 2));
    return exec();
}

void TdlgAboutQuarnel::hideEvent(QHideEvent *event)
{
    // The next showing starts on the dialog's default control, not where this one ended.
    if (QWidget *focused = focusWidget())
        focused->clearFocus();
    QDialog::hideEvent(event);
}

QLabel *TdlgAboutQuarnel::label(const char *name, const QString &text)
{
    auto *l = new QLabel(text, this);
    l->setObjectName(QString::fromLatin1(name));
    return l;
}

THyperLink *TdlgAboutQuarnel::link(const char *name, const QString &text, const QString &target)
{
    auto *l = new THyperLink(this);
    l->setObjectName(QString::fromLatin1(name));
    l->setLink(text, target);
    return l;
}
