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
const TdlgAboutQuarnel::Contact kMaker{QStringLiteral("Quarnel"), QStringLiteral("Example Street 12"),
                                       QStringLiteral("123 45 Sampletown"), QStringLiteral("Exampleland"),
                                       QStringLiteral("+420 555 010 120"), QStringLiteral("info@example.com"),
                                       QStringLiteral("https://www.example.com"),
                                       QStringLiteral("https://www.example.com/?userLang=en")};

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

    const ContactBlock maker = contactBlock(QString(), kMaker);
    m_makerBlock = maker.block;
    Lb_CompanyName = maker.company;
    Lb_AddrStreet = maker.street;
    Lb_AddrCity = maker.city;
    Lb_AddrState = maker.state;
    Lb_CapPhone = maker.capPhone;
    Lb_Phone = maker.phone;
    Lb_CapMail = maker.capMail;
    iHyperLink1 = maker.mail;
    Lb_CapWeb = maker.capWeb;
    iHyperLink2 = maker.web;

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

TdlgAboutQuarnel::ContactBlock TdlgAboutQuarnel::contactBlock(const QString &tag, const Contact &c)
{
    const auto named = [&](auto *widget, const QString &name) {
        widget->setObjectName(name);
        return widget;
    };
    const auto text = [&](const QString &name, const QString &value) { return named(new QLabel(value, this), name); };
    const auto hyperLink = [&](const QString &name, const QString &value, const QString &target) {
        auto *l = named(new THyperLink(this), name);
        l->setLink(value, target);
        return l;
    };
    ContactBlock b{};
    b.block = new QWidget(this);
    b.company = text(QStringLiteral("Lb_%1CompanyName").arg(tag), c.company);
    b.street = text(QStringLiteral("Lb_%1AddrStreet").arg(tag), c.street);
    b.city = text(QStringLiteral("Lb_%1AddrCity").arg(tag), c.city);
    b.state = text(QStringLiteral("Lb_%1AddrState").arg(tag), c.state);
    b.capPhone = text(QStringLiteral("Lb_Cap%1Phone").arg(tag), QStringLiteral("Phone:"));
    b.phone = text(QStringLiteral("Lb_%1Phone").arg(tag), c.phone);
    b.capMail = text(QStringLiteral("Lb_Cap%1Mail").arg(tag), QStringLiteral("E-mail:"));
    b.mail = hyperLink(QStringLiteral("iHyperLink1%1").arg(tag), c.mail, QStringLiteral("mailto:") + c.mail);
    b.capWeb = text(QStringLiteral("Lb_Cap%1Web").arg(tag), QStringLiteral("Web:"));
    b.web = hyperLink(QStringLiteral("iHyperLink2%1").arg(tag), c.web, c.webTarget);
    auto *grid = new QGridLayout(b.block);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setVerticalSpacing(2);
    int row = 0;
    for (QLabel *line : {b.company, b.street, b.city, b.state})
        grid->addWidget(line, row++, 0, 1, 2);
    const QList<QPair<QWidget *, QWidget *>> pairs = {{b.capPhone, b.phone}, {b.capMail, b.mail}, {b.capWeb, b.web}};
    for (const auto &[caption, value] : pairs) {
        grid->addWidget(caption, row, 0);
        grid->addWidget(value, row++, 1);
    }
    grid->setColumnStretch(1, 1);
    return b;
}
