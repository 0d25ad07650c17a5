// The port list's selection rules and the counters frame's initial state.
#include "TAfPortComboBox.h"
#include "TFrame_Pocitadlo.h"

#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class tst_LinkWidgets : public QObject
{
    Q_OBJECT
private slots:
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
        QCOMPARE(frame.Label_Error->palette().color(QPalette::WindowText), QColor(Qt::red));
        QCOMPARE(frame.Label_Rx->palette().color(QPalette::WindowText), QColor(Qt::blue));
    }
};

QTEST_MAIN(tst_LinkWidgets)
#include "tst_LinkWidgets.moc"
