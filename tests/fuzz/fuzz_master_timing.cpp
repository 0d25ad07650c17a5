// The poll cycle's receive path in time: a gateway that answers its queue of requests at
// moments the input chooses (on time, late, never, out of order, broken, in pieces with gaps)
// and noise between. Whatever comes:
// - an answer taken began arriving after its request went out and before that request's time
//   was over;
// - no request goes out while the bytes of an answer are still coming in, nor sooner than the
//   Modbus frame gap after the last byte;
// - after a read came to nothing, the next read asks for the same block again.
//
// Input: byte 0 picks the speed, byte 1 the gateway's answer delay; then pairs of bytes, an
// operation and its argument (see Op).
#include "AbortOnErrorReport.h"
#include "FrameBytes.h"
#include "FuzzSupport.h"
#include "MemoryTransport.h"
#include "ModbusCrc.h"
#include "TTarvikKomunikator.h"

#include <QByteArray>
#include <QList>
#include <cstddef>
#include <cstdint>

namespace {

enum Op : uint8_t {
    Wait = 0,        // time passes: argument x 2 ms
    AnswerOldest,    // the oldest request in the gateway's queue is answered now
    Noise,           // 1-4 bytes of noise now
    DropOldest,      // the gateway forgets its oldest request
    AnswerNewest,    // the newest request is answered now, out of turn
    OpCount
};
enum AnswerFlag : uint8_t {
    Corrupt = 1,  // one bit flipped
    Truncate = 2, // its last bytes never come
    Split = 4,    // the second half comes (argument >> 3) x 2 ms later
};

struct Sent
{
    double at;
    uint16_t start;
};

class Harness
{
public:
    Harness(qint32 baud, int delayMs)
    {
        port.setObjectName(QStringLiteral("AfComPort1"));
        master.SetBaudRate(baud);
        master.setClock([this] { return qint64(m_now); });
        master.OnBlockReceived = [this] { onBlock(); };
        master.OnReadFailed = [this](int block, TModbusKomunikator::ReadFault) { m_failedBlock = block; };
        master.Open(QStringLiteral("memory"));
        master.PollTimer().stop();
        m_nextTick = master.PollTimer().interval();
        m_delayMs = delayMs;
        m_charMs = double(LineSettings{baud}.charTimeUs()) / 1000.0;
    }

    void wait(double ms)
    {
        const double end = m_now + ms;
        while (true) {
            const bool pieceFirst = !m_later.isEmpty() && m_later.first().first <= m_nextTick;
            const double at = pieceFirst ? m_later.first().first : m_nextTick;
            if (at > end)
                break;
            m_now = at;
            if (pieceFirst)
                arrive(m_later.takeFirst().second);
            else
                tick();
        }
        m_now = end;
    }

    void answer(bool oldest, uint8_t flags, uint8_t argument)
    {
        if (m_queue.isEmpty())
            return;
        const Sent request = oldest ? m_queue.takeFirst() : m_queue.takeLast();
        QList<uint16_t> registers = request.start == ServiceRegs::Start ? serviceRegisters(uint16_t(m_delayMs))
                                                                        : QList<uint16_t>(PollBlockSize, 0);
        // Each answer names itself in its last register, so a block taken can be traced.
        registers[PollBlockSize - 1] = uint16_t(m_answers.size());
        m_answers.append({m_now, request.start});
        QByteArray bytes = readAnswer(1, registers);
        if (flags & Corrupt)
            bytes[100] = char(bytes[100] ^ 0x10);
        if (flags & Truncate)
            bytes.chop(1 + argument % 50);
        if (flags & Split) {
            const qsizetype half = bytes.size() / 2;
            later(m_now + (argument >> 3) * 2.0, bytes.mid(half));
            bytes.truncate(half);
        }
        arrive(bytes);
    }

    void noise(uint8_t argument)
    {
        arrive(QByteArray(argument % 4 + 1, char(argument)));
    }

    void drop(bool oldest)
    {
        if (!m_queue.isEmpty())
            oldest ? m_queue.removeFirst() : m_queue.removeLast();
    }

private:
    void arrive(const QByteArray &bytes)
    {
        if (bytes.isEmpty())
            return;
        m_lastArrival = m_now;
        const int before = master.PollTimer().interval();
        line->inject(bytes);
        FUZZ_CHECK(master.RxFrame().Len <= TFrameBuffer::Capacity);
        // A changed interval restarts the timer.
        if (master.PollTimer().interval() != before)
            m_nextTick = m_now + master.PollTimer().interval();
    }

    void later(double at, const QByteArray &bytes)
    {
        qsizetype i = m_later.size();
        while (i > 0 && m_later[i - 1].first > at)
            --i;
        m_later.insert(i, {at, bytes});
    }

    void tick()
    {
        master.PollTimerTick();
        const QByteArray sent = line->takeWritten();
        if (sent.size() == 8 && sent[1] == 0x03) {
            const auto start = uint16_t(uint8_t(sent[2]) << 8 | uint8_t(sent[3]));
            // Never into bytes still coming, never sooner than the frame gap after the last one.
            FUZZ_CHECK(m_lastArrival < 0 || m_now - m_lastArrival >= 3.5 * m_charMs);
            // A read that came to nothing is asked for again.
            if (m_failedBlock >= 0)
                FUZZ_CHECK(start == PollBlocks[size_t(m_failedBlock)]);
            m_failedBlock = -1;
            m_sent = {m_now, start};
            m_queue.append(m_sent);
        }
        m_nextTick = m_now + master.PollTimer().interval();
    }

    void onBlock()
    {
        std::array<uint16_t, PollBlockSize> got{};
        master.GetRegisters(got);
        const int id = got[PollBlockSize - 1];
        FUZZ_CHECK(id >= 0 && id < m_answers.size());
        // The answer began after the last request went out and within its time (a service
        // block just taken may have changed the answer delay that time allows for).
        const double began = m_answers[id].first;
        FUZZ_CHECK(began >= m_sent.at);
        FUZZ_CHECK(began < m_sent.at + master.QuietLineMs() + TModbusKomunikator::UnknownAnswerDelayMs);
        FUZZ_CHECK(master.GetBlockAddress() == m_sent.start);
    }

    MemoryTransport *line = new MemoryTransport;
    TAfComPort port{std::unique_ptr<SerialTransport>(line)};
    TTarvikKomunikator master{&port};
    double m_now = 0;
    double m_nextTick = 0;
    double m_lastArrival = -1;
    double m_charMs = 1;
    int m_delayMs = 0;
    int m_failedBlock = -1;
    Sent m_sent{-1, 0};
    QList<Sent> m_queue;                       // requests the gateway has not answered
    QList<std::pair<double, uint16_t>> m_answers; // each answer's moment and block
    QList<std::pair<double, QByteArray>> m_later; // pieces still on their way
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    startQtOnce();
    abortOnErrorReport();

    if (size < 2)
        return 0;
    const qint32 baud = TTarvikKomunikator::BaudRateTable[data[0] % 16] * 100;
    Harness h(baud, data[1] % 201);
    for (size_t pos = 2; pos + 1 < size && pos < 2 + 2 * 400; pos += 2) {
        const uint8_t argument = data[pos + 1];
        switch (Op(data[pos] % OpCount)) {
        case Wait:
            h.wait(argument * 2.0);
            break;
        case AnswerOldest:
            h.answer(true, uint8_t(data[pos] / OpCount), argument);
            break;
        case Noise:
            h.noise(argument);
            break;
        case DropOldest:
            h.drop(true);
            break;
        case AnswerNewest:
            h.answer(false, uint8_t(data[pos] / OpCount), argument);
            break;
        case OpCount:
            break;
        }
    }
    h.wait(5000);
    return 0;
}
