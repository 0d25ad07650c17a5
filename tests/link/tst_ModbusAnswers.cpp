// Requests and answers of the Modbus master on an in-memory line: what is accepted, what is
// rejected and counted, and what never reaches the receiver.
#include "FrameBytes.h"
#include "MemoryTransport.h"
#include "ScriptedPrompts.h"
#include "TModbusKomunikator.h"

#include <QTest>

namespace {

QList<uint16_t> numberedRegisters()
{
    QList<uint16_t> regs;
    for (int i = 0; i < 100; ++i)
        regs.append(uint16_t(0x0100 * i + 0x11));
    return regs;
}

struct Rig
{
    MemoryTransport *line = new MemoryTransport;
    TAfComPort port{std::unique_ptr<SerialTransport>(line)};
    TModbusKomunikator master{&port};
    int blocks = 0;

    Rig()
    {
        port.setObjectName(QStringLiteral("AfComPort1"));
        master.OnBlockReceived = [this] { ++blocks; };
        master.Open(QStringLiteral("memory"));
        master.PollTimer().stop(); // the tests drive the cycle themselves
    }
    // Sends a read of the service block and returns the request bytes.
    QByteArray request()
    {
        master.ReadBlock(1000);
        return line->takeWritten();
    }
};

} // namespace

class tst_ModbusAnswers : public QObject
{
    Q_OBJECT
private slots:
    void goodAnswerYieldsItsRegisters()
    {
        Rig rig;
        QCOMPARE(rig.request(), hexBytes("01 03 03 E8 00 64 C4 51"));
        const QByteArray answer = readAnswer(1, numberedRegisters());
        QCOMPARE(answer.size(), 205);
        rig.line->inject(answer);

        QCOMPARE(rig.blocks, 1);
        QCOMPARE(rig.master.GetRegister(0), uint16_t(uint8_t(answer[3]) << 8 | uint8_t(answer[4])));
        QCOMPARE(rig.master.GetRegister(99),
                 uint16_t(uint8_t(answer[201]) << 8 | uint8_t(answer[202])));
        std::array<uint16_t, 100> regs{};
        rig.master.GetRegisters(regs);
        QCOMPARE(regs[0], uint16_t(0x0011));
        QCOMPARE(regs[57], uint16_t(0x3911));
        QCOMPARE(rig.master.Counters().Snapshot(), (TCounterSnapshot{1, 1, 0, false}));
    }

    void flippedBitIsRejectedAndCounted_data()
    {
        QTest::addColumn<int>("byteIndex");
        QTest::addColumn<int>("bit");
        QTest::newRow("address") << 0 << 0;
        QTest::newRow("byte count") << 2 << 3;
        QTest::newRow("register 0") << 3 << 7;
        QTest::newRow("register 99") << 202 << 1;
        QTest::newRow("crc low") << 203 << 4;
        QTest::newRow("crc high") << 204 << 6;
    }
    void flippedBitIsRejectedAndCounted()
    {
        QFETCH(int, byteIndex);
        QFETCH(int, bit);
        Rig rig;
        rig.request();
        QByteArray answer = readAnswer(1, numberedRegisters());
        answer[byteIndex] = char(answer[byteIndex] ^ (1 << bit));
        rig.line->inject(answer);
        QCOMPARE(rig.blocks, 0);
        QCOMPARE(rig.master.Counters().Snapshot(), (TCounterSnapshot{0, 1, 1, false}));
    }

    void trailingBytesAfterAGoodAnswerAreRejected_data()
    {
        QTest::addColumn<QByteArray>("extra");
        // A trailing zero byte leaves the last two bytes a valid CRC of the bytes before them,
        // so only the length tells this answer is not the one asked for.
        QTest::newRow("zero byte") << QByteArray(1, '\0');
        QTest::newRow("other byte") << QByteArray(1, '\x55');
        QTest::newRow("two bytes") << QByteArray(2, '\0');
    }
    void trailingBytesAfterAGoodAnswerAreRejected()
    {
        QFETCH(QByteArray, extra);
        Rig rig;
        rig.request();
        rig.line->inject(readAnswer(1, numberedRegisters()) + extra);
        QCOMPARE(rig.blocks, 0);
        QCOMPARE(rig.master.Counters().Err(), 1);
    }

    void answerFromAnotherAddressOrFunctionIsAcceptedOnItsCrc()
    {
        Rig rig;
        rig.request();
        QByteArray body = readAnswer(7, numberedRegisters()).left(203);
        body[1] = char(0x04);
        rig.line->inject(withCrc(body));
        QCOMPARE(rig.blocks, 1);
        QCOMPARE(rig.master.GetRegister(1), uint16_t(0x0111));
    }

    void answerInTwoPartsIsReadOnlyWhenComplete()
    {
        Rig rig;
        rig.request();
        const QByteArray answer = readAnswer(1, numberedRegisters());
        int reads = 0;
        rig.master.OnRxFrame = [&](const TFrameBuffer &) { ++reads; };
        rig.line->inject(answer.left(120));
        QCOMPARE(reads, 0);
        QCOMPARE(rig.port.bytesWaiting(), 120);
        rig.line->inject(answer.mid(120));
        QCOMPARE(reads, 1);
        QCOMPARE(rig.blocks, 1);
        QCOMPARE(rig.master.RxFrame().Len, uint8_t(205));
    }

    void moreBytesThanAFrameHoldsAreCutNotOverrun()
    {
        Rig rig;
        rig.request();
        rig.line->inject(QByteArray(300, '\x55'));
        // The frame keeps its length byte intact and the surplus is gone from the port.
        QCOMPARE(rig.master.RxFrame().Len, uint8_t(TFrameBuffer::Capacity));
        QCOMPARE(rig.port.bytesWaiting(), 0);
        QCOMPARE(rig.blocks, 0);
        QCOMPARE(rig.master.Counters().Err(), 1);
    }

    void shortAnswerIsNeitherReadNorCounted()
    {
        Rig rig;
        rig.request();
        rig.line->inject(withCrc(hexBytes("01 83 02"))); // an exception answer
        QCOMPARE(rig.master.Counters().Snapshot(), (TCounterSnapshot{0, 1, 0, false}));
        QCOMPARE(rig.blocks, 0);
    }

    void writeRegistersOnAClosedPortSaysSoAndSendsNothing()
    {
        ScriptedPrompts prompts;
        Rig rig;
        rig.master.Close();
        rig.master.WriteRegisters({0, 0, 0, 0}, 10);
        QCOMPARE(prompts.texts(ScriptedPrompts::Kind::Information),
                 QStringList{QStringLiteral("Communication port is inactive.")});
        QVERIFY(rig.line->takeWritten().isEmpty());
    }

    void writeRegistersFillsAtMostOneFrame()
    {
        Rig rig;
        rig.master.WriteRegisters(QList<uint16_t>(121, 0xABCD), 0);
        const QByteArray frame = rig.line->takeWritten();
        QCOMPARE(frame.size(), 251);
        QCOMPARE(uint8_t(frame[5]), uint8_t(121));
        QCOMPARE(uint8_t(frame[6]), uint8_t(242));
        QVERIFY_THROWS_EXCEPTION(std::length_error,
                                 rig.master.WriteRegisters(QList<uint16_t>(122, 0), 0));
        QVERIFY_THROWS_EXCEPTION(std::length_error, rig.master.WriteRegisters({}, 0));
        QVERIFY(rig.line->takeWritten().isEmpty());
    }

    void writeRegisterIsHeldBackWhileTheLinkIsInTimeout()
    {
        Rig rig;
        rig.master.ReadBlock(0);
        rig.master.ReadBlock(0); // the first went unanswered
        QVERIFY(rig.master.Counters().TimedOut());
        rig.line->takeWritten();
        rig.master.WriteRegister(0x05FF, 1010);
        QVERIFY(rig.line->takeWritten().isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_ModbusAnswers)
#include "tst_ModbusAnswers.moc"
