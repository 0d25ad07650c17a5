#pragma once

#include <QByteArray>
#include <cstdint>

// What the answer to one Modbus RTU request looks like, and where it is among the bytes that
// arrived after the request. An answer is this gateway's answer to this request only when its
// address and function are the request's and its length fields fit it: the byte count of a read
// (2 x registers), the echo of register and value (06) or register and count (16) of a write.
// Only then is its CRC looked at. An exception answer is the address, the function with 0x80 and
// a code. Bytes before the frame (line noise, the request echoed by a two-wire adapter) are
// skipped, so an answer is found wherever it starts.
class AnswerMatcher
{
public:
    enum class Verdict {
        Waiting,   // no whole frame yet; more bytes may still complete one
        Answer,    // the answer, CRC right
        Exception, // the gateway refused the request (exception answer, CRC right)
        Foreign,   // a whole answer of the right shape and CRC from another slave address
        Broken,    // a whole read answer of this gateway whose CRC is wrong
    };
    struct Match
    {
        Verdict verdict = Verdict::Waiting;
        int offset = 0; // where the frame starts; the bytes before it are noise
        int length = 0; // the frame's length
        // Waiting only: a frame of the right head (at least address and function) has begun
        // and lacks bytes.
        bool started = false;
    };

    static constexpr int ExceptionLength = 5;

    // Expects nothing: every byte is noise.
    AnswerMatcher() = default;
    // The answer to this request (address, function, fields, CRC). A broadcast, a request of
    // another function or too short a request expects no answer.
    explicit AnswerMatcher(const QByteArray &request);

    bool expectsAnswer() const { return m_length > 0; }
    uint8_t function() const { return m_function; }
    bool isRead() const { return m_function == 0x03; }
    // Length of the regular answer (0 when none is expected).
    int answerLength() const { return m_length; }
    const QByteArray &request() const { return m_request; }
    // How long the request and its answer take on a line of this character time, with the
    // silence of 3.5 characters between them: the earliest the answer can be whole when the
    // gateway answers at once. In whole milliseconds, rounded up.
    int exchangeOnLineMs(qint64 charTimeUs) const;
    // How long characters take on a line of this character time, in whole milliseconds,
    // rounded up.
    static int onLineMs(double characters, qint64 charTimeUs);

    // A line that echoes what the master sends puts the request itself before the answer. The
    // answer to a single-register write is a copy of the request, so on such a line the first
    // copy is the echo and is skipped.
    void setLineEchoes(bool echoes) { m_lineEchoes = echoes; }

    // The first whole frame among the bytes that decides the request's fate. Bytes that are not
    // the start of a frame of the expected shape are passed over as noise.
    Match find(const QByteArray &bytes) const;

private:
    QByteArray m_request;
    uint8_t m_address = 0;
    uint8_t m_function = 0;
    QByteArray m_head; // the answer's bytes after address and function that must match
    int m_length = 0;
    bool m_lineEchoes = false;
};
