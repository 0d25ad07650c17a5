// The simulated gateway's request handling: the input is what a master wrote on the line, cut
// into frames the way the simulator cuts them (by the length the function code tells, the rest
// when the line goes quiet). Every frame is handled as it came and, to get past the CRC check,
// once more with its last two bytes replaced by its CRC. No frame may crash the simulator, and
// every answer must be a well-formed answer to the request.
#include "FuzzSupport.h"
#include "GatewayModel.h"
#include "ModbusCrc.h"
#include "ModbusSlave.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>

namespace {

constexpr uint8_t kSlave = 1;

void checkAnswer(const QByteArray &request, const QByteArray &answer)
{
    if (answer.isEmpty())
        return;
    FUZZ_CHECK(ModbusCrc::endsWithValidCrc(answer));
    FUZZ_CHECK(uint8_t(answer[0]) == kSlave);
    const uint8_t function = uint8_t(request[1]);
    if (uint8_t(answer[1]) == (function | 0x80)) {
        FUZZ_CHECK(answer.size() == 5);
        FUZZ_CHECK(answer[2] >= 1 && answer[2] <= 3);
        return;
    }
    FUZZ_CHECK(uint8_t(answer[1]) == function);
    switch (function) {
    case 0x03: {
        const int count = uint8_t(request[4]) << 8 | uint8_t(request[5]);
        FUZZ_CHECK(uint8_t(answer[2]) == 2 * count);
        FUZZ_CHECK(answer.size() == 5 + 2 * count);
        break;
    }
    case 0x06:
        FUZZ_CHECK(answer == request);
        break;
    case 0x10:
        FUZZ_CHECK(answer.size() == 8 && answer.left(6) == request.left(6));
        break;
    default:
        FUZZ_CHECK(!"an answer to a function the gateway does not know");
    }
}

void handle(ModbusSlave &slave, const QByteArray &frame)
{
    checkAnswer(frame, slave.handle(frame));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    startQtOnce();
    // Every input starts from the same gateway; copying it is much cheaper than populating it.
    static const GatewayModel demo = [] {
        GatewayModel m(1);
        m.loadDemoPopulation();
        return m;
    }();
    GatewayModel model = demo;
    ModbusSlave slave(model, kSlave);

    QByteArray rx(reinterpret_cast<const char *>(data), qsizetype(size));
    while (!rx.isEmpty()) {
        for (qsizetype n = 0; n <= qMin<qsizetype>(rx.size(), 8); ++n)
            ModbusSlave::expectedLength(rx.left(n));
        const int length = ModbusSlave::expectedLength(rx);
        const QByteArray frame = length > 0 && length <= rx.size() ? rx.left(length) : rx;
        rx.remove(0, frame.size());

        handle(slave, frame);
        if (frame.size() >= 3 && !ModbusCrc::endsWithValidCrc(frame))
            handle(slave, ModbusCrc::appended(frame.left(frame.size() - 2)));
        model.advance(250);
    }
    return 0;
}
