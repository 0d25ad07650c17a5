#include "SerialPortList.h"

#include <QDir>
#include <QFile>
#include <QSerialPortInfo>
#include <QTemporaryDir>
#include <QTest>

class tst_SerialPortList : public QObject
{
    Q_OBJECT
private slots:
    // A made-up sysfs: virtual consoles and ptmx have no device; an 8250 slot without a UART
    // reports type 0; a port whose node is missing from /dev is not openable.
    void listsRealPortsOnly()
    {
        QTemporaryDir root;
        QVERIFY(root.isValid());
        const QString sys = root.filePath(QStringLiteral("sys")), dev = root.filePath(QStringLiteral("dev"));
        QVERIFY(QDir().mkpath(sys) && QDir().mkpath(dev) && QDir().mkpath(root.filePath(QStringLiteral("hw"))));
        auto tty = [&](const QString &name, bool device, const QByteArray &type = {}, bool node = true) {
            QVERIFY(QDir().mkpath(sys + '/' + name));
            if (device)
                QVERIFY(QFile::link(root.filePath(QStringLiteral("hw")), sys + '/' + name + QStringLiteral("/device")));
            if (!type.isNull()) {
                QFile f(sys + '/' + name + QStringLiteral("/type"));
                QVERIFY(f.open(QIODevice::WriteOnly));
                f.write(type);
            }
            if (node) {
                QFile f(dev + '/' + name);
                QVERIFY(f.open(QIODevice::WriteOnly));
            }
        };
        tty(QStringLiteral("tty0"), false);
        tty(QStringLiteral("ptmx"), false);
        tty(QStringLiteral("ttyS0"), true, "4\n");
        tty(QStringLiteral("ttyS1"), true, "0\n");
        tty(QStringLiteral("ttyS2"), true); // no type attribute: listed
        tty(QStringLiteral("ttyUSB0"), true);
        tty(QStringLiteral("ttyACM0"), true, {}, false);

        QCOMPARE(SerialPortList::fromSysfs(sys, dev),
                 (QStringList{dev + QStringLiteral("/ttyS0"), dev + QStringLiteral("/ttyS2"), dev + QStringLiteral("/ttyUSB0")}));
        QCOMPARE(SerialPortList::fromSysfs(root.filePath(QStringLiteral("none")), dev), QStringList());
    }

#ifdef Q_OS_LINUX
    // On this computer the quick listing names the same ports as Qt's own enumeration.
    void matchesTheSystemEnumeration()
    {
        QStringList expected;
        for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
            expected.append(info.systemLocation());
        expected.sort();
        QCOMPARE(SerialPortList::available(), expected);
    }
#endif
};

QTEST_GUILESS_MAIN(tst_SerialPortList)
#include "tst_SerialPortList.moc"
