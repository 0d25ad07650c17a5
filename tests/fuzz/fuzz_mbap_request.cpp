// The simulator's Modbus TCP server taking requests off a client's byte stream: the input is
// what a client sent. Every request taken is exactly the bytes it was made of, with a PDU of 1 to
// 253 bytes; input that is incomplete or broken is left as it was.
#include "FuzzSupport.h"
#include "MbapFrame.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    for (;;) {
        const QByteArray before = input;
        MbapFrame::Request r;
        const MbapFrame::Take take = MbapFrame::takeRequest(input, &r);
        if (take != MbapFrame::Take::Request) {
            FUZZ_CHECK(input == before);
            if (take == MbapFrame::Take::Incomplete)
                FUZZ_CHECK(before.size() < MbapFrame::HeaderSize
                           || before.size() < 6 + (uint8_t(before[4]) << 8 | uint8_t(before[5])));
            return 0;
        }
        FUZZ_CHECK(r.pdu.size() >= 1 && r.pdu.size() <= MbapFrame::MaxPdu);
        const qsizetype taken = before.size() - input.size();
        FUZZ_CHECK(taken == MbapFrame::HeaderSize + r.pdu.size());
        FUZZ_CHECK(before.left(taken) == MbapFrame::adu(r.transaction, r.unit, r.pdu));
        FUZZ_CHECK(before.mid(taken) == input);
    }
}
