#pragma once

#include <array>
#include <cstdint>

// The gateway's holding registers as the tool uses them. No other code carries raw register
// numbers: it names them through this header.

// Seven blocks of 100 registers, read in this order by index.
inline constexpr int PollBlockCount = 7;
inline constexpr int PollBlockSize = 100;
inline constexpr std::array<uint16_t, PollBlockCount> PollBlocks = {0, 100, 200, 300,
                                                                    1000, 1100, 1200};
inline constexpr int ServiceBlockIndex = 4;
inline constexpr int FoundListBlockIndex[2] = {5, 6};

// Channels 1..40: 1..20 on line 1, 21..40 on line 2; ten registers each from register 0.
namespace ChannelMap {
inline constexpr int ChannelCount = 40;
inline constexpr int ChannelsPerLine = 20;
inline constexpr int RecordSize = 10;
inline constexpr int RomWords = 4;
inline constexpr int ValueCount = 5;
inline constexpr int RomOffset = 0;    // four ROM code words
inline constexpr int ValueOffset = 4;  // Value1..Value5
inline constexpr int StatusOffset = 9; // the low byte is the channel status
inline constexpr int ChannelsPerBlock = PollBlockSize / RecordSize;

inline constexpr bool isChannel(int c) { return c >= 1 && c <= ChannelCount; }
// First register of channel c's record.
inline constexpr uint16_t recordAddress(int c) { return uint16_t((c - 1) * RecordSize); }
// Index into PollBlocks of the block holding channel c.
inline constexpr int blockIndexOf(int c) { return (c - 1) / ChannelsPerBlock; }
// Line 0 or 1 of channel c.
inline constexpr int lineOf(int c) { return (c - 1) / ChannelsPerLine; }
} // namespace ChannelMap

// The service block at 1000.
namespace ServiceRegs {
inline constexpr uint16_t Start = 1000;
inline constexpr uint16_t FirmwareVersion = 1000;
inline constexpr uint16_t Com0Address = 1001;
inline constexpr uint16_t Com0BaudRate = 1002; // in units of 100 Bd
inline constexpr uint16_t Com1Address = 1003;
inline constexpr uint16_t Com1BaudRate = 1004;
inline constexpr uint16_t Com0StopBits = 1005; // 1 or 2
inline constexpr uint16_t Com0Parity = 1006;   // 0 none, 1 odd, 2 even
inline constexpr uint16_t Com1StopBits = 1007;
inline constexpr uint16_t Com1Parity = 1008;
inline constexpr uint16_t HardwareVersion = 1009;
// Per line l (0 or 1): command register, operation status, ROM code found by "find new".
inline constexpr uint16_t CommandRegister[2] = {1010, 1020};
inline constexpr uint16_t OperationStatus[2] = {1011, 1021};
inline constexpr uint16_t NewRomCode[2] = {1012, 1022};
inline constexpr uint16_t Com0Delay = 1053; // answer delay, ms
inline constexpr uint16_t Com1Delay = 1054;
inline constexpr uint16_t PowerControl = 1055; // 1-Wire lines power control, 0..5

// Offset of a service register within the service block.
inline constexpr int offset(uint16_t reg) { return reg - Start; }
// The command register of channel c (1..40).
inline constexpr uint16_t commandRegisterOf(int c) { return CommandRegister[ChannelMap::lineOf(c)]; }
} // namespace ServiceRegs

// Found-device lists: 20 records of five registers per line, at 1100 and 1200. Registers 0..3
// of a record are the ROM code, register 4 the device's index in the gateway's list.
namespace FoundList {
inline constexpr uint16_t Start[2] = {1100, 1200};
inline constexpr int RecordSize = 5;
inline constexpr int RecordCount = 20;
inline constexpr int IndexOffset = 4;
inline constexpr uint16_t recordAddress(int line, int k) { return uint16_t(Start[line] + RecordSize * k); }
} // namespace FoundList

// Firmware update: register 1375 carries a chunk's byte offset, 1376..1471 its 192 bytes; a
// single write of 1376 erases a page.
namespace FirmwareRegs {
inline constexpr uint16_t ChunkOffset = 1375;
inline constexpr uint16_t ErasePage = 1376;
inline constexpr uint16_t DataFirst = 1376;
inline constexpr uint16_t DataLast = 1471;
inline constexpr int ChunkBytes = 192;
} // namespace FirmwareRegs

// Command words written to a line's command register; CC is the zero-based channel 0..39.
namespace Command {
inline constexpr uint16_t FindNew = 0x05FF;
inline constexpr uint16_t FindNewAll = 0x06FF;
inline constexpr uint16_t FindAll = 0x07FF;
inline constexpr uint16_t SaveNewBase = 0x0900;    // + CC
inline constexpr uint16_t DeleteBase = 0x0F00;     // + CC
inline constexpr uint16_t SaveFoundFlag = 0x8000;  // + 256 x index + CC
inline constexpr uint16_t saveFound(int index, int cc) { return uint16_t(((0x80 + index) << 8) + cc); }
} // namespace Command

// Operation status words the gateway reports after a command.
namespace OperationStatus {
inline constexpr uint16_t NoCommand = 0x0000;
inline constexpr uint16_t ChannelOutOfRange = 0xEEE1;
inline constexpr uint16_t UnsupportedCommand = 0xEEE2;
inline constexpr uint16_t RomReadError = 0xEEE3;
inline constexpr uint16_t RomCrcError = 0xEEE4;
inline constexpr uint16_t Ok = 0xFFFF;
} // namespace OperationStatus

// Channel status codes (low byte of a channel's status register).
namespace ChannelStatus {
inline constexpr uint8_t Ok = 0;
inline constexpr uint8_t LineInHigh = 1;
inline constexpr uint8_t ShortCircuit = 2;
inline constexpr uint8_t UnsupportedFamily = 3;
inline constexpr uint8_t CrcError = 4;
inline constexpr uint8_t Timeout = 5;
inline constexpr uint8_t NotRead = 254;
inline constexpr uint8_t FreePosition = 255;
} // namespace ChannelStatus
