#pragma once

// Queue sizes of the serial port component: the driver's input queue and the output buffer
// that a write must fit into.
inline constexpr int kInBufSize = 4096;
inline constexpr int kOutBufSize = 2048;
