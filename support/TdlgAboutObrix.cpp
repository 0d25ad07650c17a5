#include "TdlgAboutObrix.h"

#include "TFrame_Logo.h"
#include "THyperLink.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace {

// The distributor's contact data of this edition: placeholders in reserved forms.
const TdlgAboutQuarnel::Contact kDistributor{QStringLiteral("OBRIX"), QStringLiteral("Placeholder Avenue 3"),
                                             QStringLiteral("543 21 Demoville"), QStringLiteral("Exampleland"),
                                             QStringLiteral("+420 555 010 340"), QStringLiteral("sales@example.org"),
                                             QStringLiteral("https://www.example.org"), QStringLiteral("https://www.example.org")};

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

    const ContactBlock distributor = contactBlock(QStringLiteral("P"), kDistributor);
    Lb_PCompanyName = distributor.company;
    Lb_PAddrStreet = distributor.street;
    Lb_PAddrCity = distributor.city;
    Lb_PAddrState = distributor.state;
    Lb_CapPPhone = distributor.capPhone;
    Lb_PPhone = distributor.phone;
    Lb_CapPMail = distributor.capMail;
    iHyperLink1P = distributor.mail;
    Lb_CapPWeb = distributor.capWeb;
    iHyperLink2P = distributor.web;
    // This edition shows only the distributor's web address; phone and e-mail are filled in but
    // hidden.
    for (QWidget *hidden : QList<QWidget *>{Lb_CapPPhone, Lb_PPhone, Lb_CapPMail, iHyperLink1P})
        hidden->hide();

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
    right->addWidget(distributor.block);
    right->addStretch();
    auto *row = new QHBoxLayout(columns);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(24);
    row->addLayout(left);
    row->addLayout(right);
}
