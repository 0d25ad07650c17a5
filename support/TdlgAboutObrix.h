#pragma once

#include "TdlgAboutQuarnel.h"

class TFrame_Logo;

// The about dialog of the distributor's edition: the maker's contact block and logo in a
// "Created by:" column and the distributor's in a "Created for:" column beside it.
class TdlgAboutObrix : public TdlgAboutQuarnel
{
    Q_OBJECT
public:
    explicit TdlgAboutObrix(QWidget *parent = nullptr);

    QLabel *Lb_CapCreatedBy;
    QLabel *Lb_CapCreatedFor;
    TFrame_Logo *Frame_Logo1;
    TFrame_Logo *Frame_Logo2;
    QLabel *Lb_PCompanyName;
    QLabel *Lb_PAddrStreet;
    QLabel *Lb_PAddrCity;
    QLabel *Lb_PAddrState;
    QLabel *Lb_CapPPhone;
    QLabel *Lb_PPhone;
    QLabel *Lb_CapPMail;
    THyperLink *iHyperLink1P;
    QLabel *Lb_CapPWeb;
    THyperLink *iHyperLink2P;
};
