// The port list's selection rules, typed network addresses, and the counters frame's initial
// state.
#include "ScriptedPrompts.h"
#include "TAfPortComboBox.h"
#include "TErrorSplit.h"
#include "TFrame_Pocitadlo.h"
#include "TextContrast.h"

#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class tst_LinkWidgets : public QObject
{
    Q_OBJECT

    // Types the text into the box over what it shows, and presses Enter.
    static void type(TAfPortComboBox &box, const QString &text)
    {
        box.lineEdit()->selectAll();
        QTest::keyClicks(box.lineEdit(), text);
        QTest::keyClick(box.lineEdit(), Qt::Key_Return);
    }
    static QStringList itemsOf(const QComboBox &box)
    {
        QStringList items;
        for (int i = 0; i < box.count(); ++i)
            items.append(box.itemText(i));
        return items;
    }
    static bool writeEmpty(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::WriteOnly);
    }

private slots:
    // The counters' tooltip tells Err apart by kind, wherever on the panel the pointer rests.
    void countersTooltipTellsTheErrorsApart()
    {
        TFrame_Pocitadlo frame;
        TErrorSplit split;
        split.counts = {2, 1, 0, 0, 3};
        frame.showErrors(split);
        const QString tip = QStringLiteral("Err = 6: reads that failed, and noise on the line\nTimeouts: 2\nCRC errors: 1\n"
                                           "Exceptions: 0\nForeign answers: 0\nNoise: 3");
        QCOMPARE(frame.toolTip(), tip);
        QCOMPARE(frame.Label_Error->toolTip(), tip);
    }

    void rebuildKeepsTheSelectedPortWhileItIsThere()
    {
        QStringList ports{QStringLiteral("COM1"), QStringLiteral("COM3"), QStringLiteral("COM12")};
        TAfPortComboBox box;
        box.setEnumerator([&] { return ports; });
        QCOMPARE(box.count(), 3);
        QCOMPARE(box.itemText(2), QStringLiteral("COM 12"));
        QCOMPARE(box.ComNumber(), 1); // first item taken when nothing was chosen

        box.setPortName(QStringLiteral("COM3"));
        ports.prepend(QStringLiteral("COM2"));
        box.EnumeratePorts();
        QCOMPARE(box.currentText(), QStringLiteral("COM 3"));
        QCOMPARE(box.ComNumber(), 3);

        // The chosen port vanishes: it stays selected, marked, and nothing changes by itself.
        QSignalSpy changed(&box, &TAfPortComboBox::portChanged);
        ports.removeAll(QStringLiteral("COM3"));
        box.EnumeratePorts();
        QCOMPARE(box.portName(), QStringLiteral("COM3"));
        QCOMPARE(box.currentText(), QStringLiteral("COM 3 (not present)"));
        QVERIFY(!box.portPresent());
        QCOMPARE(box.count(), 4);
        QCOMPARE(changed.size(), 0);

        // Back again: listed once, normally, still selected.
        ports.append(QStringLiteral("COM3"));
        box.EnumeratePorts();
        QCOMPARE(box.count(), 4);
        QCOMPARE(box.currentText(), QStringLiteral("COM 3"));
        QVERIFY(box.portPresent());
        QCOMPARE(changed.size(), 0);
    }

    void withoutAChoiceTheListPicksItsFirstPort()
    {
        QStringList ports{QStringLiteral("/dev/ttyS0"), QStringLiteral("/dev/ttyUSB0")};
        TAfPortComboBox box;
        box.setEnumerator([&] { return ports; });
        QCOMPARE(box.portName(), QStringLiteral("/dev/ttyS0"));
        QVERIFY(!box.portChosen());
        ports.removeFirst();
        box.EnumeratePorts();
        QCOMPARE(box.portName(), QStringLiteral("/dev/ttyUSB0"));
        ports.clear();
        box.EnumeratePorts();
        QCOMPARE(box.count(), 0);
        QCOMPARE(box.ComNumber(), 0);
        QVERIFY(box.portName().isEmpty());
    }

    void choosingAnItemTakesItsPort()
    {
        TAfPortComboBox box;
        box.setEnumerator([] { return QStringList{QStringLiteral("/dev/ttyS0"), QStringLiteral("/dev/ttyUSB0")}; });
        QSignalSpy changed(&box, &TAfPortComboBox::portChanged);
        box.setCurrentIndex(1);
        emit box.activated(1);
        QCOMPARE(box.portName(), QStringLiteral("/dev/ttyUSB0"));
        QCOMPARE(changed.size(), 1);
        QCOMPARE(box.itemText(1), QStringLiteral("/dev/ttyUSB0"));
    }

    void namedPortIsListedWhileItExists()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("gw"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();

        TAfPortComboBox box;
        box.setEnumerator([] { return QStringList{QStringLiteral("/dev/ttyS0")}; });
        box.addNamedPort(path);
        QCOMPARE(box.count(), 2);
        QCOMPARE(box.portName(), path);
        QCOMPARE(box.currentText(), path);

        // Its peer ends: still the selected port, marked, until the user picks another.
        QFile::remove(path);
        box.EnumeratePorts();
        QCOMPARE(box.count(), 2);
        QCOMPARE(box.portName(), path);
        QCOMPARE(box.currentText(), path + TAfPortComboBox::notPresentSuffix());
        QVERIFY(box.portChosen());

        box.setCurrentIndex(0);
        emit box.activated(0);
        QCOMPARE(box.portName(), QStringLiteral("/dev/ttyS0"));
        box.EnumeratePorts();
        QCOMPARE(box.count(), 1);
    }

    // Typed as a technician types it: the address is listed after the serial ports, chosen,
    // and stays through the rebuilds while not connected.
    void typedNetworkAddressIsListedAfterTheSerialPorts()
    {
        ScriptedPrompts prompts;
        QTemporaryDir dir;
        const QString pty = dir.filePath(QStringLiteral("gw"));
        QVERIFY(writeEmpty(pty));
        TAfPortComboBox box;
        box.setEnumerator([] { return QStringList{QStringLiteral("/dev/ttyS0")}; });
        box.addNamedPort(pty);
        QSignalSpy changed(&box, &TAfPortComboBox::portChanged);
        type(box, QStringLiteral(" TCP://192.168.1.50:04001 "));
        QCOMPARE(box.portName(), QStringLiteral("tcp://192.168.1.50:4001"));
        QCOMPARE(changed.size(), 1);
        QVERIFY(box.portChosen() && box.portPresent());
        type(box, QStringLiteral("mbap://[fd00::7]:502"));
        box.EnumeratePorts();
        const QStringList items{QStringLiteral("/dev/ttyS0"), pty, QStringLiteral("tcp://192.168.1.50:4001"),
                                QStringLiteral("mbap://[fd00::7]:502")};
        QCOMPARE(itemsOf(box), items);
        QCOMPARE(box.currentText(), items[3]);
        // A listed port typed by what the list shows is chosen too.
        type(box, QStringLiteral("tcp://192.168.1.50:4001"));
        QCOMPARE(box.portName(), items[2]);
        type(box, QStringLiteral("/dev/ttyS0"));
        QCOMPARE(box.portName(), items[0]);
        QCOMPARE(changed.size(), 4);
        QVERIFY(prompts.shown().isEmpty());
    }

    void typedTextThatNamesNoPortIsRefused_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        QTest::newRow("no TCP port") << "tcp://192.168.1.50" << "tcp://192.168.1.50 is not a network address: the TCP port is missing (HOST:PORT).";
        QTest::newRow("IPv6 without brackets") << "mbap://fd00::7:502" << "in brackets";
        QTest::newRow("no port of this computer") << "ttyUSB9" << "ttyUSB9 is neither a serial port of this computer nor a network address.";
    }
    void typedTextThatNamesNoPortIsRefused()
    {
        QFETCH(QString, typed);
        QFETCH(QString, message);
        ScriptedPrompts prompts;
        TAfPortComboBox box;
        box.setEnumerator([] { return QStringList{QStringLiteral("/dev/ttyS0"), QStringLiteral("/dev/ttyUSB0")}; });
        box.setPortName(QStringLiteral("/dev/ttyUSB0"));
        QSignalSpy changed(&box, &TAfPortComboBox::portChanged);
        type(box, typed);
        const QStringList warnings = prompts.texts(ScriptedPrompts::Kind::Warning);
        QCOMPARE(warnings.size(), 1);
        QVERIFY2(warnings[0].contains(message) && warnings[0].contains(QLatin1String("tcp://HOST:PORT")), qPrintable(warnings[0]));
        QCOMPARE(prompts.shown().size(), 1);
        QCOMPARE(box.portName(), QStringLiteral("/dev/ttyUSB0"));
        QCOMPARE(box.currentText(), QStringLiteral("/dev/ttyUSB0"));
        QCOMPARE(box.count(), 2);
        QCOMPARE(changed.size(), 0);
    }

    void countersFrameStartsEmptyWithTheTimeoutHidden()
    {
        TFrame_Pocitadlo frame;
        for (const char *name : {"Label_Tx", "Label_Error", "Label_Rx"}) {
            auto *label = frame.findChild<QLabel *>(QLatin1String(name));
            QVERIFY2(label, name);
            QVERIFY(label->text().isEmpty());
        }
        auto *timeout = frame.findChild<QLabel *>(QStringLiteral("Label_Timeout"));
        QVERIFY(timeout);
        QCOMPARE(timeout->text(), QStringLiteral("Timeout"));
        QVERIFY(timeout->isHidden());
        // Red and blue, in the shade that reads on the window.
        const QColor window = frame.palette().color(QPalette::Window);
        for (auto [label, hue] : {std::pair{frame.Label_Error, 0}, std::pair{frame.Label_Rx, 240}}) {
            const QColor text = label->palette().color(QPalette::WindowText);
            QCOMPARE(text.hslHue(), hue);
            QVERIFY2(TextContrast::ratio(text, window) >= TextContrast::Readable, qPrintable(text.name()));
        }
    }
};

QTEST_MAIN(tst_LinkWidgets)
#include "tst_LinkWidgets.moc"
