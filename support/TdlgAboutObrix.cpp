#include "TdlgAboutObrix.h"

#include "TFrame_Logo.h"
#include "THyperLink.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace {

// The distributor's contact data of this edition: placeholders in reserved forms.
const QString kCompany = QStringLiteral("OBRIX");
const QString kStreet = QStringLiteral("Placeholder Avenue 3");
const QString kCity = QStringLiteral("543 21 Demoville");
const QString kState = QStringLiteral("Exampleland");
const QString kPhone = QStringLiteral("+420 555 010 340");
const QString kMail = QStringLiteral("sales@example.org");
const QString kWeb = QStringLiteral("https://www.example.org");

} // namespace

TdlgAboutObrix::TdlgAboutObrix(QWidget *parent)
    : TdlgAboutQuarnel(parent)
{
    Lb_CapContact->setText(QStringLiteral("Contacts:"));
    Panel1->hide();

    Lb_CapCreatedBy = label("Lb_CapCreatedBy", QStringLiteral("Created by:"));
    Lb_CapCreatedFor = label("Lb_CapCreatedFor", QStringLiteral("Created for:"));
    for (QLabel *heading : {Lb_CapCreatedBy, Lb_CapCreatedFor}) {
        QFont font = heading->font();
        font.setBold(true);
        heading->setFont(font);
    }
    Frame_Logo1 = new TFrame_Logo(this);
    Frame_Logo1->setObjectName(QStringLiteral("Frame_Logo1"));
    Frame_Logo1->setImageIndex(0);
    Frame_Logo2 = new TFrame_Logo(this);
    Frame_Logo2->setObjectName(QStringLiteral("Frame_Logo2"));
    Frame_Logo2->setImageIndex(1);

    Lb_PCompanyName = label("Lb_PCompanyName", kCompany);
    Lb_PAddrStreet = label("Lb_PAddrStreet", kStreet);
    Lb_PAddrCity = label("Lb_PAddrCity", kCity);
    Lb_PAddrState = label("Lb_PAddrState", kState);
    Lb_CapPPhone = label("Lb_CapPPhone", QStringLiteral("Phone:"));
    Lb_PPhone = label("Lb_PPhone", kPhone);
    Lb_CapPMail = label("Lb_CapPMail", QStringLiteral("E-mail:"));
    iHyperLink1P = link("iHyperLink1P", kMail, QStringLiteral("mailto:") + kMail);
    Lb_CapPWeb = label("Lb_CapPWeb", QStringLiteral("Web:"));
    iHyperLink2P = link("iHyperLink2P", kWeb, kWeb);
    // This edition shows only the distributor's web address; phone and e-mail are filled in but
    // hidden.
    for (QWidget *hidden : QList<QWidget *>{Lb_CapPPhone, Lb_PPhone, Lb_CapPMail, iHyperLink1P})
        hidden->hide();

    auto *distributorBlock = new QWidget(this);
    auto *contact = new QGridLayout(distributorBlock);
    contact->setContentsMargins(0, 0, 0, 0);
    contact->setVerticalSpacing(2);
    contact->addWidget(Lb_PCompanyName, 0, 0, 1, 2);
    contact->addWidget(Lb_PAddrStreet, 1, 0, 1, 2);
    contact->addWidget(Lb_PAddrCity, 2, 0, 1, 2);
    contact->addWidget(Lb_PAddrState, 3, 0, 1, 2);
    contact->addWidget(Lb_CapPPhone, 4, 0);
    contact->addWidget(Lb_PPhone, 4, 1);
    contact->addWidget(Lb_CapPMail, 5, 0);
    contact->addWidget(iHyperLink1P, 5, 1);
    contact->addWidget(Lb_CapPWeb, 6, 0);
    contact->addWidget(iHyperLink2P, 6, 1);
    contact->setColumnStretch(1, 1);

    // The maker's block leaves the details column for the left one of the two columns.
    auto *columns = new QWidget(this);
    // The layout gives back the block's old item and no longer owns it.
    delete m_details->replaceWidget(m_makerBlock, columns);
    auto *left = new QVBoxLayout;
    left->addWidget(Lb_CapCreatedBy);
    left->addWidget(Frame_Logo1, 0, Qt::AlignLeft);
    left->addWidget(m_makerBlock);
    left->addStretch();
    auto *right = new QVBoxLayout;
    right->addWidget(Lb_CapCreatedFor);
    right->addWidget(Frame_Logo2, 0, Qt::AlignLeft);
    right->addWidget(distributorBlock);
    right->addStretch();
    auto *row = new QHBoxLayout(columns);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(24);
    row->addLayout(left);
    row->addLayout(right);
}
