// Several simulated gateways on one pseudo-terminal, read by one tarvik-cli: every gateway's
// report carries its own devices, a missing one is named, commands of one gateway refuse a
// list, and scan finds them all.
#include "CliProcess.h"
#include "SimProcess.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

namespace {
// The ROM code of the first channel that holds a device.
QString firstRom(const QJsonObject &report)
{
    for (const QJsonValue &c : report.value(QStringLiteral("channels")).toArray()) {
        const QString rom = c.toObject().value(QStringLiteral("rom")).toString();
        if (!rom.isEmpty())
            return rom;
    }
    return {};
}
} // namespace

class tst_CliBusOnPty : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString link() const { return m_dir.filePath(QStringLiteral("bus")); }

private slots:
    void channelsOfEveryGatewayOnTheLine()
    {
        SimProcess sim({"--link", link(), "--baud", "115200", "--address", "1,2,5"});
        QVERIFY2(sim.waitReady(), sim.errors().constData());
        const auto r = CliProcess::run({"--port", link(), "--baud", "115200", "--address", "1,2,5", "channels", "--json"});
        QCOMPARE(r.exitCode, 0);
        const QJsonArray reports = QJsonDocument::fromJson(r.out.toUtf8()).array();
        QCOMPARE(reports.size(), 3);
        QStringList roms;
        const QList<int> addresses{1, 2, 5};
        for (int i = 0; i < 3; ++i) {
            const QJsonObject report = reports[i].toObject();
            QCOMPARE(report.value(QStringLiteral("address")).toInt(), addresses[i]);
            QCOMPARE(report.value(QStringLiteral("channels")).toArray().size(), 40);
            roms.append(firstRom(report));
        }
        // Each gateway holds devices of its own: no report shows another's.
        QVERIFY2(!roms[0].isEmpty() && roms[0] != roms[1] && roms[1] != roms[2] && roms[0] != roms[2],
                 qPrintable(roms.join(' ')));

        const auto table = CliProcess::run({"--port", link(), "--baud", "115200", "--address", "1,5", "channels"});
        QCOMPARE(table.exitCode, 0);
        QVERIFY(table.out.startsWith(QStringLiteral("Gateway at address 1\n")));
        QVERIFY(table.out.contains(QStringLiteral("\nGateway at address 5\n")));
    }

    // The same line reached through a serial server in raw mode and through a Modbus TCP
    // gateway: each gateway's own channels either way.
    void channelsOfEveryGatewayOverTheNetwork_data()
    {
        QTest::addColumn<QString>("scheme");
        QTest::newRow("serial server") << "tcp";
        QTest::newRow("Modbus TCP") << "mbap";
    }
    void channelsOfEveryGatewayOverTheNetwork()
    {
        QFETCH(QString, scheme);
        SimProcess sim({"--baud", "115200", "--address", "1,2", "--" + scheme, "0"});
        QVERIFY2(sim.waitReady(), sim.errors().constData());
        const QString port = QStringLiteral("%1://127.0.0.1:%2").arg(scheme).arg(sim.port(scheme));
        const auto r = CliProcess::run({"--port", port, "--baud", "115200", "--address", "1,2", "channels", "--json"});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        const QJsonArray reports = QJsonDocument::fromJson(r.out.toUtf8()).array();
        QCOMPARE(reports.size(), 2);
        QCOMPARE(reports[1].toObject().value(QStringLiteral("address")).toInt(), 2);
        QVERIFY(firstRom(reports[0].toObject()) != firstRom(reports[1].toObject()));
    }

    void aMissingGatewayIsNamedAndOneGatewayCommandsRefuseAList()
    {
        SimProcess sim({"--link", link(), "--baud", "115200", "--address", "1,2"});
        QVERIFY2(sim.waitReady(), sim.errors().constData());
        const auto r = CliProcess::run({"--port", link(), "--baud", "115200", "--address", "1,7", "--timeout", "2000", "channels"});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QStringLiteral("No answer from the gateway (address 7 on")), qPrintable(r.err));

        const auto backup = CliProcess::run({"--port", link(), "--baud", "115200", "--address", "1,2", "backup", "-"});
        QCOMPARE(backup.exitCode, 2);
        QVERIFY2(backup.err.contains(QStringLiteral("one gateway")), qPrintable(backup.err));
    }

    void scanFindsEveryGatewayOnTheLine()
    {
        SimProcess sim({"--link", link(), "--baud", "115200", "--address", "3,4,9"});
        QVERIFY2(sim.waitReady(), sim.errors().constData());
        const auto r = CliProcess::run({"--port", link(), "--timeout", "250", "scan", "--bauds", "115200", "--addresses", "1-10"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QStringLiteral("115200 Bd, address 3: Gateway FW version: V1.09\n"
                                       "115200 Bd, address 4: Gateway FW version: V1.09\n"
                                       "115200 Bd, address 9: Gateway FW version: V1.09\n"));
        QVERIFY2(r.err.contains(QStringLiteral("3 gateways on the line: read them all with --baud 115200 --address 3,4,9")),
                 qPrintable(r.err));
    }
};

QTEST_GUILESS_MAIN(tst_CliBusOnPty)
#include "tst_CliBusOnPty.moc"
