#include "AnswerMatcher.h"

#include "ModbusCrc.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {
constexpr uint8_t kRead = 0x03;
constexpr uint8_t kWriteSingle = 0x06;
constexpr uint8_t kWriteMultiple = 0x10;
constexpr uint8_t kExceptionFlag = 0x80;

bool crcHolds(const uint8_t *frame, int length)
{
    const uint16_t crc = ModbusCrc::compute(frame, size_t(length - 2));
    return frame[length - 2] == ModbusCrc::lowByte(crc) && frame[length - 1] == ModbusCrc::highByte(crc);
}
} // namespace

AnswerMatcher::AnswerMatcher(const QByteArray &request) : m_request(request)
{
    // Address, function and two 16-bit fields, then the CRC.
    if (request.size() < 8 || uint8_t(request[0]) == 0)
        return;
    m_address = uint8_t(request[0]);
    m_function = uint8_t(request[1]);
    switch (m_function) {
    case kRead: {
        const int registers = uint8_t(request[4]) << 8 | uint8_t(request[5]);
        if (registers < 1 || registers > 125)
            return;
        m_head = QByteArray(1, char(2 * registers));
        m_length = 5 + 2 * registers;
        break;
    }
    case kWriteSingle:
    case kWriteMultiple:
        // The answer repeats the register and the value (06) or the count (16).
        m_head = request.mid(2, 4);
        m_length = 8;
        break;
    default:
        m_function = 0;
        return;
    }
}

AnswerMatcher::Match AnswerMatcher::find(const QByteArray &bytes) const
{
    Match waiting;
    if (!expectsAnswer())
        return waiting;
    const auto *b = reinterpret_cast<const uint8_t *>(bytes.constData());
    const int n = int(bytes.size());
    const int headLength = int(m_head.size());
    const auto *head = reinterpret_cast<const uint8_t *>(m_head.constData());

    int from = 0;
    if (m_lineEchoes) {
        const int echo = int(m_request.size());
        if (n < echo && m_request.startsWith(bytes)) {
            waiting.started = true;
            return waiting;
        }
        if (bytes.startsWith(m_request))
            from = echo;
    }

    // A whole frame that is not the answer (a broken one, another slave's) decides only when no
    // frame of the right head has begun after it: noise that happens to look like a frame's
    // head must not cost the real answer behind it.
    Match bad;
    bool startedAfterBad = false;
    for (int i = from; i < n; ++i) {
        const int rest = n - i;
        if (rest == 1)
            break;
        const uint8_t function = b[i + 1];
        if (b[i] == m_address && function == (m_function | kExceptionFlag)) {
            if (rest < ExceptionLength)
                waiting.started = startedAfterBad = true;
            else if (crcHolds(b + i, ExceptionLength))
                return {Verdict::Exception, i, ExceptionLength, false};
            continue;
        }
        if (function != m_function)
            continue;
        const int compared = std::min(rest - 2, headLength);
        if (std::memcmp(b + i + 2, head, size_t(compared)) != 0)
            continue;
        const bool ours = b[i] == m_address;
        if (rest < m_length) {
            // Another slave's frame counts as begun once its head is there: the line is busy.
            if (ours || compared == headLength)
                waiting.started = startedAfterBad = true;
            continue;
        }
        const bool crcRight = crcHolds(b + i, m_length);
        if (crcRight && ours)
            return {Verdict::Answer, i, m_length, false};
        if (bad.verdict != Verdict::Waiting)
            continue;
        if (crcRight)
            bad = {Verdict::Foreign, i, m_length, false};
        else if (ours && isRead())
            bad = {Verdict::Broken, i, m_length, false};
        startedAfterBad = false;
    }
    if (bad.verdict != Verdict::Waiting && !startedAfterBad)
        return bad;
    return waiting;
}

int AnswerMatcher::exchangeOnLineMs(qint64 charTimeUs) const
{
    return onLineMs(m_request.size() + m_length + 3.5, charTimeUs);
}

int AnswerMatcher::onLineMs(double characters, qint64 charTimeUs)
{
    return int(std::ceil(characters * double(charTimeUs) / 1000.0));
}
