// The poll cycle against a gateway that answers late, on virtual time: every block passed on
// must be the block asked for, whether the gateway stalls and then answers its queue, answers
// some requests after their timeout, or trickles an answer in byte by byte; and no request
// goes out while the gateway's answer is coming in. Each answer carries its block's start
// address in every register (the service block in its firmware version), so a block taken for
// another shows at once.
#include "FrameBytes.h"
#include "MemoryTransport.h"
#include "TTarvikKomunikator.h"

#include <QRandomGenerator>
#include <QSet>
#include <QTest>
#include <functional>
#include <memory>

namespace {

// What the gateway does with request n (counted from 0), sent at a moment of virtual time.
struct Behaviour
{
    // Extra time before the answer to request n begins (beyond the answer delay).
    std::function<double(int n)> lateness = [](int) { return 0.0; };
    // The gateway takes no request from..to (ms); it then answers what queued up, in order.
    double stallFrom = -1;
    double stallTo = -1;
    // Milliseconds between the answer's bytes; 0: at line speed.
    double byteGapMs = 0;
};

class VirtualGateway
{
public:
    VirtualGateway(qint32 baud, int delayMs, Behaviour behaviour)
        : m_behaviour(std::move(behaviour)), m_delayMs(delayMs),
          m_charMs(double(LineSettings{baud}.charTimeUs()) / 1000.0)
    {
        port.setObjectName(QStringLiteral("AfComPort1"));
        master.SetBaudRate(baud);
        master.OnBlockReceived = [this] { checkBlock(); };
        master.setClock([this] { return qint64(m_now); });
        master.Open(QStringLiteral("memory"));
        master.PollTimer().stop(); // virtual time: the test plays the timer
        m_nextTick = master.PollTimer().interval();
    }

    // Runs the cycle until the virtual clock reaches endMs.
    void runUntil(double endMs)
    {
        while (true) {
            const bool bytesFirst = !m_pieces.isEmpty() && m_pieces.first().at <= m_nextTick;
            const double at = bytesFirst ? m_pieces.first().at : m_nextTick;
            if (at > endMs)
                return;
            m_now = at;
            if (bytesFirst) {
                const Piece piece = m_pieces.takeFirst();
                const int before = master.PollTimer().interval();
                line->inject(piece.bytes);
                // A changed interval restarts the timer.
                if (master.PollTimer().interval() != before)
                    m_nextTick = m_now + master.PollTimer().interval();
                continue;
            }
            master.PollTimerTick();
            const QByteArray sent = line->takeWritten();
            if (!sent.isEmpty()) {
                if (m_now > m_answering.first && m_now < m_answering.second)
                    ++talkedOver;
                if (sent.size() == 8 && sent[1] == 0x03)
                    take(uint16_t(uint8_t(sent[2]) << 8 | uint8_t(sent[3])));
            }
            m_nextTick = m_now + master.PollTimer().interval();
        }
    }

    MemoryTransport *line = new MemoryTransport;
    TAfComPort port{std::unique_ptr<SerialTransport>(line)};
    TTarvikKomunikator master{&port};
    int delivered = 0;
    int wrong = 0;
    int talkedOver = 0; // requests sent while an answer was coming in
    QList<uint16_t> deliveredBlocks;

private:
    struct Piece
    {
        double at;
        QByteArray bytes;
    };

    static QList<uint16_t> registersOf(uint16_t start)
    {
        if (start == ServiceRegs::Start) {
            QList<uint16_t> r = serviceRegisters();
            r[0] = start + 1;
            return r;
        }
        return QList<uint16_t>(PollBlockSize, uint16_t(start + 1));
    }

    void checkBlock()
    {
        ++delivered;
        const uint16_t start = master.GetBlockAddress();
        deliveredBlocks.append(start);
        std::array<uint16_t, PollBlockSize> got{};
        master.GetRegisters(got);
        if (QList<uint16_t>(got.begin(), got.end()) != registersOf(start))
            ++wrong;
    }

    // The gateway takes a read request and schedules its answer behind the ones before it.
    void take(uint16_t start)
    {
        double arrives = m_now + 8 * m_charMs;
        if (arrives >= m_behaviour.stallFrom && arrives < m_behaviour.stallTo)
            arrives = m_behaviour.stallTo;
        const double begins = qMax(arrives + m_delayMs + m_behaviour.lateness(m_requests++), m_lineFreeAt);
        const QByteArray answer = readAnswer(1, registersOf(start));
        const double gap = m_behaviour.byteGapMs > 0 ? m_behaviour.byteGapMs : m_charMs;
        // The bytes arrive in pieces of 16, each when its last byte is through.
        const int step = m_behaviour.byteGapMs > 0 ? 1 : 16;
        for (int at = 0; at < answer.size(); at += step) {
            const int n = int(qMin<qsizetype>(step, answer.size() - at));
            insert({begins + (at + n) * gap, answer.mid(at, n)});
        }
        m_lineFreeAt = begins + answer.size() * gap + 3.5 * m_charMs;
        // From its first piece on, the master can see the answer coming in.
        m_answering = {begins + qMin<qsizetype>(step, answer.size()) * gap, begins + answer.size() * gap};
    }

    void insert(const Piece &piece)
    {
        qsizetype i = m_pieces.size();
        while (i > 0 && m_pieces[i - 1].at > piece.at)
            --i;
        m_pieces.insert(i, piece);
    }

    Behaviour m_behaviour;
    int m_delayMs;
    double m_charMs;
    double m_now = 0;
    double m_nextTick = 0;
    double m_lineFreeAt = 0;
    int m_requests = 0;
    std::pair<double, double> m_answering{-1, -1};
    QList<Piece> m_pieces;
};

} // namespace

Q_DECLARE_METATYPE(Behaviour)

class tst_LateAnswers : public QObject
{
    Q_OBJECT
private slots:
    // The blocks passed on are the blocks asked for, whatever the delay of the answers; and
    // after the trouble the cycle comes back to every block.
    void noBlockIsTakenForAnother_data()
    {
        QTest::addColumn<qint32>("baud");
        QTest::addColumn<int>("delay");
        QTest::addColumn<Behaviour>("behaviour");
        QTest::addColumn<bool>("recovers");
        Behaviour stall5;
        stall5.stallFrom = 3000;
        stall5.stallTo = 8000;
        QTest::newRow("stall of 5 s, then the queue @19200") << 19200 << 0 << stall5 << true;
        Behaviour stall20;
        stall20.stallFrom = 2000;
        stall20.stallTo = 22000;
        QTest::newRow("stall of 20 s, then the queue @9600, 60 ms delay") << 9600 << 60 << stall20 << true;
        for (double late : {400.0, 1700.0, 2000.0}) {
            Behaviour b;
            b.lateness = [late](int n) { return n % 3 == 1 ? late : 0.0; };
            QTest::addRow("every third answer %.0f ms late @19200", late) << 19200 << 0 << b << true;
            QTest::addRow("every third answer %.0f ms late @9600, 200 ms delay", late) << 9600 << 200 << b << true;
        }
        // Late for longer than the cycle takes to come round (the gateway's queue would only
        // grow if it did so every few requests).
        for (double late : {5000.0, 30000.0}) {
            Behaviour b;
            b.lateness = [late](int n) { return n == 9 ? late : 0.0; };
            QTest::addRow("one answer %.0f ms late @19200", late) << 19200 << 0 << b << true;
            QTest::addRow("one answer %.0f ms late @9600, 200 ms delay", late) << 9600 << 200 << b << true;
        }
        Behaviour allLate;
        allLate.lateness = [](int) { return 2000.0; };
        QTest::newRow("every answer 2 s late @9600") << 9600 << 0 << allLate << false;
        Behaviour random;
        random.lateness = [rng = std::make_shared<QRandomGenerator>(20261208)](int) {
            return rng->bounded(4) == 0 ? 100.0 + rng->bounded(11900.0) : 0.0;
        };
        QTest::newRow("a quarter late by 0.1-12 s @19200") << 19200 << 0 << random << true;
    }
    void noBlockIsTakenForAnother()
    {
        QFETCH(qint32, baud);
        QFETCH(int, delay);
        QFETCH(Behaviour, behaviour);
        QFETCH(bool, recovers);
        VirtualGateway gw(baud, delay, behaviour);
        gw.runUntil(120000);
        QCOMPARE(gw.wrong, 0);
        QCOMPARE(gw.talkedOver, 0);
        if (recovers) {
            // The last rounds read all seven blocks.
            const QList<uint16_t> tail = gw.deliveredBlocks.mid(gw.deliveredBlocks.size() - 7);
            QCOMPARE(QSet<uint16_t>(tail.begin(), tail.end()).size(), PollBlockCount);
        }
    }

    // An answer trickling in, one byte every 4 ms (far slower than the line), never has a
    // request sent into it; the block it makes is still its own.
    void aTricklingAnswerIsNeverTalkedOver()
    {
        Behaviour trickle;
        trickle.byteGapMs = 4;
        VirtualGateway gw(19200, 0, trickle);
        gw.runUntil(30000);
        QCOMPARE(gw.talkedOver, 0);
        QCOMPARE(gw.wrong, 0);
    }
};

QTEST_GUILESS_MAIN(tst_LateAnswers)
#include "tst_LateAnswers.moc"
