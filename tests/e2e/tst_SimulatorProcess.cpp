// The command-line contract of tarvik-gateway-sim: "ready PATH" once it listens, answers on
// the link, a stall on SIGUSR2, refusal of bad options, exit 0 and the link gone after SIGTERM;
// several gateways on one link, each answering its own address; the raw TCP and Modbus TCP
// servers beside the link, reaching the same gateways, and clients that come and go.
#include "FrameBytes.h"
#include "ModbusCrc.h"
#include "SimProcess.h"
#include "TModbusKomunikator.h"
#include "TestHelpers.h"

#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

namespace {
// A read of register 1001, the gateway's own address, from address a.
QByteArray readAddressOf(uint8_t a)
{
    const char body[] = {char(a), 0x03, 0x03, char(0xE9), 0x00, 0x01};
    return ModbusCrc::appended(QByteArray(body, 6));
}
QByteArray addressAnswerOf(uint8_t a)
{
    return readAnswer(a, {a});
}
} // namespace

class tst_SimulatorProcess : public QObject
{
    Q_OBJECT
private slots:
    void printsReadyAnswersAndEndsOnSigterm()
    {
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("gw"));
        QProcess sim;
        sim.start(QStringLiteral(TARVIK_SIM_EXE), {QStringLiteral("--link"), link, QStringLiteral("--baud"), QStringLiteral("38400")});
        QVERIFY(sim.waitForStarted());
        QVERIFY(QTest::qWaitFor([&] { return sim.canReadLine(); }, 5000));
        QCOMPARE(sim.readLine(), QByteArray("ready " + link.toLocal8Bit() + "\n"));
        QVERIFY(QFileInfo(link).isSymLink());

        // A function 16 request with no body (valid CRC) gets exception 03, and the simulator
        // goes on serving.
        {
            TAfComPort raw;
            raw.setPortName(link);
            raw.setUserBaudRate(38400);
            raw.open();
            const uint8_t shortWrite[] = {0x01, 0x10, 0x01, 0xEC};
            raw.write(shortWrite, 4);
            QVERIFY(QTest::qWaitFor([&] { return raw.bytesWaiting() >= 5; }, 5000));
            QByteArray answer(5, 0);
            raw.read(answer.data(), 5);
            QCOMPARE(answer.toHex(' '), QByteArray("01 90 03 0c 01"));
            raw.close();
        }

        TAfComPort port;
        TModbusKomunikator master{&port};
        int blocks = 0;
        master.OnBlockReceived = [&] { ++blocks; };
        master.SetBaudRate(38400);
        master.Open(link);
        QVERIFY(QTest::qWaitFor([&] { return blocks >= 2; }, 5000));
        master.Close();

        ::kill(pid_t(sim.processId()), SIGTERM);
        QVERIFY(sim.waitForFinished(5000));
        QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
        QCOMPARE(sim.exitCode(), 0);
        QVERIFY(!QFileInfo(link).isSymLink());
    }

    void badOptionsAreRefusedWithAReason_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no link") << QStringList{} << "--link PATH is required";
        QTest::newRow("address 0") << QStringList{"--link", "/tmp/x-gw-test", "--address", "0"} << "--address takes 1 to 247";
        QTest::newRow("parity") << QStringList{"--link", "/tmp/x-gw-test", "--parity", "mark"} << "--parity takes none, odd or even";
        QTest::newRow("drop rate") << QStringList{"--link", "/tmp/x-gw-test", "--drop", "1.5"} << "--drop takes a probability from 0 to 1";
        QTest::newRow("drop nan") << QStringList{"--link", "/tmp/x-gw-test", "--drop", "nan"} << "--drop takes a probability from 0 to 1";
        QTest::newRow("late rate") << QStringList{"--link", "/tmp/x-gw-test", "--late", "-0.1"} << "--late takes a probability from 0 to 1";
        QTest::newRow("late-ms 0") << QStringList{"--link", "/tmp/x-gw-test", "--late", "0.1", "--late-ms", "0"} << "--late-ms takes a whole number from 1 to 600000";
        QTest::newRow("late-ms alone") << QStringList{"--link", "/tmp/x-gw-test", "--late-ms", "50"} << "--late-ms needs --late";
        QTest::newRow("stall 0") << QStringList{"--link", "/tmp/x-gw-test", "--stall", "0"} << "--stall takes a positive number of seconds";
        QTest::newRow("stall-every alone") << QStringList{"--link", "/tmp/x-gw-test", "--stall-every", "10"} << "--stall-every needs --stall";
        QTest::newRow("stall-every short") << QStringList{"--link", "/tmp/x-gw-test", "--stall", "2.5", "--stall-every", "2.5"} << "--stall-every must be longer than --stall";
        QTest::newRow("answer delay") << QStringList{"--link", "/tmp/x-gw-test", "--answer-delay", "1001"} << "--answer-delay takes a whole number from 0 to 1000";
        QTest::newRow("unknown option") << QStringList{"--link", "/tmp/x-gw-test", "--speed", "9600"} << "Unknown option 'speed'";
        QTest::newRow("address twice") << QStringList{"--link", "/tmp/x-gw-test", "--address", "1,3-5,4"} << "--address lists address 4 twice";
        QTest::newRow("range backwards") << QStringList{"--link", "/tmp/x-gw-test", "--address", "5-3"} << "--address takes 1 to 247, a list or ranges";
        QTest::newRow("range past 247") << QStringList{"--link", "/tmp/x-gw-test", "--address", "240-248"} << "--address takes 1 to 247";
        QTest::newRow("empty item") << QStringList{"--link", "/tmp/x-gw-test", "--address", "1,,2"} << "--address takes 1 to 247";
        QTest::newRow("silent not listed") << QStringList{"--link", "/tmp/x-gw-test", "--address", "1-3", "--silent", "4"} << "--silent names address 4, which --address does not list";
        QTest::newRow("populations") << QStringList{"--link", "/tmp/x-gw-test", "--address", "1-3", "--population", "demo,empty"} << "--population takes one entry for all gateways or one for each address (3)";
        QTest::newRow("tcp port") << QStringList{"--tcp", "70000"} << "--tcp takes [HOST:]PORT";
        QTest::newRow("mbap host") << QStringList{"--mbap", "gateway.example:502"} << "--mbap takes [HOST:]PORT";
        QTest::newRow("mbap-wait alone") << QStringList{"--tcp", "0", "--mbap-wait", "100"} << "--mbap-wait needs --mbap";
    }
    void badOptionsAreRefusedWithAReason()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, reason);
        QProcess sim;
        sim.start(QStringLiteral(TARVIK_SIM_EXE), args);
        QVERIFY(sim.waitForFinished(5000));
        QCOMPARE(sim.exitCode(), 2);
        QVERIFY2(sim.readAllStandardError().contains(reason.toUtf8()), qPrintable(reason));
        QVERIFY(!QFileInfo(QStringLiteral("/tmp/x-gw-test")).isSymLink());
    }

    // Requests sent during a stall wait in the terminal; afterwards both are answered in order,
    // the first after the answer delay set at start (held in both delay registers).
    void sigusr2StallsAndTheQueuedRequestsAreAnsweredAfterwards()
    {
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("gw"));
        QProcess sim;
        sim.start(QStringLiteral(TARVIK_SIM_EXE), {"--link", link, "--stall", "0.5", "--answer-delay", "100"});
        QVERIFY(QTest::qWaitFor([&] { return sim.canReadLine(); }, 5000));
        sim.readLine();
        TAfComPort raw;
        raw.setPortName(link);
        raw.setUserBaudRate(9600);
        raw.open();
        ::kill(pid_t(sim.processId()), SIGUSR2);
        QVERIFY(QTest::qWaitFor([&] { return sim.canReadLine(); }, 5000));
        QCOMPARE(sim.readLine(), QByteArray("stall 500 ms\n"));
        const QByteArray requests = withCrc(hexBytes("01 03 04 1D 00 02")) + withCrc(hexBytes("01 03 04 1D 00 01"));
        raw.write(requests.constData(), int(requests.size()));
        QTest::qWait(350); // without the stall both answers would be here after 100 ms
        QCOMPARE(raw.bytesWaiting(), 0);
        const QByteArray answers = withCrc(hexBytes("01 03 04 00 64 00 64")) + withCrc(hexBytes("01 03 02 00 64"));
        QVERIFY(QTest::qWaitFor([&] { return raw.bytesWaiting() >= answers.size(); }, 5000));
        QByteArray got(raw.bytesWaiting(), 0);
        raw.read(got.data(), int(got.size()));
        QCOMPARE(got.toHex(' '), answers.toHex(' '));
        sim.terminate();
        QVERIFY(sim.waitForFinished(5000));
    }

    // Only the gateway addressed answers; nobody for an address not listed or a silent one.
    void severalGatewaysOnOneLinkEachAnswerTheirOwnAddress()
    {
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("gw"));
        SimProcess sim({"--link", link, "--address", "1,2,5-6", "--silent", "6", "--baud", "38400"});
        QVERIFY2(sim.waitReady(), sim.errors().constData());
        QCOMPARE(sim.served(), QStringList{link});
        TAfComPort raw;
        raw.setPortName(link);
        raw.setUserBaudRate(38400);
        raw.open();
        const auto ask = [&](uint8_t a) {
            raw.purgeReceive();
            const QByteArray request = readAddressOf(a);
            raw.write(request.constData(), int(request.size()));
            (void)QTest::qWaitFor([&] { return raw.bytesWaiting() >= 7; }, 300);
            QTest::qWait(20); // anything behind it
            QByteArray got(raw.bytesWaiting(), 0);
            raw.read(got.data(), int(got.size()));
            return got.toHex(' ');
        };
        for (uint8_t a : {5, 1, 2})
            QCOMPARE(ask(a), addressAnswerOf(a).toHex(' '));
        QCOMPARE(ask(3), QByteArray());
        QCOMPARE(ask(6), QByteArray());
        QCOMPARE(ask(2), addressAnswerOf(2).toHex(' '));
        raw.close();
    }

    // Both servers beside the link, on ports the system picked: the same gateway behind each
    // (a write over one is read over the other), and a raw TCP client may leave and another
    // come.
    void tcpServersBesideTheLinkReachTheSameGateways()
    {
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("gw"));
        SimProcess sim({"--link", link, "--tcp", "0", "--mbap", "127.0.0.1:0", "--address", "4,9", "--baud", "115200"});
        QVERIFY2(sim.waitReady(), sim.errors().constData());
        const QString ready = sim.served().join(' ');
        QVERIFY2(QRegularExpression(QStringLiteral("^\\Q%1\\E tcp://127\\.0\\.0\\.1:\\d+ mbap://127\\.0\\.0\\.1:\\d+$").arg(link))
                     .match(ready).hasMatch(),
                 qPrintable(ready));
        const auto exchange = [](QTcpSocket &s, const QByteArray &request, int expected) {
            s.write(request);
            QByteArray got;
            (void)QTest::qWaitFor([&] { got.append(s.readAll()); return got.size() >= expected; }, 2000);
            return got.toHex(' ');
        };
        for (int round = 0; round < 2; ++round) {
            QTcpSocket raw;
            raw.connectToHost(QHostAddress::LocalHost, sim.port("tcp"));
            QVERIFY(raw.waitForConnected(2000));
            QCOMPARE(exchange(raw, readAddressOf(9), 7), addressAnswerOf(9).toHex(' '));
            QCOMPARE(exchange(raw, readAddressOf(4), 7), addressAnswerOf(4).toHex(' '));
            raw.disconnectFromHost();
        }
        QTcpSocket raw;
        raw.connectToHost(QHostAddress::LocalHost, sim.port("tcp"));
        QVERIFY(raw.waitForConnected(2000));
        const QByteArray write = withCrc(hexBytes("09 06 04 1F 00 05"));
        QCOMPARE(exchange(raw, write, 8), write.toHex(' '));
        QTcpSocket mbap;
        mbap.connectToHost(QHostAddress::LocalHost, sim.port("mbap"));
        QVERIFY(mbap.waitForConnected(2000));
        QCOMPARE(exchange(mbap, hexBytes("00 2A 00 00 00 06 09 03 04 1F 00 01"), 11),
                 QByteArray("00 2a 00 00 00 05 09 03 02 00 05"));
        QCOMPARE(exchange(mbap, hexBytes("00 2B 00 00 00 06 04 03 04 1F 00 01"), 11),
                 QByteArray("00 2b 00 00 00 05 04 03 02 00 01"));
    }

    void aTakenPortEndsTheSimulatorWithTheReason()
    {
        QTcpServer taken;
        QVERIFY(taken.listen(QHostAddress::LocalHost, 0));
        QProcess sim;
        sim.start(QStringLiteral(TARVIK_SIM_EXE), {"--tcp", QString::number(taken.serverPort())});
        QVERIFY(sim.waitForFinished(5000));
        QCOMPARE(sim.exitCode(), 1);
        QVERIFY(sim.readAllStandardError().contains(
            QStringLiteral("--tcp: cannot listen on 127.0.0.1:%1").arg(taken.serverPort()).toUtf8()));
    }

    void badPopulationFileIsNamedAndTheLinkRemoved()
    {
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("gw"));
        const QString population = dir.filePath(QStringLiteral("pop.txt"));
        QVERIFY(writeFile(population, "device 1 28FF15E260160574 channel 1\ndevice 1 28FF15E260160575 channel 1.7\n"));
        QProcess sim;
        sim.start(QStringLiteral(TARVIK_SIM_EXE), {QStringLiteral("--link"), link, QStringLiteral("--population"), population});
        QVERIFY(sim.waitForFinished(5000));
        QCOMPARE(sim.exitCode(), 2);
        const QByteArray error = sim.readAllStandardError();
        QVERIFY2(error.contains((population + QStringLiteral(":2: channel \"1.7\"")).toUtf8()), error.constData());
        QVERIFY(!QFileInfo(link).isSymLink());
        QVERIFY(!QFileInfo::exists(link));
    }
};

QTEST_GUILESS_MAIN(tst_SimulatorProcess)
#include "tst_SimulatorProcess.moc"
