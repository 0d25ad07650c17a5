// read and write against the simulated gateway on a pseudo-terminal: what read prints is what
// the registers hold, in each form; write goes out as one function 06 or 16 request and lands
// in the registers named; a register the tool uses for a setting, a command, the firmware or a
// ROM code is not written without Yes; refusals and silence end the command with exit code 1.
#include "CliProcess.h"
#include "RegisterMap.h"
#include "SimOnPty.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

namespace {

constexpr uint8_t kWriteSingle = 0x06;
constexpr uint8_t kWriteMultiple = 0x10;

// The requests other than the poll cycle's block reads (function 03 of 100 registers).
struct OwnRequests
{
    QList<QByteArray> frames;
    explicit OwnRequests(SimOnPty &gw)
    {
        gw->OnRequest = [this](const QByteArray &frame, qint64) {
            const bool blockRead = frame.size() == 8 && frame[1] == 0x03 && frame[4] == 0 && frame[5] == char(PollBlockSize);
            if (!blockRead)
                frames.append(frame.left(frame.size() - 2)); // without the CRC
        };
    }
};

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

} // namespace

class tst_CliRegistersOnPty : public QObject
{
    Q_OBJECT
private slots:
    // The first 125 registers (channels 1-12 and half of 13), the most one read takes, compared
    // with the gateway's own in each form; one request of its own went out for them.
    void readShowsTheRegistersInEachForm_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<bool>("json");
        QTest::newRow("dec") << "dec" << false;
        QTest::newRow("hex") << "hex" << false;
        QTest::newRow("signed") << "signed" << false;
        QTest::newRow("dec json") << "dec" << true;
        QTest::newRow("hex json") << "hex" << true;
        QTest::newRow("signed json") << "signed" << true;
    }
    void readShowsTheRegistersInEachForm()
    {
        QFETCH(QString, format);
        QFETCH(bool, json);
        SimOnPty gw;
        OwnRequests requests(gw);
        QStringList args = gw.line() + QStringList{"read", "0", "125", "--format", format};
        if (json)
            args.append(QStringLiteral("--json"));
        const auto r = CliProcess::run(args);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(requests.frames, QList<QByteArray>{hex("0103" "0000" "007D")});

        bool highBit = false;
        const auto shown = [&](uint16_t v) {
            highBit = highBit || v >= 0x8000;
            if (format == QLatin1String("hex"))
                return QStringLiteral("0x%1").arg(QString::number(v, 16).toUpper().rightJustified(4, QLatin1Char('0')));
            return QString::number(format == QLatin1String("signed") ? int(int16_t(v)) : int(v));
        };
        if (json) {
            const QJsonArray all = QJsonDocument::fromJson(r.out.toUtf8()).array();
            QCOMPARE(all.size(), 125);
            for (int i = 0; i < 125; ++i) {
                const QJsonObject item = all[i].toObject();
                QCOMPARE(item[QStringLiteral("register")].toInt(), i);
                QCOMPARE(item[QStringLiteral("value")].toVariant().toString(), shown(gw.model().reg(uint16_t(i))));
            }
        } else {
            const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
            QCOMPARE(lines.size(), 125);
            for (int i = 0; i < 125; ++i)
                QCOMPARE(lines[i].simplified(), QStringLiteral("%1 %2").arg(i).arg(shown(gw.model().reg(uint16_t(i)))));
        }
        QVERIFY2(highBit, "no register above 32767 among them: signed shows nothing of its own");
    }

    // One value is function 06, several are one function 16; a negative value is its 16 bits.
    // The written registers read back as written.
    void writeSendsFunction06ForOneValueAnd16ForSeveral()
    {
        SimOnPty gw;
        OwnRequests requests(gw);
        auto r = CliProcess::run(gw.line() + QStringList{"write", "1053", "20", "--yes"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QStringLiteral("Wrote register 1053 (function 06); the gateway confirmed it.\n"));
        r = CliProcess::run(gw.line() + QStringList{"write", "--yes", "1053", "0x1E", "40"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QStringLiteral("Wrote registers 1053-1054 (function 16); the gateway confirmed it.\n"));
        r = CliProcess::run(gw.line() + QStringList{"write", "2", "-2", "--yes"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(requests.frames, (QList<QByteArray>{hex("0106" "041D" "0014"), hex("0110" "041D" "0002" "04" "001E" "0028"),
                                                     hex("0106" "0002" "FFFE")}));
        QCOMPARE(gw.model().reg(ServiceRegs::Com0Delay), 30);
        QCOMPARE(gw.model().reg(ServiceRegs::Com1Delay), 40);
        r = CliProcess::run(gw.line() + QStringList{"read", "2", "--format", "signed"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out.simplified(), QStringLiteral("2 -2"));
    }

    // Without --yes and with no terminal to ask, such a write is refused before the port opens,
    // naming what the register is; a range that only reaches into one is refused as well.
    void aRegisterTheToolUsesIsWrittenOnlyAfterYes_data()
    {
        QTest::addColumn<QStringList>("write");
        QTest::addColumn<QString>("says");
        QTest::newRow("command register") << QStringList{"1010", "0x05FF"} << "Register 1010 is the command register of 1-Wire line 1";
        QTest::newRow("setting") << QStringList{"1002", "192"} << "Register 1002 is the setting com0.baud, the speed of the gateway's COM 0 port";
        QTest::newRow("ROM code") << QStringList{"13", "0"} << "Register 13 is word 4 of the ROM code of channel 1";
        QTest::newRow("firmware") << QStringList{"1376", "8"} << "Register 1376 is the firmware update's first data register";
        QTest::newRow("a range reaching one") << QStringList{"1009", "1", "0x07FF"} << "Register 1010 is the command register";
    }
    void aRegisterTheToolUsesIsWrittenOnlyAfterYes()
    {
        QFETCH(QStringList, write);
        QFETCH(QString, says);
        SimOnPty gw;
        OwnRequests requests(gw);
        const uint16_t first = uint16_t(write.first().toUInt(nullptr, 0));
        const uint16_t before = gw.model().reg(first);
        const auto r = CliProcess::run(gw.line() + QStringList{"write"} + write);
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.startsWith(says), qPrintable(r.err));
        QVERIFY2(r.err.contains(QStringLiteral("(not asked: no terminal to answer; --yes answers Yes)\n"
                                               "tarvik-cli: Nothing was written.\n")),
                 qPrintable(r.err));
        QVERIFY(requests.frames.isEmpty());
        QCOMPARE(gw.model().reg(first), before);
    }

    // The gateway's exception answers are named; silence ends the command as it ends others.
    void refusalsAndSilenceExitOne_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("says");
        QTest::addColumn<QString>("endsWith");
        const QString refused = QStringLiteral("tarvik-cli: The gateway refused the request: ");
        QTest::newRow("read outside the map") << QStringList{"read", "500"}
                                              << refused + "Modbus exception 2 (illegal data address) to read holding registers" << "";
        QTest::newRow("write of a status") << QStringList{"write", "1011", "5"}
                                           << refused + "Modbus exception 2 (illegal data address) to write single register" << "";
        QTest::newRow("delay too long") << QStringList{"write", "1053", "100", "500", "--yes"}
                                        << refused + "Modbus exception 3 (illegal data value) to write multiple registers" << "";
        QTest::newRow("read, silent") << QStringList{"--address", "5", "--timeout", "400", "read", "1000"}
                                      << "tarvik-cli: No answer from the gateway (address 5 on " << "";
        QTest::newRow("write, silent") << QStringList{"--address", "5", "write", "1053", "0", "--yes"}
                                       << "tarvik-cli: No answer from the gateway (address 5 on "
                                       << " to the write of register 1053: it may or may not have been carried out; see with "
                                          "tarvik-cli read 1053 1";
    }
    void refusalsAndSilenceExitOne()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, says);
        QFETCH(QString, endsWith);
        SimOnPty gw;
        const auto r = CliProcess::run(gw.line() + args);
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.out.isEmpty());
        QVERIFY2(r.err.startsWith(says) && r.err.endsWith(endsWith + QLatin1Char('\n')), qPrintable(r.err));
        QCOMPARE(r.err.count(QLatin1Char('\n')), 1);
    }
};

QTEST_GUILESS_MAIN(tst_CliRegistersOnPty)
#include "tst_CliRegistersOnPty.moc"
