// The connection panel: the USB preset, the counters and timeout texts, and the port list
// while connected.
#include "TAfPortComboBox.h"
#include "TFrame_Komunikace.h"
#include "TFrame_Pocitadlo.h"
#include "TTarvikKomunikator.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTest>

namespace {
struct Panel
{
    TFrame_Komunikace frame;
    Panel()
    {
        QStringList bauds, addresses, parities, stops;
        TTarvikKomunikator::FillBaudRates(bauds, 0);
        TTarvikKomunikator::FillAddresses(addresses, 0);
        TTarvikKomunikator::FillParities(parities, 0);
        TTarvikKomunikator::FillStopBits(stops, 0);
        frame.fillLists(bauds, addresses, parities, stops);
    }
    // A user's choice in a list.
    static void choose(QComboBox *box, int index)
    {
        box->setCurrentIndex(index);
        emit box->activated(index);
    }
};
} // namespace

class tst_ConnectionPanel : public QObject
{
    Q_OBJECT
private slots:
    void everyListShowsItsWholeItemsAtTheDesignedWidth()
    {
        Panel p;
        p.frame.show(); // lay out at the panel's fixed size
        for (QComboBox *box : {p.frame.ComboBox_BaudRate, p.frame.ComboBox_Addr, p.frame.Cb_Parity, p.frame.Cb_Stopbit}) {
            QStyleOptionComboBox option;
            option.initFrom(box);
            option.editable = false;
            const QRect field = box->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                             QStyle::SC_ComboBoxEditField, box);
            for (int i = 0; i < box->count(); ++i)
                QVERIFY2(box->fontMetrics().horizontalAdvance(box->itemText(i)) <= field.width(),
                         qPrintable(QStringLiteral("%1: \"%2\" in %3 px").arg(box->objectName(), box->itemText(i)).arg(field.width())));
        }
    }

    void listsStartAtTheirDefaults()
    {
        Panel p;
        QCOMPARE(p.frame.ComboBox_BaudRate->currentText(), QStringLiteral("9.6 kBd"));
        QCOMPARE(p.frame.ComboBox_Addr->currentText(), QStringLiteral("1"));
        QCOMPARE(p.frame.Cb_Parity->currentText(), QStringLiteral("NONE"));
        QCOMPARE(p.frame.Cb_Stopbit->currentText(), QStringLiteral("One"));
        QVERIFY(!p.frame.CheckBox_USB->isChecked());
        QCOMPARE(p.frame.size(), QSize(154, 234));
    }

    void usbPresetsTheListsAndAnnouncesEachChange()
    {
        Panel p;
        Panel::choose(p.frame.ComboBox_Addr, 9);
        Panel::choose(p.frame.Cb_Parity, 2);
        QSignalSpy bauds(&p.frame, &TFrame_Komunikace::baudRateChanged);
        QSignalSpy addresses(&p.frame, &TFrame_Komunikace::addressChanged);
        QSignalSpy parities(&p.frame, &TFrame_Komunikace::parityChanged);
        QSignalSpy stops(&p.frame, &TFrame_Komunikace::stopBitsChanged);
        p.frame.CheckBox_USB->click();
        QVERIFY(p.frame.CheckBox_USB->isChecked());
        QCOMPARE(p.frame.ComboBox_BaudRate->currentText(), QStringLiteral("115.2 kBd"));
        QCOMPARE(p.frame.ComboBox_Addr->currentIndex(), 0);
        QCOMPARE(p.frame.Cb_Parity->currentIndex(), 0);
        QCOMPARE(p.frame.Cb_Stopbit->currentIndex(), 0);
        QCOMPARE(bauds.size(), 1);
        QCOMPARE(bauds.first().first().toInt(), 13);
        QCOMPARE(addresses.size(), 1);
        QCOMPARE(parities.size(), 1);
        QCOMPARE(stops.size(), 1);

        // Any other choice leaves the USB preset; choosing its values again restores it.
        Panel::choose(p.frame.ComboBox_Addr, 4);
        QVERIFY(!p.frame.CheckBox_USB->isChecked());
        Panel::choose(p.frame.ComboBox_Addr, 0);
        QVERIFY(p.frame.CheckBox_USB->isChecked());
        // Unchecking changes nothing else.
        p.frame.CheckBox_USB->click();
        QCOMPARE(p.frame.ComboBox_BaudRate->currentIndex(), 13);
    }

    void countersAndTimeoutWithoutUsb()
    {
        Panel p;
        p.frame.setConnected(true);
        p.frame.ShowCounters({5, 12, 7, true});
        QCOMPARE(p.frame.Frame_Pocitadlo1->Label_Rx->text(), QStringLiteral("Rx = 5"));
        QCOMPARE(p.frame.Frame_Pocitadlo1->Label_Tx->text(), QStringLiteral("Tx = 12"));
        QCOMPARE(p.frame.Frame_Pocitadlo1->Label_Error->text(), QStringLiteral("Err = 7"));
        QVERIFY(!p.frame.Frame_Pocitadlo1->Label_Timeout->isHidden());
        QCOMPARE(p.frame.Frame_Pocitadlo1->Label_Timeout->text(), QStringLiteral("Timeout"));
        QVERIFY(p.frame.TimeoutShown());
        QVERIFY(p.frame.Connected());

        p.frame.ShowCounters({6, 13, 7, false});
        QVERIFY(p.frame.Frame_Pocitadlo1->Label_Timeout->isHidden());
        QVERIFY(!p.frame.TimeoutShown());
    }

    void seventhErrorOnUsbLetsGoOfTheLink()
    {
        Panel p;
        p.frame.CheckBox_USB->click();
        p.frame.setConnected(true);
        QSignalSpy connectChanges(&p.frame, &TFrame_Komunikace::connectClicked);
        p.frame.ShowCounters({0, 7, 6, true});
        QVERIFY(p.frame.Connected());
        QCOMPARE(p.frame.Frame_Pocitadlo1->Label_Timeout->text(), QStringLiteral("Timeout"));
        p.frame.ShowCounters({0, 8, 7, true});
        QVERIFY(!p.frame.Connected());
        QCOMPARE(p.frame.Frame_Pocitadlo1->Label_Timeout->text(), QStringLiteral("Error - Disconnected"));
        QCOMPARE(connectChanges.size(), 1);
        QCOMPARE(connectChanges.first().first().toBool(), false);
    }

    void portListIsFrozenWhileConnected()
    {
        Panel p;
        int enumerations = 0;
        p.frame.AfPortComboBox1->setEnumerator([&] {
            ++enumerations;
            return QStringList{QStringLiteral("/dev/ttyS0")};
        });
        enumerations = 0;
        p.frame.setConnected(true);
        QVERIFY(!p.frame.AfPortComboBox1->isEnabled());
        p.frame.Timer_UpdateTimer();
        QCOMPARE(enumerations, 0);
        p.frame.setConnected(false);
        QVERIFY(p.frame.AfPortComboBox1->isEnabled());
        p.frame.Timer_UpdateTimer();
        QCOMPARE(enumerations, 1);
        QCOMPARE(p.frame.Timer_Update.interval(), 10000);
    }
};

QTEST_MAIN(tst_ConnectionPanel)
#include "tst_ConnectionPanel.moc"
