#pragma once

#include <array>
#include <cstdint>

// The gateway's holding registers as the tool reads them: seven blocks of 100 registers, read
// in this order by index.
inline constexpr int PollBlockCount = 7;
inline constexpr int PollBlockSize = 100;
inline constexpr std::array<uint16_t, PollBlockCount> PollBlocks = {0, 100, 200, 300,
                                                                    1000, 1100, 1200};
