// Our simulator's network servers against independent Modbus masters: pymodbus over TCP with the
// RTU framer (a serial server in raw mode, --tcp) and as a Modbus TCP client (--mbap), and
// mbpoll as a Modbus TCP client. Two gateways with populations of their own share the line:
// each address is answered with its own gateway's registers, writes change only the gateway
// addressed, and an address nobody has gets no answer (over Modbus TCP: exception 0B).
#include "SimProcess.h"
#include "TestHelpers.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Gateway
{
    int address;
    QList<uint16_t> rom; // channel 1's ROM code words
    double temperature; // channel 1's
    QByteArray population;
};

const Gateway kFirst{
    3, {0x28FF, 0x15E2, 0x6016, 0x0574}, 21.5, "device 1 28FF15E260160574 channel 1 temp 21.5\n"};
const Gateway kSecond{7, {0x2800, 0x0000, 0x0000, 0x0A3C}, 40.0,
    "device 1 2800000000000A3C channel 1 temp 40.0\n"
    "device 2 2800000000000B2D channel 21 temp 5.0\n"};

// The simulator with both gateways at 115200 Bd, on a raw TCP and a Modbus TCP server.
struct TwoGateways
{
    QTemporaryDir dir;
    std::unique_ptr<SimProcess> sim;

    bool start()
    {
        const QString first = dir.filePath(QStringLiteral("first.txt"));
        const QString second = dir.filePath(QStringLiteral("second.txt"));
        if (!writeFile(first, kFirst.population) || !writeFile(second, kSecond.population))
            return false;
        sim = std::make_unique<SimProcess>(QStringList{"--address",
            QStringLiteral("%1,%2").arg(kFirst.address).arg(kSecond.address), "--population",
            first + ',' + second, "--baud", "115200", "--tcp", "0", "--mbap", "0", "--mbap-wait",
            "300"});
        return sim->waitReady();
    }
};

QList<uint16_t> words(const QJsonValue &array, int from, int count)
{
    QList<uint16_t> w;
    for (int i = from; i < from + count; ++i)
        w.append(uint16_t(array.toArray().at(i).toInt(-1)));
    return w;
}

} // namespace

class tst_NetworkInterop : public QObject
{
    Q_OBJECT
private slots:
    void pymodbusReadsAndWritesEachGatewayByItsAddress_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::newRow("RTU framer over TCP") << "rtu";
        QTest::newRow("Modbus TCP") << "mbap";
    }
    void pymodbusReadsAndWritesEachGatewayByItsAddress()
    {
        QFETCH(QString, mode);
        TwoGateways gateways;
        QVERIFY2(gateways.start(), gateways.sim ? gateways.sim->errors().constData() : "");
        const quint16 port = gateways.sim->port(mode == "rtu" ? "tcp" : "mbap");
        QVERIFY(port != 0);

        QProcess python;
        python.start(QStringLiteral("/usr/bin/python3"),
            {QStringLiteral(INTEROP_DIR "/pymodbus_master.py"), mode, QString::number(port),
                QStringLiteral("%1,%2").arg(kFirst.address).arg(kSecond.address),
                QStringLiteral("9")});
        QVERIFY(python.waitForFinished(30000));
        const QByteArray output = python.readAllStandardOutput();
        QVERIFY2(python.exitCode() == 0, (output + python.readAllStandardError()).constData());
        const QJsonObject got = QJsonDocument::fromJson(output).object();
        QVERIFY2(!got.isEmpty(), output.constData());
        // What failed is easier to read without the register blocks.
        const QByteArray outcome = QJsonDocument(
            QJsonObject{{"write06", got["write06"]}, {"write16", got["write16"]},
                {"absent",
                    got["absent"]}}).toJson(QJsonDocument::Compact);

        for (const Gateway &g : {kFirst, kSecond}) {
            const QJsonObject unit = got.value(QString::number(g.address)).toObject();
            const QJsonValue service = unit.value("service");
            const QJsonValue channels = unit.value("channels");
            QVERIFY2(service.isArray() && channels.isArray(), output.constData());
            // Firmware version, then the gateway's own address in its port settings.
            QCOMPARE(words(service, 0, 2), (QList<uint16_t>{109, uint16_t(g.address)}));
            QCOMPARE(words(channels, 0, 4), g.rom);
            // Temperatures drift a little while the simulator runs.
            QVERIFY2(qAbs(int16_t(words(channels, 4, 1).first()) - g.temperature * 10) <= 10,
                output.constData());
        }
        QVERIFY2(got.value("write06").toString().contains("1055 => 3"), outcome.constData());
        QVERIFY2(got.value("write16").toString().contains("(1053,2)"), outcome.constData());
        // Answer delays 1053/1054 and the power control 1055, each changed on its gateway only.
        QCOMPARE(words(got.value(QString::number(kFirst.address))["settings"], 0, 3),
            (QList<uint16_t>{20, 30, 1}));
        QCOMPARE(words(got.value(QString::number(kSecond.address))["settings"], 0, 3),
            (QList<uint16_t>{0, 0, 3}));
        // Over the serial line nobody answers; the Modbus TCP server answers for it.
        if (mode == "rtu")
            QVERIFY2(got.value("absent").isNull(), outcome.constData());
        else
            QCOMPARE(got.value("absent").toInt(), 0x0B);
    }

    void mbpollReadsEachGatewayOverModbusTcp()
    {
        TwoGateways gateways;
        QVERIFY2(gateways.start(), gateways.sim ? gateways.sim->errors().constData() : "");
        const QString port = QString::number(gateways.sim->port("mbap"));
        for (const Gateway &g : {kSecond, kFirst}) {
            QProcess mbpoll;
            // Registers 0-3 (mbpoll counts from 1), in hex, one poll.
            mbpoll.start(QStringLiteral("mbpoll"),
                {"-m", "tcp", "-a", QString::number(g.address), "-r", "1", "-c", "4", "-t", "4:hex",
                    "-1", "-p", port, "127.0.0.1"});
            QVERIFY(mbpoll.waitForFinished(15000));
            const QString output = QString::fromLocal8Bit(mbpoll.readAllStandardOutput());
            QVERIFY2(mbpoll.exitCode() == 0, qPrintable(output));
            QList<uint16_t> rom;
            static const QRegularExpression line(
                QStringLiteral("^\\[(\\d+)\\]:\\s+0x([0-9A-F]{4})$"),
                QRegularExpression::MultilineOption);
            for (auto m = line.globalMatch(output); m.hasNext();) {
                const auto match = m.next();
                QCOMPARE(match.captured(1).toInt(), int(rom.size()) + 1);
                rom.append(uint16_t(match.captured(2).toUInt(nullptr, 16)));
            }
            QVERIFY2(rom == g.rom, qPrintable(output));
        }
    }
};

QTEST_GUILESS_MAIN(tst_NetworkInterop)
#include "tst_NetworkInterop.moc"
