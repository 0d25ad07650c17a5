// The gateway operations: which word goes to which register, which block is read next, and
// the lists of line settings.
#include "FrameBytes.h"
#include "MemoryTransport.h"
#include "ScriptedPrompts.h"
#include "TTarvikKomunikator.h"

#include <QTest>
#include <optional>

namespace {

struct Rig
{
    MemoryTransport *line = new MemoryTransport;
    TAfComPort port{std::unique_ptr<SerialTransport>(line)};
    TTarvikKomunikator gw{&port};
    Rig()
    {
        gw.Open(QStringLiteral("memory"));
        gw.PollTimer().stop();
    }
    // The start address of the block an advancing poll reads next.
    int nextRead() const { return PollBlocks[(gw.BlockIndex() + 1) % PollBlockCount]; }
};

using Op = std::function<void(TTarvikKomunikator &)>;

} // namespace

Q_DECLARE_METATYPE(Op)

class tst_TarvikOperations : public QObject
{
    Q_OBJECT
private slots:
    void queuedOperationsWriteTheirWordAndSteerTheCycle_data()
    {
        QTest::addColumn<Op>("op");
        QTest::addColumn<int>("word");
        QTest::addColumn<int>("reg");
        QTest::addColumn<int>("next");
        QTest::newRow("FindNew line 1") << Op([](auto &g) { g.FindNew(0); }) << 0x05FF << 1010 << 1000;
        QTest::newRow("FindNew line 2") << Op([](auto &g) { g.FindNew(1); }) << 0x05FF << 1020 << 1000;
        QTest::newRow("FindNewAll line 2") << Op([](auto &g) { g.FindNewAll(1); }) << 0x06FF << 1020 << 1000;
        QTest::newRow("FindAll line 1") << Op([](auto &g) { g.FindAll(0); }) << 0x07FF << 1010 << 1000;
        QTest::newRow("SaveNewDevice 1") << Op([](auto &g) { g.SaveNewDevice(1); }) << 0x0900 << 1010 << 0;
        QTest::newRow("SaveNewDevice 20") << Op([](auto &g) { g.SaveNewDevice(20); }) << 0x0913 << 1010 << 100;
        QTest::newRow("SaveNewDevice 21") << Op([](auto &g) { g.SaveNewDevice(21); }) << 0x0914 << 1020 << 200;
        QTest::newRow("DeletePosition 21") << Op([](auto &g) { g.DeletePosition(21); }) << 0x0F14 << 1020 << 200;
        QTest::newRow("DeletePosition 40") << Op([](auto &g) { g.DeletePosition(40); }) << 0x0F27 << 1020 << 300;
        QTest::newRow("SaveFoundDevice 3, CC 5") << Op([](auto &g) { g.SaveFoundDevice(3, 5); }) << 0x8305 << 1010 << 0;
        QTest::newRow("SaveFoundDevice 3, CC 25") << Op([](auto &g) { g.SaveFoundDevice(3, 25); }) << 0x8319 << 1020 << 200;
        QTest::newRow("SaveFoundDevice index 200 wraps") << Op([](auto &g) { g.SaveFoundDevice(200, 39); }) << 0x4827 << 1020 << 300;
    }
    void queuedOperationsWriteTheirWordAndSteerTheCycle()
    {
        QFETCH(Op, op);
        QFETCH(int, word);
        QFETCH(int, reg);
        QFETCH(int, next);
        Rig rig;
        op(rig.gw);
        QCOMPARE(rig.gw.WriteQueue(), (QList<TWriteEntry>{{uint16_t(word), uint16_t(reg)}}));
        QCOMPARE(rig.nextRead(), next);
        // On the wire at the next tick.
        rig.gw.PollTimerTick();
        QByteArray body = hexBytes("01 06");
        body.append(char(reg >> 8)).append(char(reg)).append(char(word >> 8)).append(char(word));
        QCOMPARE(rig.line->takeWritten(), withCrc(body));
    }

    void outOfRangeArgumentsSendNothing_data()
    {
        QTest::addColumn<Op>("op");
        QTest::newRow("channel 0") << Op([](auto &g) { g.SaveNewDevice(0); });
        QTest::newRow("channel 41") << Op([](auto &g) { g.DeletePosition(41); });
        QTest::newRow("now, channel -1") << Op([](auto &g) { g.DeletePositionNow(-1); });
        QTest::newRow("target 40") << Op([](auto &g) { g.SaveFoundDevice(1, 40); });
        QTest::newRow("line 2") << Op([](auto &g) { g.FindNew(2); });
        QTest::newRow("ROM code to channel 41") << Op([](auto &g) { g.WriteRomCode({1, 2, 3, 4}, 41); });
    }
    void outOfRangeArgumentsSendNothing()
    {
        QFETCH(Op, op);
        Rig rig;
        const int before = rig.gw.BlockIndex();
        op(rig.gw);
        QVERIFY(rig.gw.WriteQueue().isEmpty());
        QVERIFY(rig.line->takeWritten().isEmpty());
        QCOMPARE(int(rig.gw.BlockIndex()), before);
    }

    void immediateWritesBypassTheQueue()
    {
        Rig rig;
        rig.gw.DeletePositionNow(21);
        QCOMPARE(rig.line->takeWritten(), withCrc(hexBytes("01 06 03 FC 0F 14")));
        rig.gw.WriteRomCode({0x28FF, 0x15E2, 0x6016, 0x0574}, 40);
        QCOMPARE(rig.line->takeWritten(),
                 withCrc(hexBytes("01 10 01 86 00 04 08 28 FF 15 E2 60 16 05 74")));
        QCOMPARE(rig.nextRead(), 300);
        QVERIFY(rig.gw.WriteQueue().isEmpty());
    }

    void queuedOperationOnAClosedPortSaysSo()
    {
        ScriptedPrompts prompts;
        Rig rig;
        rig.gw.Close();
        rig.gw.FindNew(0);
        QCOMPARE(prompts.texts(ScriptedPrompts::Kind::Information),
                 QStringList{QStringLiteral("Communication port is inactive.")});
        QVERIFY(rig.gw.WriteQueue().isEmpty());
    }

    void baudTableLookups()
    {
        QCOMPARE(TTarvikKomunikator::BaudIndexOf(96), 5);
        QCOMPARE(TTarvikKomunikator::BaudIndexOf(97), 0);
        QCOMPARE(TTarvikKomunikator::BaudIndexOf(2304), 15);
        QCOMPARE(TTarvikKomunikator::BaudAt(13), 1152);
        QCOMPARE(TTarvikKomunikator::BaudAt(16), 0);
        QCOMPARE(TTarvikKomunikator::BaudAt(-1), 0);
    }

    void listsByPortKind()
    {
        QStringList bauds;
        TTarvikKomunikator::FillBaudRates(bauds, TTarvikKomunikator::pkUSB);
        QCOMPARE(bauds.size(), 16);
        QCOMPARE(bauds.first(), QStringLiteral("1.2 kBd"));
        QCOMPARE(bauds[10], QStringLiteral("56.0 kBd"));
        QCOMPARE(bauds.last(), QStringLiteral("230.4 kBd"));

        QStringList usb, rs485, none;
        TTarvikKomunikator::FillAddresses(usb, TTarvikKomunikator::pkUSB);
        TTarvikKomunikator::FillAddresses(rs485, TTarvikKomunikator::pkRS485);
        TTarvikKomunikator::FillAddresses(none, 3);
        TTarvikKomunikator::FillBaudRates(none, -1);
        TTarvikKomunikator::FillParities(none, 3);
        TTarvikKomunikator::FillStopBits(none, 3);
        QCOMPARE(usb, QStringList{QStringLiteral("1")});
        QCOMPARE(rs485.size(), 247);
        QCOMPARE(rs485.last(), QStringLiteral("247"));
        QVERIFY(none.isEmpty());

        QStringList parities, stops;
        TTarvikKomunikator::FillParities(parities, TTarvikKomunikator::pkRS232);
        TTarvikKomunikator::FillStopBits(stops, TTarvikKomunikator::pkRS232);
        QCOMPARE(parities, (QStringList{"NONE", "ODD", "EVEN"}));
        QCOMPARE(stops, (QStringList{"One", "Two"}));
    }

    void lineSettingsReachThePort()
    {
        Rig rig;
        rig.gw.SetBaudIndex(13);
        QCOMPARE(rig.line->settings().baudRate, 115200);
        QCOMPARE(rig.gw.PollInterval(), 300);
        rig.gw.SetParity(2);
        QCOMPARE(rig.line->settings().parity, TParity::paEven);
        rig.gw.SetStopBits(1);
        rig.gw.SetStopBits(2); // not a stop-bit choice: nothing changes
        QCOMPARE(rig.line->settings().stopBits, TStopBits::sbTwo);
        rig.gw.SetAddressIndex(246);
        QCOMPARE(rig.gw.SlaveAddress(), uint8_t(247));
        rig.gw.SetBaudIndex(16); // outside the table: the line keeps its speed
        QCOMPARE(rig.line->settings().baudRate, 115200);
    }

    // Each channel is freed, then its ROM code written, each write only once the gateway has
    // confirmed the one before; a record of a position never read is passed over.
    void importWritesEachChannelOnTheGatewaysConfirmation()
    {
        Rig rig;
        TChannelRecord a;
        a.channel = 3;
        a.rom = {0x28FF, 0x15E2, 0x6016, 0x0574};
        TChannelRecord neverRead;
        TChannelRecord b;
        b.channel = 22;
        b.rom = {0x1000, 0x0000, 0x0000, 0x00AA};
        QList<QPair<int, int>> progress;
        std::optional<TTarvikKomunikator::ImportResult> result;
        rig.gw.PollTimer().start();
        rig.gw.ImportRomCodes({a, neverRead, b}, [&](int done, int total) { progress.append({done, total}); },
                              [&](const TTarvikKomunikator::ImportResult &r) { result = r; });
        QVERIFY(!rig.gw.PollTimer().isActive());
        const QList<QByteArray> expected = {
            withCrc(hexBytes("01 06 03 F2 0F 02")), withCrc(hexBytes("01 10 00 14 00 04 08 28 FF 15 E2 60 16 05 74")),
            withCrc(hexBytes("01 06 03 FC 0F 15")), withCrc(hexBytes("01 10 00 D2 00 04 08 10 00 00 00 00 00 00 AA"))};
        for (const QByteArray &frame : expected) {
            const QByteArray sent = rig.line->takeWritten();
            QCOMPARE(sent, frame);
            rig.line->inject(uint8_t(sent[1]) == 0x06 ? sent : withCrc(sent.left(6)));
            rig.gw.importStep();
        }
        QVERIFY(result && result->completed());
        QCOMPARE(result->rewritten, (QList<int>{3, 22}));
        QCOMPARE(progress, (QList<QPair<int, int>>{{1, 3}, {2, 3}, {3, 3}}));
        QVERIFY(rig.gw.PollTimer().isActive());
        QCOMPARE(rig.nextRead(), 0);
        QVERIFY(!rig.gw.ImportRunning());
    }

    // The first write that the gateway does not confirm ends the import: nothing more is sent,
    // and the result says which channel stopped it and how far the rewrite got.
    void importStopsAtTheFirstWriteNotConfirmed_data()
    {
        QTest::addColumn<int>("failingFrame"); // 0: the first channel's free, 1 its ROM code...
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("rewritten");
        QTest::addColumn<bool>("atFree");
        using R = TTarvikKomunikator::ImportResult;
        QTest::newRow("free refused") << 2 << "exception" << int(R::Refused) << 1 << true;
        QTest::newRow("ROM code refused") << 3 << "exception" << int(R::Refused) << 1 << false;
        QTest::newRow("ROM code unanswered") << 3 << "silence" << int(R::NoAnswer) << 1 << false;
        QTest::newRow("ROM code answered by another slave") << 1 << "foreign" << int(R::NoAnswer) << 0 << false;
        QTest::newRow("port gone") << 2 << "port" << int(R::PortLost) << 1 << true;
    }
    void importStopsAtTheFirstWriteNotConfirmed()
    {
        QFETCH(int, failingFrame);
        QFETCH(QString, fault);
        QFETCH(int, status);
        QFETCH(int, rewritten);
        QFETCH(bool, atFree);
        Rig rig;
        QList<TChannelRecord> records(40);
        for (int i = 0; i < 40; ++i) {
            records[i].channel = uint8_t(i + 1);
            records[i].rom = {0x2800, 0, 0, uint16_t(i)};
        }
        std::optional<TTarvikKomunikator::ImportResult> result;
        rig.gw.ImportRomCodes(records, {}, [&](const TTarvikKomunikator::ImportResult &r) { result = r; });
        for (int frame = 0; frame < 10 && !result; ++frame) {
            const QByteArray sent = rig.line->takeWritten();
            QVERIFY(!sent.isEmpty());
            QByteArray answer = uint8_t(sent[1]) == 0x06 ? sent : withCrc(sent.left(6));
            if (frame == failingFrame) {
                if (fault == QLatin1String("exception"))
                    answer = withCrc(QByteArray(1, sent[0]) + char(uint8_t(sent[1]) | 0x80) + char(4));
                else if (fault == QLatin1String("foreign"))
                    answer = withCrc(QByteArray(1, char(2)) + answer.mid(1, 5));
                else
                    answer.clear();
                if (fault == QLatin1String("port"))
                    rig.gw.Close();
            }
            rig.line->inject(answer);
            rig.gw.importStep();
        }
        QVERIFY(result);
        QCOMPARE(int(result->status), status);
        QCOMPARE(result->confirmed, rewritten);
        QCOMPARE(result->failedChannel, failingFrame / 2 + 1);
        QCOMPARE(result->failedAtFree, atFree);
        QCOMPARE(result->exceptionCode, uint8_t(fault == QLatin1String("exception") ? 4 : 0));
        QVERIFY(rig.line->takeWritten().isEmpty());
        QVERIFY(!rig.gw.ImportRunning());
        // Polling goes on wherever the port does: its blocks show what the gateway holds.
        QCOMPARE(rig.gw.PollTimer().isActive(), fault != QLatin1String("port"));
    }

    // A gateway that does not answer would get none of the writes: the import does not start,
    // sends nothing and leaves the poll cycle running.
    void importDoesNotStartWhileTheLinkIsInTimeout()
    {
        Rig rig;
        rig.gw.ReadBlock(0);
        rig.gw.ReadBlock(0); // the first went unanswered
        QVERIFY(rig.gw.Counters().TimedOut());
        rig.line->takeWritten();
        rig.gw.PollTimer().start();
        TChannelRecord record;
        record.channel = 3;
        std::optional<TTarvikKomunikator::ImportResult> result;
        rig.gw.ImportRomCodes({record}, {}, [&](const TTarvikKomunikator::ImportResult &r) { result = r; });
        QVERIFY(result);
        QCOMPARE(result->status, TTarvikKomunikator::ImportResult::InTimeout);
        QVERIFY(rig.line->takeWritten().isEmpty());
        QVERIFY(rig.gw.PollTimer().isActive());
        QVERIFY(!rig.gw.ImportRunning());
    }
};

QTEST_GUILESS_MAIN(tst_TarvikOperations)
#include "tst_TarvikOperations.moc"
