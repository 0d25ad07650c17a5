// The about dialogs of both editions: texts, the contact columns, the links' targets and hints,
// the logos, and the modal showing centred on the main window.
#include "TFrame_Logo.h"
#include "THyperLink.h"
#include "TdlgAboutObrix.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

QString text(QWidget *dialog, const char *name)
{
    auto *label = dialog->findChild<QLabel *>(QString::fromLatin1(name));
    return label ? label->text() : QStringLiteral("<no %1>").arg(QString::fromLatin1(name));
}

bool shown(QWidget *dialog, const char *name)
{
    auto *w = dialog->findChild<QWidget *>(QString::fromLatin1(name));
    return w && w->isVisibleTo(dialog);
}

} // namespace

class tst_AboutDialog : public QObject
{
    Q_OBJECT
private slots:
    void makersEditionShowsProgramAndMaker()
    {
        TdlgAboutQuarnel dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("About 1-WIRE-TARVIK Tool"));
        QCOMPARE(text(&dialog, "Lb_CapApp"), QStringLiteral("Application:"));
        QCOMPARE(text(&dialog, "Lb_AppName"), QStringLiteral("1-WIRE-TARVIK Tool"));
        QCOMPARE(text(&dialog, "Lb_CapVer"), QStringLiteral("Version:"));
        QCOMPARE(text(&dialog, "Lb_AppVer"), QStringLiteral("V1.09 (OBRIX)"));
        QCOMPARE(text(&dialog, "Lb_AppDescription"),
            QStringLiteral("Configuration software for gateway 1-WIRE / MODBUS RTU."));
        QCOMPARE(text(&dialog, "Lb_CapContact"), QStringLiteral("Contact:"));
        QCOMPARE(text(&dialog, "Lb_CapPhone"), QStringLiteral("Phone:"));
        QCOMPARE(text(&dialog, "Lb_CapMail"), QStringLiteral("E-mail:"));
        QCOMPARE(text(&dialog, "Lb_CapWeb"), QStringLiteral("Web:"));
        for (const char *filled :
            {"Lb_CompanyName", "Lb_AddrStreet", "Lb_AddrCity", "Lb_AddrState", "Lb_Phone"})
            QVERIFY2(!text(&dialog, filled).isEmpty(), filled);
        QVERIFY(shown(&dialog, "Panel1"));
        QVERIFY(!dialog.Img_Logo->pixmap().isNull());
        QCOMPARE(dialog.SevBtn_OK->text(), QStringLiteral("OK"));

        // The e-mail link writes to the address shown; the web link opens the English pages.
        QCOMPARE(dialog.iHyperLink1->target(),
            QStringLiteral("mailto:") + dialog.iHyperLink1->linkText());
        QCOMPARE(dialog.iHyperLink2->target(),
            dialog.iHyperLink2->linkText() + QStringLiteral("/?userLang=en"));
        for (THyperLink *link : {dialog.iHyperLink1, dialog.iHyperLink2}) {
            QCOMPARE(link->toolTip(), link->target()); // hint "target|"
            QVERIFY(link->text().contains(QStringLiteral("href=\"%1\"").arg(link->target())));
        }
    }

    void distributorsEditionAddsItsColumn()
    {
        TdlgAboutObrix dialog;
        QCOMPARE(text(&dialog, "Lb_CapContact"), QStringLiteral("Contacts:"));
        QCOMPARE(text(&dialog, "Lb_CapCreatedBy"), QStringLiteral("Created by:"));
        QCOMPARE(text(&dialog, "Lb_CapCreatedFor"), QStringLiteral("Created for:"));
        QVERIFY(!shown(&dialog, "Panel1"));
        QCOMPARE(dialog.Frame_Logo1->imageIndex(), 0);
        QCOMPARE(dialog.Frame_Logo2->imageIndex(), 1);

        // Both contact blocks are shown, the maker's complete; the distributor's phone and
        // e-mail are filled but hidden.
        for (const char *name :
            {"Lb_CompanyName", "Lb_Phone", "iHyperLink1", "iHyperLink2", "Lb_PCompanyName",
                "Lb_PAddrStreet", "Lb_PAddrCity", "Lb_PAddrState", "Lb_CapPWeb", "iHyperLink2P"})
            QVERIFY2(shown(&dialog, name), name);
        for (const char *name : {"Lb_CapPPhone", "Lb_PPhone", "Lb_CapPMail", "iHyperLink1P"})
            QVERIFY2(!shown(&dialog, name), name);
        QVERIFY(!dialog.Lb_PPhone->text().isEmpty());
        QCOMPARE(dialog.iHyperLink1P->target(),
            QStringLiteral("mailto:") + dialog.iHyperLink1P->linkText());
        QCOMPARE(dialog.iHyperLink2P->target(), dialog.iHyperLink2P->linkText());
        QCOMPARE(dialog.iHyperLink2P->toolTip(), dialog.iHyperLink2P->target());
        QVERIFY(dialog.Lb_PCompanyName->text() != dialog.Lb_CompanyName->text());
    }

    void contactDataAreReservedPlaceholders()
    {
        // This edition names nobody real: addresses in reserved domains, numbers in the
        // fictitious range.
        TdlgAboutObrix dialog;
        const QList<THyperLink *> links = dialog.findChildren<THyperLink *>();
        QCOMPARE(links.size(), 4);
        for (THyperLink *link : links) {
            const QString host = link->target().startsWith(QStringLiteral("mailto:"))
                ? link->target().section(QLatin1Char('@'), 1)
                : QUrl(link->target()).host();
            QVERIFY2(host.endsWith(QStringLiteral("example.com"))
                    || host.endsWith(QStringLiteral("example.org")),
                qPrintable(link->target()));
        }
        for (QLabel *phone : {dialog.Lb_Phone, dialog.Lb_PPhone})
            QVERIFY2(
                phone->text().startsWith(QStringLiteral("+420 555 ")), qPrintable(phone->text()));
    }

    void showsModallyCentredOnTheWindow()
    {
        QWidget window;
        window.setGeometry(100, 80, 1211, 681);
        window.show();
        TdlgAboutObrix dialog(&window);
        QPoint centre;
        QTimer::singleShot(0, &dialog, [&] {
            centre = dialog.frameGeometry().center();
            QVERIFY(dialog.isModal());
            dialog.SevBtn_OK->click();
        });
        QCOMPARE(dialog.showCentredOn(&window), int(QDialog::Accepted));
        QVERIFY((centre - window.frameGeometry().center()).manhattanLength() <= 4);
        QVERIFY(!dialog.isVisible());
    }
};

QTEST_MAIN(tst_AboutDialog)
#include "tst_AboutDialog.moc"
