// The master's Modbus TCP framing taking answers off the connection: the input is a script of
// requests sent and pieces of bytes from the server. A byte 0xFF sends the next request; any
// other byte b is followed by a piece of (b % 32) + 1 bytes from the server. Whatever comes,
// each request gets at most one answer, and every answer passed on is an RTU frame with its
// CRC right that carries the unit id and PDU of a frame under that request's transaction id.
#include "FuzzSupport.h"
#include "MbapFraming.h"
#include "ModbusCrc.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>

namespace {
// A read of the service block from address 1.
const QByteArray kRequest = ModbusCrc::appended(QByteArray::fromHex("010303E80064"));
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    startQtOnce();
    MbapFraming framing;
    QByteArray sinceRequest; // what the server sent since the last request
    bool answered = true;
    size_t at = 0;
    while (at < size) {
        const uint8_t op = data[at++];
        if (op == 0xFF) {
            FUZZ_CHECK(framing.request(kRequest).has_value());
            sinceRequest.clear();
            answered = false;
            continue;
        }
        const size_t n = qMin<size_t>(size - at, size_t(op % 32) + 1);
        const QByteArray piece(reinterpret_cast<const char *>(data + at), qsizetype(n));
        at += n;
        sinceRequest += piece;
        const QByteArray out = framing.answers(piece);
        if (out.isEmpty())
            continue;
        FUZZ_CHECK(!answered);
        answered = true;
        FUZZ_CHECK(out.size() >= 4 && out.size() <= 2 + MbapFraming::MaxLength);
        FUZZ_CHECK(ModbusCrc::endsWithValidCrc(out));
        // The frame it came from: the id of the last request, protocol 0, the length of
        // unit id and PDU, then those bytes.
        const quint16 id = framing.lastTransactionId();
        QByteArray header;
        header.append(char(id >> 8)).append(char(id & 0xFF)).append('\0').append('\0');
        header.append(char((out.size() - 2) >> 8)).append(char((out.size() - 2) & 0xFF));
        FUZZ_CHECK(sinceRequest.contains(header + out.left(out.size() - 2)));
    }
    return 0;
}
