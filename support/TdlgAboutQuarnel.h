#pragma once

#include <QDialog>

class QFrame;
class QGridLayout;
class QLabel;
class QPushButton;
class QVBoxLayout;
class THyperLink;

// The about dialog of the maker's edition: the program's name, version and purpose, and the
// maker's contact block with e-mail and web links beside the maker's logo.
class TdlgAboutQuarnel : public QDialog
{
    Q_OBJECT
public:
    // The data of one contact block.
    struct Contact
    {
        QString company, street, city, state, phone, mail, web, webTarget;
    };

    explicit TdlgAboutQuarnel(QWidget *parent = nullptr);

    // Places the dialog centred on window (when given) and runs it modally.
    int showCentredOn(QWidget *window);

    QFrame *Panel1;
    QLabel *Img_Logo;
    QLabel *Lb_CapApp;
    QLabel *Lb_AppName;
    QLabel *Lb_CapVer;
    QLabel *Lb_AppVer;
    QLabel *Lb_AppDescription;
    QLabel *Lb_CapContact;
    QLabel *Lb_CompanyName;
    QLabel *Lb_AddrStreet;
    QLabel *Lb_AddrCity;
    QLabel *Lb_AddrState;
    QLabel *Lb_CapPhone;
    QLabel *Lb_Phone;
    QLabel *Lb_CapMail;
    THyperLink *iHyperLink1;
    QLabel *Lb_CapWeb;
    THyperLink *iHyperLink2;
    QPushButton *SevBtn_OK;

protected:
    void hideEvent(QHideEvent *event) override;

    // A label named name, child of the dialog.
    QLabel *label(const char *name, const QString &text = QString());

    // One contact block: company and address lines, then phone, e-mail and web rows. Its
    // controls are named as the maker's (Lb_CompanyName ... Lb_CapWeb, iHyperLink1 and 2),
    // with tag after "Lb_" or "Lb_Cap" and after the links' names.
    struct ContactBlock
    {
        QWidget *block;
        QLabel *company, *street, *city, *state, *capPhone, *phone, *capMail;
        THyperLink *mail;
        QLabel *capWeb;
        THyperLink *web;
    };
    ContactBlock contactBlock(const QString &tag, const Contact &contact);

    // The column right of the logo panel, and in it the maker's contact block (company,
    // address, phone, e-mail, web), which an edition may move.
    QVBoxLayout *m_details;
    QWidget *m_makerBlock;
};
