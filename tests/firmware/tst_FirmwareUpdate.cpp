// The firmware update protocol driven tick by tick against an in-memory line: which frames go
// out, byte for byte, in which order, and what happens when answers are lost, refused, late or
// followed by more bytes. Each tick counts as one timer interval, so the answers' times and the
// quiet line are the ticks' sums, not the wall clock.
#include "FirmwareUpdate.h"
#include "FrameBytes.h"
#include "MemoryTransport.h"
#include "TAfComPort.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

enum class Answer {
    Echo, Drop, Exception, Foreign, OtherCount, NoiseFirst, RequestFirst, Held, Trailing, TrailingApart, OutOfRange
};

struct Rig
{
    QTemporaryDir dir;
    MemoryTransport *line = new MemoryTransport;
    TAfComPort port{std::unique_ptr<SerialTransport>(line)};
    FirmwareUpdate update{port};
    QList<QByteArray> sent; // every frame, in order
    QStringList statuses;
    bool done = false;
    QString gaveUp;
    uint16_t answerDelay = 0; // what the gateway's read answers say
    QList<QByteArray> held;   // answers kept back (Held), for the test to deliver

    Rig()
    {
        port.setPortName(QStringLiteral("memory"));
        port.open();
        update.OnStatus = [this](const QString &text, FirmwareUpdate::Colour) { statuses.append(text); };
        update.OnDone = [this] { done = true; };
        update.OnGaveUp = [this](const QString &why) { gaveUp = why; };
        update.ResetCounters();
    }
    QString loadImage(const QByteArray &bytes)
    {
        const QString path = dir.filePath(QStringLiteral("image.bin"));
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        f.close();
        if (update.Image().load(path) != FirmwareImage::LoadResult::Ok)
            qFatal("the test image did not load");
        return path;
    }
    // The answer a gateway gives to a frame: a read answer with version 109, or the echo of a
    // write's first six bytes, or an exception 04.
    // Foreign: the right answer from another address; OtherCount: a write's answer with another
    // register count; NoiseFirst and RequestFirst: the right answer behind line noise or the
    // request's echo; Trailing (and TrailingApart): the right answer with a byte behind it;
    // OutOfRange: a read answer whose port settings no gateway holds; Held: the right answer,
    // kept back in held for the test to deliver.
    QByteArray answerTo(const QByteArray &frame, Answer how) const
    {
        switch (how) {
        case Answer::Drop:
            return {};
        case Answer::Exception:
            return withCrc(QByteArray(1, frame[0]) + char(uint8_t(frame[1]) | 0x80) + char(4));
        case Answer::Foreign: {
            QByteArray body = answerTo(frame, Answer::Echo).chopped(2);
            body[0] = char(uint8_t(body[0]) + 1);
            return withCrc(body);
        }
        case Answer::OtherCount:
            return uint8_t(frame[1]) == 0x03 ? answerTo(frame, Answer::Echo)
                                             : withCrc(frame.left(5) + char(uint8_t(frame[5]) + 1));
        case Answer::NoiseFirst:
            return hexBytes("00 FF 01") + answerTo(frame, Answer::Echo);
        case Answer::RequestFirst:
            return frame + answerTo(frame, Answer::Echo);
        case Answer::Trailing:
            return answerTo(frame, Answer::Echo) + '\0';
        case Answer::OutOfRange:
            return readAnswer(uint8_t(frame[0]), QList<uint16_t>(120, 0));
        default:
            break;
        }
        if (uint8_t(frame[1]) == 0x03) {
            QList<uint16_t> regs = serviceRegisters(answerDelay);
            regs.resize(120);
            regs[0] = 109;
            return readAnswer(uint8_t(frame[0]), regs);
        }
        return withCrc(frame.left(6));
    }
    // One tick; the frame it sent (if any) is recorded and answered as policy says.
    void tick(const std::function<Answer(const QByteArray &)> &policy)
    {
        update.Tick();
        const QByteArray frame = line->takeWritten();
        if (frame.isEmpty())
            return;
        sent.append(frame);
        const Answer how = policy(frame);
        const QByteArray answer = answerTo(frame, how == Answer::TrailingApart ? Answer::Echo : how);
        if (how == Answer::Held)
            held.append(answer);
        else if (!answer.isEmpty())
            line->inject(answer);
        if (how == Answer::TrailingApart)
            line->inject(QByteArray(1, '\0')); // the byte behind comes in a piece of its own
    }
    // Ticks until programming is done or given up (at most limit ticks).
    void run(const std::function<Answer(const QByteArray &)> &policy, int limit = 2000)
    {
        for (int i = 0; i < limit && !done && gaveUp.isEmpty(); ++i)
            tick(policy);
    }
    static Answer always(const QByteArray &) { return Answer::Echo; }
};

bool isData(const QByteArray &f) { return f.size() == 203; }
bool isErase(const QByteArray &f) { return f.size() == 11; }
bool isRead(const QByteArray &f) { return f.size() == 8 && uint8_t(f[1]) == 0x03; }
int offsetOf(const QByteArray &f) { return uint8_t(f[7]) << 8 | uint8_t(f[8]); }
int pageOf(const QByteArray &f) { return uint8_t(f[7]) << 8 | uint8_t(f[8]); }

} // namespace

class tst_FirmwareUpdate : public QObject
{
    Q_OBJECT
private slots:
    void framesAreExact()
    {
        Rig rig;
        rig.update.setSlaveAddress(1);
        QCOMPARE(rig.update.readFrame(), withCrc(hexBytes("01 03 03 E8 00 78")));
        QCOMPARE(rig.update.eraseFrame(32), withCrc(hexBytes("01 10 05 60 00 01 02 00 20")));
        rig.loadImage(QByteArray("\x12\x34\x56", 3));
        const QByteArray data = rig.update.dataFrame(192);
        QCOMPARE(data.size(), 203);
        QCOMPARE(data.left(9), hexBytes("01 10 05 5F 00 61 C2 00 C0"));
        QCOMPARE(rig.update.dataFrame(0).mid(9, 4), hexBytes("12 34 56 FF"));
        QCOMPARE(data, withCrc(data.left(201)));
        // The offset field carries the low 16 bits of the position.
        QCOMPARE(rig.update.dataFrame(65536 + 192).mid(7, 2), hexBytes("00 C0"));
    }

    void oneByteImageErasesEveryPageOnceThenSendsOneFrame()
    {
        Rig rig;
        const QString path = rig.loadImage(QByteArray(1, char(0xAB)));
        rig.tick(Rig::always); // idle polling
        rig.update.StartProgramming(path);
        rig.run(Rig::always);
        QVERIFY(rig.done);
        QList<int> pages;
        QList<QByteArray> data;
        for (const QByteArray &f : rig.sent) {
            if (isErase(f))
                pages.append(pageOf(f));
            if (isData(f))
                data.append(f);
        }
        QList<int> expected;
        for (int p = 32; p <= 62; ++p)
            expected.append(p);
        QCOMPARE(pages, expected);
        QCOMPARE(data.size(), 1);
        QCOMPARE(offsetOf(data[0]), 0);
        QCOMPARE(data[0].mid(9, 192), QByteArray(1, char(0xAB)) + QByteArray(191, char(0xFF)));
        QCOMPARE(rig.update.Step(), FirmwareUpdate::Idle);
    }

    void imageOfWholeChunksEndsWithAnErasedChunk()
    {
        Rig rig;
        QByteArray image(384, 0);
        for (int i = 0; i < image.size(); ++i)
            image[i] = char(i);
        rig.update.StartProgramming(rig.loadImage(image));
        rig.run(Rig::always);
        QList<int> offsets;
        for (const QByteArray &f : rig.sent)
            if (isData(f))
                offsets.append(offsetOf(f));
        QCOMPARE(offsets, (QList<int>{0, 192, 384}));
        QCOMPARE(rig.sent.last().mid(9, 192), QByteArray(192, char(0xFF)));
        QCOMPARE(rig.sent[rig.sent.size() - 2].mid(9, 192), image.mid(192));
    }

    void unconfirmedFrameGoesAgainAfterTheNextReadAnswer_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<QString>("status");
        QTest::newRow("lost answer") << int(Answer::Drop) << "Timeout";
        QTest::newRow("exception answer") << int(Answer::Exception) << "Gateway refused the frame (exception 4)";
        QTest::newRow("answer from another address") << int(Answer::Foreign) << "Timeout";
        QTest::newRow("answer with another register count") << int(Answer::OtherCount) << "Timeout";
    }
    void unconfirmedFrameGoesAgainAfterTheNextReadAnswer()
    {
        QFETCH(int, fault);
        QFETCH(QString, status);
        Rig rig;
        rig.update.StartProgramming(rig.loadImage(QByteArray(1000, char(0x5A))));
        bool spoiled = false;
        rig.run([&](const QByteArray &f) {
            if (isData(f) && offsetOf(f) == 576 && !spoiled) {
                spoiled = true;
                return Answer(fault);
            }
            return Answer::Echo;
        });
        QVERIFY(rig.done);
        int first = -1;
        for (int i = 0; i < rig.sent.size() && first < 0; ++i)
            if (isData(rig.sent[i]) && offsetOf(rig.sent[i]) == 576)
                first = i;
        QVERIFY(isRead(rig.sent[first + 1]));
        QVERIFY(isData(rig.sent[first + 2]));
        QCOMPARE(offsetOf(rig.sent[first + 2]), 576);
        QCOMPARE(offsetOf(rig.sent[first + 3]), 768);
        QVERIFY2(rig.statuses.contains(status), qPrintable(rig.statuses.join(QLatin1Char('/'))));
    }

    void answersBehindNoiseOrTheEchoConfirmTheirFrames_data()
    {
        QTest::addColumn<int>("how");
        QTest::newRow("noise first") << int(Answer::NoiseFirst);
        QTest::newRow("request echoed first") << int(Answer::RequestFirst);
    }
    void answersBehindNoiseOrTheEchoConfirmTheirFrames()
    {
        QFETCH(int, how);
        Rig rig;
        rig.update.StartProgramming(rig.loadImage(QByteArray(500, char(0x3C))));
        rig.run([&](const QByteArray &) { return Answer(how); });
        QVERIFY(rig.done);
        // A first read, 31 erase frames and 3 data frames, none sent twice.
        QCOMPARE(rig.sent.size(), 35);
        QCOMPARE(std::count_if(rig.sent.begin(), rig.sent.end(), isData), 3);
        QVERIFY(!rig.statuses.contains(QStringLiteral("Timeout")));
    }

    // At 19.2 kBd with a 200 ms answer delay a data frame's answer comes after the 300 ms
    // tick: the tick waits for it instead of asking again over it.
    void aTickWaitsForAnAnswerStillOnItsWay()
    {
        Rig rig;
        rig.port.setUserBaudRate(19200);
        rig.answerDelay = 200;
        rig.update.StartProgramming(rig.loadImage(QByteArray(500, char(0x3C))));
        rig.update.Timer().setInterval(FirmwareUpdate::BusyIntervalMs);
        QByteArray late;
        for (int i = 0; i < 100 && late.isEmpty(); ++i)
            rig.tick([&](const QByteArray &f) {
                if (!isData(f) || offsetOf(f) != 192)
                    return Answer::Echo;
                late = f;
                return Answer::Drop;
            });
        QVERIFY(!late.isEmpty());
        // The frame and its answer take about 110 ms on the line, the delay 200 ms more.
        const int sent = int(rig.sent.size());
        rig.tick(Rig::always);
        QCOMPARE(rig.sent.size(), sent);
        QVERIFY2(rig.update.Timer().interval() > 0 && rig.update.Timer().interval() < 100, qPrintable(QString::number(rig.update.Timer().interval())));
        rig.line->inject(rig.answerTo(late, Answer::Echo));
        rig.run(Rig::always);
        QVERIFY(rig.done);
        QVERIFY(!rig.statuses.contains(QStringLiteral("Timeout")));
        QCOMPARE(std::count_if(rig.sent.begin(), rig.sent.end(), isData), 3);
    }

    // Data frame 192 goes unanswered and is sent again after a read; the first send's late
    // answer then comes in the retry's window. The next frame waits for a quiet line, and the
    // retry's own answer, coming meanwhile, puts the confirmation in doubt: it would otherwise
    // stand for frame 384.
    void aLateAnswerNeverConfirmsTheNextFrame()
    {
        Rig rig;
        rig.answerDelay = 400; // a quiet line is 473 ms, more than one tick
        rig.update.StartProgramming(rig.loadImage(QByteArray(500, char(0x3C))));
        int sends = 0;
        const auto policy = [&](const QByteArray &f) { return isData(f) && offsetOf(f) == 192 && sends++ < 2 ? Answer::Held : Answer::Echo; };
        for (int i = 0; i < 200 && rig.held.size() < 2; ++i)
            rig.tick(policy);
        rig.line->inject(rig.held[0]);
        const qsizetype before = rig.sent.size();
        rig.tick(policy);
        QCOMPARE(rig.sent.size(), before);
        rig.line->inject(rig.held[1]);
        rig.run(policy);
        QVERIFY(rig.done);
        QList<int> data;
        for (const QByteArray &f : rig.sent)
            if (isData(f))
                data.append(offsetOf(f));
        QCOMPARE(data, (QList<int>{0, 192, 192, 192, 384}));
        QCOMPARE(rig.update.DoubtfulAnswers(), 1);
    }

    // An answer with bytes behind it (in its piece or the next), an answer after its frame's
    // time and a service block with port settings out of range confirm nothing, whatever their
    // shape: the frame goes again (a step frame after a read), and the next frame waits until
    // the line has been quiet for a whole answer's time.
    void onlyAnAnswerWithNothingBehindItConfirms_data()
    {
        QTest::addColumn<int>("size"); // of the frame spoilt: 8 read, 11 erase, 203 data
        QTest::addColumn<int>("field"); // its page or offset
        QTest::addColumn<int>("how");
        QTest::newRow("read, byte behind") << 8 << 0 << int(Answer::Trailing);
        QTest::newRow("read, out of range") << 8 << 0 << int(Answer::OutOfRange);
        QTest::newRow("erase 40, byte behind") << 11 << 40 << int(Answer::Trailing);
        QTest::newRow("data 192, byte in the next piece") << 203 << 192 << int(Answer::TrailingApart);
        QTest::newRow("last data frame, byte behind") << 203 << 384 << int(Answer::Trailing);
        QTest::newRow("erase 40, answer after its time") << 11 << 40 << int(Answer::Held);
        QTest::newRow("data 192, answer after its time") << 203 << 192 << int(Answer::Held);
    }
    void onlyAnAnswerWithNothingBehindItConfirms()
    {
        QFETCH(int, size);
        QFETCH(int, field);
        QFETCH(int, how);
        Rig rig;
        rig.answerDelay = 400; // answers may take up to 469 ms, a quiet line is 473 ms
        rig.update.StartProgramming(rig.loadImage(QByteArray(500, char(0x3C))));
        int spoilt = -1;
        const auto policy = [&](const QByteArray &f) {
            if (spoilt >= 0 || f.size() != size || (size > 8 && offsetOf(f) != field))
                return Answer::Echo;
            spoilt = int(rig.sent.size()) - 1;
            return Answer(how);
        };
        // The quiet from the stray bytes (or the refused block) to the next frame, as the ticks
        // count it.
        bool counting = false;
        int quietMs = 0, quietLine = 0;
        for (int i = 0; i < 2000 && !rig.done; ++i) {
            if (counting)
                quietMs += rig.update.Timer().interval();
            const qsizetype before = rig.sent.size();
            rig.tick(policy);
            counting = counting && rig.sent.size() == before;
            const bool late = !rig.held.isEmpty() && rig.update.ReplyState() == FirmwareUpdate::NothingPending;
            if (late)
                rig.line->inject(rig.held.takeFirst()); // its frame's time is over
            if (late || (spoilt >= 0 && quietLine == 0 && how != int(Answer::Held))) {
                counting = true;
                quietLine = rig.update.QuietLineMs();
            }
        }
        QVERIFY(rig.done);
        QVERIFY2(quietLine > 0 && quietMs >= quietLine, qPrintable(QStringLiteral("%1 < %2").arg(quietMs).arg(quietLine)));
        QVERIFY(isRead(rig.sent[spoilt + 1]));
        QCOMPARE(rig.sent[spoilt + (size == 8 ? 1 : 2)], rig.sent[spoilt]);
        QCOMPARE(rig.update.DoubtfulAnswers(), int(how == int(Answer::Trailing) || how == int(Answer::TrailingApart)));
        QCOMPARE(rig.update.OldBursts(), int(how == int(Answer::Held)));
        QCOMPARE(rig.update.WrittenBytes(), 500);
    }

    // The account holds only what the gateway confirmed, and the same frame failing
    // MaxStepFailures times in a row ends the update; a confirmed frame starts the count afresh.
    void accountAndGivingUp_data()
    {
        QTest::addColumn<QList<int>>("failing"); // pages (32-62) or image positions whose frames fail
        QTest::addColumn<int>("fault");
        QTest::addColumn<int>("times");
        QTest::addColumn<int>("erasedUpTo"); // 0: none confirmed
        QTest::addColumn<int>("written");
        QTest::addColumn<QString>("gaveUp");
        const int refused = int(Answer::Exception);
        QTest::newRow("first erase refused") << QList<int>{32} << refused << 15 << 0 << 0
                                             << "The gateway refused the erase of page 32 15 times in a row (exception 04)";
        QTest::newRow("erase of page 40 unanswered") << QList<int>{40} << int(Answer::Drop) << 15 << 39 << 0
                                                     << "The gateway did not answer the erase of page 40 15 times in a row";
        QTest::newRow("last data frame refused") << QList<int>{960} << refused << 15 << 62 << 960
                                                 << "The gateway refused the data frame at byte 960 15 times in a row (exception 04)";
        QTest::newRow("14 in a row at two frames") << QList<int>{192, 384} << refused << 14 << 62 << 1000 << "";
    }
    void accountAndGivingUp()
    {
        QFETCH(QList<int>, failing);
        QFETCH(int, fault);
        QFETCH(int, times);
        QFETCH(int, erasedUpTo);
        QFETCH(int, written);
        QFETCH(QString, gaveUp);
        Rig rig;
        rig.update.StartProgramming(rig.loadImage(QByteArray(1000, char(0x5A))));
        QHash<int, int> tries;
        rig.run([&](const QByteArray &f) {
            const bool erase = failing.first() >= 32 && failing.first() <= 62;
            return (erase ? isErase(f) : isData(f)) && failing.contains(pageOf(f)) && tries[pageOf(f)]++ < times ? Answer(fault) : Answer::Echo;
        });
        QCOMPARE(rig.gaveUp, gaveUp);
        QCOMPARE(rig.done, gaveUp.isEmpty());
        QCOMPARE(rig.update.ErasedUpTo(), erasedUpTo ? std::optional<uint16_t>(erasedUpTo) : std::nullopt);
        QCOMPARE(rig.update.WrittenBytes(), written);
        // Given up, the failed frame is not sent again: the window's idle reads go on.
        const qsizetype before = rig.sent.size();
        for (int i = 0; i < 4; ++i)
            rig.tick(Rig::always);
        QVERIFY(rig.sent.size() > before);
        QVERIFY(std::all_of(rig.sent.begin() + before, rig.sent.end(), isRead));
    }

    void lostReadAnswersDoNotStepFurtherBack()
    {
        // The first data frame, then two reads, go unanswered: the frame at 0 goes again once,
        // the position never goes below the image.
        Rig rig;
        rig.update.StartProgramming(rig.loadImage(QByteArray(300, char(0x11))));
        int drops = 0;
        rig.run([&](const QByteArray &f) {
            if (drops < 3 && (drops > 0 || (isData(f) && offsetOf(f) == 0)) && (isData(f) || isRead(f))) {
                ++drops;
                return Answer::Drop;
            }
            return Answer::Echo;
        });
        QVERIFY(rig.done);
        QList<int> offsets;
        for (const QByteArray &f : rig.sent)
            if (isData(f))
                offsets.append(offsetOf(f));
        QCOMPARE(offsets, (QList<int>{0, 0, 192}));
    }

    void lastEraseAndLastDataFrameMustBeConfirmed()
    {
        Rig rig;
        rig.update.StartProgramming(rig.loadImage(QByteArray(10, char(0x22))));
        bool lostErase = false, lostData = false;
        rig.run([&](const QByteArray &f) {
            if (isErase(f) && pageOf(f) == 62 && !lostErase) {
                lostErase = true;
                return Answer::Drop;
            }
            if (isData(f) && !lostData) {
                lostData = true;
                return Answer::Drop;
            }
            return Answer::Echo;
        });
        QVERIFY(rig.done);
        int page62 = 0, data = 0;
        for (const QByteArray &f : rig.sent) {
            page62 += isErase(f) && pageOf(f) == 62;
            data += isData(f);
        }
        QCOMPARE(page62, 2);
        QCOMPARE(data, 2);
    }

    void fullImageLastChunkStopsAtTheBuffersEnd()
    {
        Rig rig;
        rig.loadImage(QByteArray(FirmwareImage::Capacity, char(0x77)));
        const int last = FirmwareImage::Capacity / 192 * 192;
        const QByteArray frame = rig.update.dataFrame(last);
        const int inFile = FirmwareImage::Capacity - last;
        QCOMPARE(frame.mid(9, inFile), QByteArray(inFile, char(0x77)));
        QCOMPARE(frame.mid(9 + inFile, 192 - inFile), QByteArray(192 - inFile, char(0xFF)));
        QCOMPARE(rig.update.ProgressMaximum(), FirmwareImage::Capacity / 192 + 33);
    }

    void portLostDuringProgrammingCancelsIt()
    {
        Rig rig;
        bool inactive = false;
        rig.update.OnPortInactive = [&] { inactive = true; };
        rig.update.StartProgramming(rig.loadImage(QByteArray(10, 1)));
        rig.tick(Rig::always);
        rig.line->loseDevice(QStringLiteral("unplugged"));
        rig.tick(Rig::always);
        QVERIFY(inactive);
        QCOMPARE(rig.update.Step(), FirmwareUpdate::Idle);
        QCOMPARE(rig.statuses.last(), QStringLiteral("Disconnected"));
    }

    void oversizedOrEmptyFileKeepsTheImage()
    {
        Rig rig;
        rig.loadImage(QByteArray(5, char(0x42)));
        QFile big(rig.dir.filePath(QStringLiteral("big.bin")));
        big.open(QIODevice::WriteOnly);
        big.write(QByteArray(FirmwareImage::Capacity + 1, 0));
        big.close();
        QCOMPARE(rig.update.Image().load(big.fileName()), FirmwareImage::LoadResult::TooLarge);
        QFile empty(rig.dir.filePath(QStringLiteral("empty.bin")));
        empty.open(QIODevice::WriteOnly);
        empty.close();
        QCOMPARE(rig.update.Image().load(empty.fileName()), FirmwareImage::LoadResult::Empty);
        QCOMPARE(rig.update.Image().ImageLength(), 5);
        QCOMPARE(rig.update.Image().hexText(), QStringLiteral("42 42 42 42 42 "));
    }
};

QTEST_GUILESS_MAIN(tst_FirmwareUpdate)
#include "tst_FirmwareUpdate.moc"
