// Requests and answers of the Modbus master on an in-memory line: what is accepted, what is
// rejected and counted, and what never reaches the receiver, with noise and echoes around it.
#include "AnswerMatcher.h"
#include "CrcCollision.h"
#include "FrameBytes.h"
#include "MemoryTransport.h"
#include "ModbusCrc.h"
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
    // Sends a read of channel block 0 and returns the request bytes.
    QByteArray request()
    {
        master.ReadBlock(0);
        return line->takeWritten();
    }
    // The next request goes out: an answer taken whole is passed on then, if nothing followed.
    void next()
    {
        master.ReadBlock(100);
        line->takeWritten();
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
        QCOMPARE(rig.request(), hexBytes("01 03 00 00 00 64 44 21"));
        const QByteArray answer = readAnswer(1, numberedRegisters());
        QCOMPARE(answer.size(), 205);
        rig.line->inject(answer);
        QCOMPARE(rig.blocks, 0);
        rig.next();

        QCOMPARE(rig.blocks, 1);
        QCOMPARE(rig.master.GetRegister(0), uint16_t(uint8_t(answer[3]) << 8 | uint8_t(answer[4])));
        QCOMPARE(rig.master.GetRegister(99),
                 uint16_t(uint8_t(answer[201]) << 8 | uint8_t(answer[202])));
        std::array<uint16_t, 100> regs{};
        rig.master.GetRegisters(regs);
        QCOMPARE(regs[0], uint16_t(0x0011));
        QCOMPARE(regs[57], uint16_t(0x3911));
        QCOMPARE(rig.master.Counters().Snapshot(), (TCounterSnapshot{1, 2, 0, false}));
    }

    // Noise before the answer (a badly biased line, a USB adapter's stray byte) or the request
    // echoed by a two-wire adapter: the answer is found behind it, whatever pieces it comes in.
    // Noise counts one error; an echo is the adapter's doing and counts nothing.
    void answerIsFoundBehindNoiseAndEcho_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<int>("pieceSize");
        QTest::addColumn<int>("errors");
        const QByteArray answer = readAnswer(1, numberedRegisters());
        const QByteArray echo = hexBytes("01 03 00 00 00 64 44 21");
        // Chosen so that the first 205 bytes end in a right CRC: length and CRC alone would take
        // them for the answer, shifted by two bytes.
        const QByteArray collision = CrcCollision::noiseBefore(answer, 205, QByteArray());
        QVERIFY(ModbusCrc::endsWithValidCrc((collision + answer).left(205)));
        QTest::newRow("nothing before, one piece") << QByteArray() << 1000 << 0;
        QTest::newRow("nothing before, 70-byte pieces") << QByteArray() << 70 << 0;
        QTest::newRow("one noise byte") << hexBytes("FF") << 1000 << 1;
        QTest::newRow("three noise bytes, byte by byte") << hexBytes("00 FE 55") << 1 << 1;
        QTest::newRow("noise like the answer's head") << hexBytes("01 03") << 64 << 1;
        QTest::newRow("noise with a CRC collision") << collision << 1000 << 1;
        QTest::newRow("noise with a CRC collision, in pieces") << collision << 13 << 1;
        QTest::newRow("request echoed") << echo << 1000 << 0;
        QTest::newRow("request echoed, then noise") << echo + hexBytes("00") << 7 << 1;
    }
    void answerIsFoundBehindNoiseAndEcho()
    {
        QFETCH(QByteArray, before);
        QFETCH(int, pieceSize);
        QFETCH(int, errors);
        Rig rig;
        rig.request();
        const QByteArray answer = readAnswer(1, numberedRegisters());
        QByteArrayList reported;
        rig.master.OnRxFrame = [&](const TFrameBuffer &f) { reported.append(QByteArray(reinterpret_cast<const char *>(f.Data), f.Len)); };
        const QByteArray line = before + answer;
        for (qsizetype at = 0; at < line.size(); at += pieceSize)
            rig.line->inject(line.mid(at, pieceSize));
        const QByteArrayList beforeNext = reported;
        rig.next();

        QCOMPARE(rig.blocks, 1);
        std::array<uint16_t, 100> regs{};
        rig.master.GetRegisters(regs);
        QCOMPARE(QList<uint16_t>(regs.begin(), regs.end()), numberedRegisters());
        QCOMPARE(rig.master.Counters().Snapshot(), (TCounterSnapshot{1, 2, errors, false}));
        reported = beforeNext;
        // The traffic shows what came before the answer apart from the answer itself.
        QCOMPARE(reported.join(), line);
        QCOMPARE(reported.last(), answer);
        QCOMPARE(rig.master.LineEchoes(), before.startsWith(hexBytes("01 03 00 00")));
    }

    // Only this gateway's answer to this request is data; anything else with a right CRC, or an
    // answer with a wrong one, is one error and never reaches the receiver.
    void answersThatAreNotThisRequestsAreRefused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        // Bytes shorter than an answer that never began one are no answer: a timeout.
        QTest::addColumn<bool>("timedOut");
        const QByteArray answer = readAnswer(1, numberedRegisters());
        auto flipped = [&](int at, int bit) {
            QByteArray b = answer;
            b[at] = char(b[at] ^ (1 << bit));
            return b;
        };
        QByteArray otherFunction = answer.left(203);
        otherFunction[1] = char(0x04);
        QTest::newRow("another address") << readAnswer(2, numberedRegisters()) << false;
        QTest::newRow("another function") << withCrc(otherFunction) << false;
        QTest::newRow("another byte count") << readAnswer(1, numberedRegisters().mid(0, 99)) << true;
        QTest::newRow("exception") << withCrc(hexBytes("01 83 02")) << false;
        QTest::newRow("exception from another address") << withCrc(hexBytes("02 83 02")) << true;
        QTest::newRow("flipped bit in the address") << flipped(0, 0) << false;
        QTest::newRow("flipped bit in the byte count") << flipped(2, 3) << false;
        QTest::newRow("flipped bit in register 0") << flipped(3, 7) << false;
        QTest::newRow("flipped bit in register 99") << flipped(202, 1) << false;
        QTest::newRow("flipped bit in the CRC") << flipped(204, 6) << false;
        QTest::newRow("cut short") << answer.left(150) << false;
        QTest::newRow("more noise than a frame holds") << QByteArray(700, '\x55') << false;
    }
    void answersThatAreNotThisRequestsAreRefused()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, timedOut);
        Rig rig;
        rig.request();
        rig.line->inject(bytes);
        // Whatever was not settled at once has failed by the time the next request goes out:
        // as a broken answer, or after a pause as no answer at all.
        for (int tick = 0; tick < 3 && rig.line->takeWritten().isEmpty(); ++tick)
            rig.master.PollTimerTick();
        QCOMPARE(rig.blocks, 0);
        QCOMPARE(rig.master.Counters().Snapshot(), (TCounterSnapshot{0, 2, 1, timedOut}));
    }

    // An answer is passed on only when nothing follows it before the next request: bytes behind
    // it may be the next of a queue of late answers. It counts as one failed answer, and the
    // next request asks for the same block again once the line is quiet.
    void bytesBehindAnAnswerPutItInDoubt_data()
    {
        QTest::addColumn<QByteArray>("together");
        QTest::addColumn<QByteArray>("later");
        const QByteArray answer = readAnswer(1, numberedRegisters());
        QTest::newRow("two bytes right behind") << answer + hexBytes("00 55") << QByteArray();
        QTest::newRow("a second answer behind") << answer + answer << QByteArray();
        QTest::newRow("one byte before the next request") << answer << hexBytes("00");
        QTest::newRow("another block's answer later") << answer << readAnswer(1, QList<uint16_t>(100, 7));
    }
    void bytesBehindAnAnswerPutItInDoubt()
    {
        QFETCH(QByteArray, together);
        QFETCH(QByteArray, later);
        Rig rig;
        rig.request();
        rig.line->inject(together);
        if (!later.isEmpty())
            rig.line->inject(later);
        QCOMPARE(rig.master.DoubtfulAnswers(), 1);
        QVERIFY(rig.master.RepeatsBlock());
        QVERIFY(rig.master.QuietWaitMs() > 0);
        rig.next();
        QCOMPARE(rig.blocks, 0);
        QCOMPARE(rig.master.Counters().Snapshot(), (TCounterSnapshot{0, 2, 1, false}));
    }

    // Err keeps its one number; beside it each error is counted by its kind, and the kinds add
    // up to Err: a read without an answer, one with a wrong CRC, a refusal, another address's
    // answer, and a noise byte before a good answer.
    void errorsAreToldApartByKind()
    {
        Rig rig;
        rig.request(); // left unanswered: a timeout when the next goes out
        rig.request();
        QByteArray broken = readAnswer(1, numberedRegisters());
        broken[204] = char(broken[204] ^ 0x40);
        rig.line->inject(broken);
        rig.request();
        rig.line->inject(withCrc(hexBytes("01 83 02")));
        rig.request();
        rig.line->inject(readAnswer(2, numberedRegisters()));
        rig.request();
        rig.line->inject(hexBytes("FF") + readAnswer(1, numberedRegisters()));
        rig.next();

        const TPocitadlo &c = rig.master.Counters();
        QCOMPARE(c.Snapshot(), (TCounterSnapshot{1, 6, 5, false}));
        QCOMPARE(c.Errors().counts, (std::array<int32_t, 5>{1, 1, 1, 1, 1}));
        QCOMPARE(c.Errors().total(), c.Err());
        QCOMPARE(c.Errors().summary(),
                 QStringLiteral("Err = 5: 1 timeout, 1 CRC error, 1 exception, 1 foreign answer, 1 noise"));
        QCOMPARE(c.Errors().toolTip().split(QLatin1Char('\n')).mid(1),
                 (QStringList{"Timeouts: 1", "CRC errors: 1", "Exceptions: 1", "Foreign answers: 1", "Noise: 1"}));
        rig.master.Counters().Reset();
        QCOMPARE(rig.master.Counters().Errors().total(), 0);
    }

    // A write's answer repeats its register and value (06) or register and count (16).
    void writeAnswersMustRepeatTheRequest_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<bool>("lineEchoes");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("verdict");
        QTest::addColumn<int>("offset");
        const QByteArray single = withCrc(hexBytes("01 06 03 F2 05 FF"));
        const QByteArray multiple = withCrc(hexBytes("01 10 00 0A 00 02 04 00 00 00 00"));
        const QByteArray multipleAnswer = withCrc(hexBytes("01 10 00 0A 00 02"));
        using V = AnswerMatcher::Verdict;
        QTest::newRow("06 answered") << single << false << single << int(V::Answer) << 0;
        QTest::newRow("06 another value") << single << false << withCrc(hexBytes("01 06 03 F2 05 FE")) << int(V::Waiting) << 0;
        QTest::newRow("06 refused") << single << false << withCrc(hexBytes("01 86 03")) << int(V::Exception) << 0;
        QTest::newRow("06 echo only") << single << true << single << int(V::Waiting) << 0;
        QTest::newRow("06 echo, answer") << single << true << single + single << int(V::Answer) << 8;
        QTest::newRow("16 answered") << multiple << false << multipleAnswer << int(V::Answer) << 0;
        QTest::newRow("16 echo, answer") << multiple << false << multiple + multipleAnswer << int(V::Answer) << 13;
        QTest::newRow("16 another count") << multiple << false << withCrc(hexBytes("01 10 00 0A 00 03")) << int(V::Waiting) << 0;
        QTest::newRow("16 from another address") << multiple << false << withCrc(hexBytes("09 10 00 0A 00 02")) << int(V::Foreign) << 0;
    }
    void writeAnswersMustRepeatTheRequest()
    {
        QFETCH(QByteArray, request);
        QFETCH(bool, lineEchoes);
        QFETCH(QByteArray, bytes);
        QFETCH(int, verdict);
        QFETCH(int, offset);
        AnswerMatcher expected(request);
        expected.setLineEchoes(lineEchoes);
        const AnswerMatcher::Match match = expected.find(bytes);
        QCOMPARE(int(match.verdict), verdict);
        if (match.verdict != AnswerMatcher::Verdict::Waiting)
            QCOMPARE(match.offset, offset);
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

    // A read of the caller's own (125 registers, more than a frame buffer) is taken by the
    // blocks' rules: only its own whole answer within its time and with nothing behind it by
    // the next request; it is never passed on as a block.
    void ownReadIsTakenByTheBlocksRules_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("late");
        QTest::addColumn<int>("outcome");
        QList<uint16_t> registers;
        for (int i = 0; i < 125; ++i)
            registers.append(uint16_t(0x8000 + i));
        const QByteArray answer = readAnswer(1, registers);
        QByteArray broken = answer;
        broken[100] = char(broken[100] ^ 0x01);
        using O = TModbusKomunikator::RequestOutcome;
        QTest::newRow("answer") << answer << false << int(O::Confirmed);
        QTest::newRow("behind noise") << hexBytes("FF 00") + answer << false << int(O::Confirmed);
        QTest::newRow("followed by a byte") << answer + hexBytes("00") << false << int(O::Lost);
        QTest::newRow("after its time") << answer << true << int(O::Lost);
        QTest::newRow("another slave's") << readAnswer(2, registers) << false << int(O::Lost);
        QTest::newRow("CRC broken") << broken << false << int(O::Lost);
        QTest::newRow("exception") << ModbusCrc::appended(hexBytes("01 83 02")) << false << int(O::Refused);
    }
    void ownReadIsTakenByTheBlocksRules()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, late);
        QFETCH(int, outcome);
        Rig rig;
        qint64 now = 0;
        rig.master.setClock([&now] { return now; });
        rig.master.ReadRegisters(1000, 125);
        QCOMPARE(rig.line->takeWritten(), ModbusCrc::appended(hexBytes("01 03 03 E8 00 7D")));
        if (late)
            now += rig.master.AnswerTimeoutMs() + 1;
        rig.line->inject(bytes);
        if (outcome == int(TModbusKomunikator::RequestOutcome::Confirmed))
            QCOMPARE(int(rig.master.LastRequestAnswer().outcome), int(TModbusKomunikator::RequestOutcome::Pending));
        rig.next();
        const TModbusKomunikator::RequestAnswer answer = rig.master.LastRequestAnswer();
        QCOMPARE(int(answer.outcome), outcome);
        QCOMPARE(answer.registers.size(), outcome == int(TModbusKomunikator::RequestOutcome::Confirmed) ? 125 : 0);
        if (!answer.registers.isEmpty())
            QCOMPARE(answer.registers.last(), uint16_t(0x807C));
        if (answer.outcome == TModbusKomunikator::RequestOutcome::Refused)
            QCOMPARE(answer.exceptionCode, uint8_t(2));
        QCOMPARE(rig.blocks, 0);
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
