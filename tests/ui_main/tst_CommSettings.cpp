// The connection settings kept between runs: defaults, partial and damaged stores, and the
// round trip through the main window.
#include "CommSettings.h"
#include "MemoryTransport.h"
#include "ScriptedPrompts.h"
#include "TAfPortComboBox.h"
#include "TFrame_Komunikace.h"
#include "TMainForm.h"
#include "TTarvikKomunikator.h"

#include <QCheckBox>
#include <QComboBox>
#include <QSettings>
#include <QDir>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

namespace {
std::unique_ptr<QSettings> store()
{
    return std::unique_ptr<QSettings>(CommSettings::openStore());
}
void write(const QMap<QString, QVariant> &values)
{
    auto s = store();
    s->clear();
    s->beginGroup(QStringLiteral("CommSetting"));
    for (auto it = values.begin(); it != values.end(); ++it)
        s->setValue(it.key(), it.value());
    s->endGroup();
    s->sync();
}
} // namespace

class tst_CommSettings : public QObject
{
    Q_OBJECT
private slots:
    void init() { write({}); }

    void firstStartUsesTheDefaultsAndExitSavesAllValues()
    {
        store()->clear();
        {
            TMainForm form;
            TFrame_Komunikace *panel = form.connectionPanel();
            QCOMPARE(panel->ComboBox_BaudRate->currentIndex(), 5);
            QCOMPARE(panel->ComboBox_Addr->currentIndex(), 0);
            QCOMPARE(panel->Cb_Parity->currentIndex(), 0);
            QCOMPARE(panel->Cb_Stopbit->currentIndex(), 0);
            QVERIFY(!panel->CheckBox_USB->isChecked());
        }
        auto s = store();
        s->beginGroup(QStringLiteral("CommSetting"));
        for (const char *key : {"ComNum", "BR_Index", "SlaveAddr_Index", "Parity_Index", "Stopbit_Index", "USB_Checked"})
            QVERIFY2(s->contains(QLatin1String(key)), key);
        QCOMPARE(s->value(QStringLiteral("BR_Index")).toInt(), 5);
    }

    void keyWithOnlyPortAndSpeedRestoresThoseTwo()
    {
        write({{QStringLiteral("ComNum"), 3}, {QStringLiteral("BR_Index"), 7}});
        auto s = store();
        const CommSettings c = CommSettings::load(*s);
        QCOMPARE(c.comNumber, std::optional<int>(3));
        QCOMPARE(c.baudIndex, 7);
        QCOMPARE(c.addressIndex, 0);
        QCOMPARE(c.parityIndex, 0);
        QCOMPARE(c.stopBitIndex, 0);
        QVERIFY(!c.usbChecked);
    }

    void badValuesFallBackOneByOne_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("value");
        QTest::newRow("speed out of range") << "BR_Index" << QVariant(16);
        QTest::newRow("speed negative") << "BR_Index" << QVariant(-1);
        QTest::newRow("speed not a number") << "BR_Index" << QVariant(QStringLiteral("fast"));
        QTest::newRow("address 247") << "SlaveAddr_Index" << QVariant(247);
        QTest::newRow("parity 3") << "Parity_Index" << QVariant(3);
        QTest::newRow("stop bits text") << "Stopbit_Index" << QVariant(QStringLiteral("two"));
        QTest::newRow("USB 2") << "USB_Checked" << QVariant(2);
        QTest::newRow("COM 0") << "ComNum" << QVariant(0);
    }
    void badValuesFallBackOneByOne()
    {
        QFETCH(QString, key);
        QFETCH(QVariant, value);
        QMap<QString, QVariant> values{{QStringLiteral("ComNum"), 4},
                                       {QStringLiteral("BR_Index"), 9},
                                       {QStringLiteral("SlaveAddr_Index"), 10},
                                       {QStringLiteral("Parity_Index"), 1},
                                       {QStringLiteral("Stopbit_Index"), 1},
                                       {QStringLiteral("USB_Checked"), 0}};
        values[key] = value;
        write(values);
        auto s = store();
        const CommSettings c = CommSettings::load(*s);
        const CommSettings defaults;
        QCOMPARE(c.comNumber, key == QLatin1String("ComNum") ? std::nullopt : std::optional<int>(4));
        QCOMPARE(c.baudIndex, key == QLatin1String("BR_Index") ? defaults.baudIndex : 9);
        QCOMPARE(c.addressIndex, key == QLatin1String("SlaveAddr_Index") ? defaults.addressIndex : 10);
        QCOMPARE(c.parityIndex, key == QLatin1String("Parity_Index") ? defaults.parityIndex : 1);
        QCOMPARE(c.stopBitIndex, key == QLatin1String("Stopbit_Index") ? defaults.stopBitIndex : 1);
        QVERIFY(!c.usbChecked);
    }

    void savedChoicesComeBackOnTheNextStart()
    {
        QTemporaryFile device;
        QVERIFY(device.open());
        {
            TMainForm form;
            form.preselectPort(device.fileName());
            TFrame_Komunikace *panel = form.connectionPanel();
            panel->ComboBox_BaudRate->setCurrentIndex(8);
            panel->ComboBox_Addr->setCurrentIndex(246);
            panel->Cb_Parity->setCurrentIndex(1);
            panel->Cb_Stopbit->setCurrentIndex(1);
        }
        TMainForm form;
        TFrame_Komunikace *panel = form.connectionPanel();
        QCOMPARE(panel->AfPortComboBox1->portName(), device.fileName());
        QCOMPARE(panel->ComboBox_BaudRate->currentIndex(), 8);
        QCOMPARE(panel->ComboBox_Addr->currentText(), QStringLiteral("247"));
        QCOMPARE(panel->Cb_Parity->currentIndex(), 1);
        QCOMPARE(panel->Cb_Stopbit->currentIndex(), 1);
    }

    void storeIsThisTestProgramsOwn()
    {
        // Running a test program by hand must never touch the user's settings.
        const QString file = store()->fileName();
        QVERIFY2(file.startsWith(QDir::tempPath() + QStringLiteral("/tarvik-test-")), qPrintable(file));
    }

    void vanishedPortStaysTheStoredChoice()
    {
        QTemporaryDir dir;
        const QString device = dir.filePath(QStringLiteral("ttyUSB9"));
        QFile f(device);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        write({{QStringLiteral("PortName"), device}});
        {
            TMainForm form;
            TAfPortComboBox *ports = form.connectionPanel()->AfPortComboBox1;
            QCOMPARE(ports->portName(), device);
            QFile::remove(device); // unplugged while the tool runs
            form.connectionPanel()->Timer_UpdateTimer();
            QCOMPARE(ports->portName(), device);
            QVERIFY(ports->currentText().endsWith(TAfPortComboBox::notPresentSuffix()));
        }
        auto s = store();
        QCOMPARE(CommSettings::load(*s).portName, std::optional<QString>(device));
    }

    void typedNetworkAddressComesBackOnTheNextStart()
    {
        ScriptedPrompts prompts;
        const QString address = QStringLiteral("mbap://[fd00::7]:502");
        {
            TMainForm form;
            form.connectionPanel()->AfPortComboBox1->takeTypedPort(address);
        }
        QCOMPARE(CommSettings::load(*store()).portName, std::optional<QString>(address));
        TMainForm form;
        TAfPortComboBox *ports = form.connectionPanel()->AfPortComboBox1;
        QCOMPARE(ports->portName(), address);
        QCOMPARE(ports->itemText(ports->count() - 1), address);
        QCOMPARE(ports->currentText(), address);
        QVERIFY(prompts.shown().isEmpty());
    }

    void storedNetworkAddressThatDoesNotParseIsNotTaken()
    {
        write({{QStringLiteral("PortName"), QStringLiteral("tcp://gw:70000")}});
        TMainForm form;
        QVERIFY(form.connectionPanel()->AfPortComboBox1->findData(QStringLiteral("tcp://gw:70000")) < 0);
        QVERIFY(!form.connectionPanel()->AfPortComboBox1->portChosen());
    }

    void portThatTheListPickedByItselfIsNotStored()
    {
        {
            TMainForm form;
            form.connectionPanel()->AfPortComboBox1->setEnumerator([] { return QStringList{QStringLiteral("/dev/ttyS0")}; });
            QCOMPARE(form.connectionPanel()->AfPortComboBox1->portName(), QStringLiteral("/dev/ttyS0"));
        }
        auto s = store();
        const CommSettings c = CommSettings::load(*s);
        QVERIFY(!c.portName);
        QVERIFY(!c.comNumber);
    }

    void restoredUsbChoiceAppliesThePreset()
    {
        write({{QStringLiteral("BR_Index"), 2}, {QStringLiteral("USB_Checked"), 1}});
        TMainForm form;
        QVERIFY(form.connectionPanel()->CheckBox_USB->isChecked());
        QCOMPARE(form.connectionPanel()->ComboBox_BaudRate->currentIndex(), 13);
    }

    void restoredParityAndStopBitsAreOnTheLineFromTheFirstRequest()
    {
        ScriptedPrompts prompts;
        QTemporaryFile device;
        QVERIFY(device.open());
        write({{QStringLiteral("PortName"), device.fileName()},
               {QStringLiteral("BR_Index"), 3},
               {QStringLiteral("Parity_Index"), 2},
               {QStringLiteral("Stopbit_Index"), 1},
               {QStringLiteral("SlaveAddr_Index"), 4}});
        auto *line = new MemoryTransport;
        TMainForm form{std::unique_ptr<SerialTransport>(line)};
        form.Connect1Click();
        QVERIFY2(prompts.shown().isEmpty(), qPrintable(prompts.shown().value(0).text));
        QVERIFY(form.communicator()->Active());
        QCOMPARE(line->portName(), device.fileName());
        QCOMPARE(line->settings(), (LineSettings{4800, TParity::paEven, TStopBits::sbTwo}));
        QCOMPARE(form.communicator()->SlaveAddress(), uint8_t(5));
    }
};

QTEST_MAIN(tst_CommSettings)
#include "tst_CommSettings.moc"
