// Several simulated gateways on one in-memory line: each address answered by its own gateway
// alone, nobody answering for an address not on the bus, a broadcast write reaching all, a
// silent or stalled gateway leaving the others alone, one gateway reached over two lines.
#include "FrameBytes.h"
#include "GatewayBus.h"
#include "MemoryGatewayLine.h"
#include "ModbusCrc.h"

#include <QTest>

namespace {

struct BusRig
{
    MemoryTransport tool;
    GatewayBus bus;
    QByteArray received;

    // Gateways at 1, 2 and 3 holding the demo population's variants 0, 2 and 3.
    explicit BusRig(bool echo = false)
        : bus(std::make_unique<MemoryGatewayLine>(&tool))
    {
        tool.open(QStringLiteral("tool"));
        tool.applySettings(LineSettings{9600, TParity::paNone, TStopBits::sbOne});
        for (uint8_t a = 1; a <= 3; ++a)
            bus.addGateway({.address = a, .paced = false, .clock = false, .echo = echo})
                ->model()
                .loadDemoPopulation(a == 1 ? 0 : a);
        QObject::connect(&tool, &SerialTransport::dataArrived, [this] {
            QByteArray bytes(int(tool.bytesWaiting()), '\0');
            tool.read(bytes.data(), bytes.size());
            received.append(bytes);
        });
    }
    // Sends a request and returns what came back within ms.
    QByteArray ask(const QByteArray &request, int expected, int ms = 1000)
    {
        received.clear();
        tool.write(request.constData(), request.size());
        (void)QTest::qWaitFor([&] { return received.size() >= expected; }, ms);
        QTest::qWait(20); // anything more behind it
        return std::exchange(received, {});
    }
};

// A read of count registers from start at address a.
QByteArray read(uint8_t a, uint16_t start, uint16_t count)
{
    const char body[]
        = {char(a), 0x03, char(start >> 8), char(start), char(count >> 8), char(count)};
    return ModbusCrc::appended(QByteArray(body, 6));
}

QList<uint16_t> registersOf(const QByteArray &answer)
{
    QList<uint16_t> regs;
    for (int i = 3; i + 1 < answer.size() - 2; i += 2)
        regs.append(uint16_t(uint8_t(answer[i]) << 8 | uint8_t(answer[i + 1])));
    return regs;
}

} // namespace

class tst_GatewayBus : public QObject
{
    Q_OBJECT
private slots:
    void addressesAreRefusedOutsideTheRangeAndTwice()
    {
        BusRig rig;
        QVERIFY(!rig.bus.addGateway({.address = 2}));
        QVERIFY(!rig.bus.addGateway({.address = 0}));
        QVERIFY(!rig.bus.addGateway({.address = 248}));
        QVERIFY(rig.bus.addGateway({.address = 247}));
        QCOMPARE(rig.bus.gateways().size(), 4);
        QCOMPARE(rig.bus.gateway(3)->options().address, uint8_t(3));
        QCOMPARE(rig.bus.gateway(4), nullptr);
    }

    // The line echoes a request once however many gateways hear it.
    void eachAddressIsAnsweredByItsOwnGatewayAlone_data()
    {
        QTest::addColumn<bool>("echo");
        QTest::newRow("plain") << false;
        QTest::newRow("echoing line") << true;
    }
    void eachAddressIsAnsweredByItsOwnGatewayAlone()
    {
        QFETCH(bool, echo);
        BusRig rig(echo);
        QSet<QList<uint16_t>> roms;
        for (uint8_t a : {2, 1, 3}) {
            GatewayModel &model = rig.bus.gateway(a)->model();
            // The service block's first registers: firmware version, then the gateway's address.
            const QByteArray service = read(a, 1000, 2);
            QCOMPARE(rig.ask(service, 9 + (echo ? 8 : 0)),
                (echo ? service : QByteArray()) + readAnswer(a, {109, a}));
            const QByteArray rom = rig.ask(read(a, 0, 4), 13 + (echo ? 8 : 0)).mid(echo ? 8 : 0);
            QList<uint16_t> expected;
            model.read(0, 4, expected);
            QCOMPARE(rom, readAnswer(a, expected));
            roms.insert(registersOf(rom));
        }
        QCOMPARE(roms.size(), 3); // three populations, three ROM codes in channel 1
        QCOMPARE(rig.bus.gateway(2)->stats().answered, 2);
        QCOMPARE(rig.bus.gateway(2)->stats().frames, 6);
    }

    void anAddressNotOnTheBusAndABroadcastReadGetNoAnswer()
    {
        BusRig rig;
        QCOMPARE(rig.ask(read(4, 1000, 1), 1, 100), QByteArray());
        QCOMPARE(rig.ask(read(0, 1000, 1), 1, 100), QByteArray());
        // A broadcast write changes every gateway and is answered by none.
        QCOMPARE(rig.ask(withCrc(hexBytes("00 06 04 1F 00 03")), 1, 100), QByteArray());
        for (GatewaySimulator *g : rig.bus.gateways())
            QCOMPARE(g->model().reg(1055), uint16_t(3));
        // The line is in step afterwards.
        QCOMPARE(rig.ask(read(3, 1001, 1), 7), readAnswer(3, {3}));
    }

    void aSilentGatewayAnswersNothingAndTheOthersGoOn()
    {
        BusRig rig;
        GatewaySimulator *silent = rig.bus.gateway(2);
        silent->setSilent(true);
        QCOMPARE(rig.ask(read(2, 1001, 1), 1, 150), QByteArray());
        QCOMPARE(rig.ask(withCrc(hexBytes("02 06 04 1F 00 03")), 1, 150), QByteArray());
        QCOMPARE(silent->model().reg(1055), uint16_t(1)); // the write was not carried out
        QCOMPARE(rig.ask(read(1, 1001, 1), 7), readAnswer(1, {1}));
        QCOMPARE(rig.ask(read(3, 1001, 1), 7), readAnswer(3, {3}));
        QCOMPARE(silent->stats().frames, 4);
        QCOMPARE(silent->stats().answered, 0);
        silent->setSilent(false);
        QCOMPARE(rig.ask(read(2, 1001, 1), 7), readAnswer(2, {2}));
    }

    // A stall holds one gateway's requests, not the line: the others answer meanwhile, and the
    // stalled one answers its own when it ends.
    void aStalledGatewayHoldsUpOnlyItsOwnAnswers()
    {
        BusRig rig;
        rig.bus.gateway(1)->stall(500);
        QCOMPARE(rig.ask(read(1, 1001, 1), 1, 100), QByteArray());
        QCOMPARE(rig.ask(read(2, 1001, 1), 7), readAnswer(2, {2}));
        QVERIFY(QTest::qWaitFor([&] { return rig.received.size() >= 7; }, 1000));
        QCOMPARE(rig.received, readAnswer(1, {1}));
    }

    // The same gateway on two lines: a write through one is read back through the other.
    void aGatewayOnTwoLinesSharesItsRegisters()
    {
        BusRig rig;
        MemoryTransport otherTool;
        otherTool.open(QStringLiteral("other"));
        otherTool.applySettings(LineSettings{9600, TParity::paNone, TStopBits::sbOne});
        GatewayBus other(std::make_unique<MemoryGatewayLine>(&otherTool));
        GatewaySimulator *twin = other.addGateway(
            {.address = 2, .paced = false, .clock = false}, rig.bus.gateway(2)->sharedModel());
        QCOMPARE(&twin->model(), &rig.bus.gateway(2)->model());
        const QByteArray write = withCrc(hexBytes("02 06 04 1F 00 04"));
        otherTool.write(write.constData(), write.size());
        QVERIFY(QTest::qWaitFor([&] { return twin->stats().answered == 1; }, 1000));
        QCOMPARE(rig.ask(read(2, 1055, 1), 7), readAnswer(2, {4}));
    }
};

QTEST_GUILESS_MAIN(tst_GatewayBus)
#include "tst_GatewayBus.moc"
