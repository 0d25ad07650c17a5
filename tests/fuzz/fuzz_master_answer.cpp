// The master's acceptance of answers: whatever bytes come back after a read (function 03), a
// single write (06) or a multiple write (16), in whatever pieces, must neither crash nor read
// outside the receive frame; a block is taken only from a frame of the read answer's shape with
// a right CRC among the bytes, and a well-formed answer of plausible content, nothing behind
// it, is always taken (as the next request goes out).
//
// Input: byte 0 picks the request (value % 3) and the delivery flags (value / 3), byte 1 is the
// request's parameter, byte 2 the number of split points (% 4) whose sizes follow, one byte
// each; the rest is the answer.
#include "AbortOnErrorReport.h"
#include "BlockContent.h"
#include "FuzzSupport.h"
#include "MemoryTransport.h"
#include "ModbusCrc.h"
#include "TModbusKomunikator.h"

#include <QByteArray>
#include <QList>
#include <array>
#include <cstddef>
#include <cstdint>

namespace {

enum Request : uint8_t { Read = 0, WriteSingle = 1, WriteMultiple = 2 };
enum Flag : uint8_t {
    TickBetweenPieces = 1, // a poll tick runs between pieces (drains or gives up a partial answer)
    RepeatEvent = 2,       // the port's 200 ms re-raise of the data event after each piece
    FixCrc = 4,            // the answer's last two bytes become its CRC, to reach acceptance
    FixHead = 8,           // the answer starts with a read answer's address, function and count
};

struct Rig
{
    MemoryTransport *line = new MemoryTransport;
    TAfComPort port{std::unique_ptr<SerialTransport>(line)};
    TModbusKomunikator master{&port};
    int blocks = 0;
    QByteArray taken; // the frame of the last block

    Rig()
    {
        master.OnBlockReceived = [this] {
            ++blocks;
            // What the receiver of a block does with it.
            std::array<uint16_t, PollBlockSize> regs{};
            master.GetRegisters(regs);
            FUZZ_CHECK(master.GetBlockAddress() == PollBlocks[master.LastBlockIndex()]);
            taken = QByteArray(reinterpret_cast<const char *>(master.RxFrame().Data), master.RxFrame().Len);
        };
        master.Open(QStringLiteral("memory"));
        master.PollTimer().stop(); // the harness drives the cycle
    }

    void send(Request request, uint8_t parameter)
    {
        switch (request) {
        case Read:
            master.RequestBlock(parameter % PollBlockCount);
            master.PollTimerTick();
            break;
        case WriteSingle:
            master.QueueWrite(uint16_t(parameter * 0x0101), uint16_t(1000 + parameter));
            master.PollTimerTick();
            break;
        case WriteMultiple:
            master.WriteRegisters(QList<uint16_t>(parameter % TModbusKomunikator::MaxWriteRegisters + 1,
                                                  uint16_t(parameter)),
                                  1300);
            break;
        }
        line->takeWritten();
    }

    void deliver(const QByteArray &piece, uint8_t flags)
    {
        line->inject(piece);
        if (flags & RepeatEvent)
            port.repeatTimerTick();
        FUZZ_CHECK(master.RxFrame().Len <= TFrameBuffer::Capacity);
    }
};

bool crcValid(const QByteArray &answer)
{
    return ModbusCrc::endsWithValidCrc(answer);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    startQtOnce();
    abortOnErrorReport();

    if (size < 3)
        return 0;
    const auto request = Request(data[0] % 3);
    const uint8_t flags = uint8_t(data[0] / 3);
    const uint8_t parameter = data[1];
    const int splits = data[2] % 4;
    size_t pos = 3;
    QList<int> sizes;
    for (int i = 0; i < splits && pos < size; ++i)
        sizes.append(data[pos++]);
    QByteArray answer(reinterpret_cast<const char *>(data + pos), qsizetype(size - pos));
    if ((flags & FixHead) && answer.size() >= 3) {
        answer[0] = 1;
        answer[1] = 3;
        answer[2] = char(2 * PollBlockSize);
    }
    if ((flags & FixCrc) && answer.size() >= 3)
        answer = ModbusCrc::appended(answer.left(answer.size() - 2));

    // A block only from a frame of the read answer's shape, CRC right, found among the bytes.
    // A tick between pieces may send a read of its own, which the later bytes then answer.
    auto checkTaken = [&](const Rig &rig, int ticks) {
        FUZZ_CHECK(rig.blocks <= (request == Read ? 1 : 0) + ticks);
        if (rig.blocks >= 1) {
            FUZZ_CHECK(rig.taken.size() == rig.master.AnswerLength() && answer.contains(rig.taken));
            FUZZ_CHECK(rig.taken.startsWith(QByteArray("\x01\x03\xC8", 3)) && crcValid(rig.taken));
        }
    };

    // Whole: a well-formed answer is always taken, as the next request goes out.
    Rig whole;
    whole.send(request, parameter);
    const uint16_t start = whole.master.GetBlockAddress();
    whole.deliver(answer, flags & RepeatEvent);
    whole.master.PollTimerTick();
    checkTaken(whole, 0);
    if (request == Read && answer.size() == whole.master.AnswerLength() && answer.startsWith(QByteArray("\x01\x03\xC8", 3))
        && crcValid(answer)) {
        if (BlockContent::plausible(start, BlockContent::registersOf(answer)))
            FUZZ_CHECK(whole.blocks == 1);
    }

    // In pieces.
    Rig split;
    split.send(request, parameter);
    qsizetype at = 0;
    for (int n : sizes) {
        split.deliver(answer.mid(at, n), flags);
        at += qMin<qsizetype>(n, answer.size() - at);
        if (flags & TickBetweenPieces)
            split.master.PollTimerTick();
    }
    split.deliver(answer.mid(at), flags);
    split.master.PollTimerTick();
    checkTaken(split, (flags & TickBetweenPieces) ? int(sizes.size()) : 0);
    split.master.PollTimerTick();
    return 0;
}
