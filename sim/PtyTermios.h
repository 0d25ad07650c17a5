#pragma once

#include <cstdint>

// The baud rate of a terminal as the kernel holds it, including rates outside the classic
// table (set by QSerialPort through BOTHER). Kept apart because the kernel's terminal headers
// clash with the C library's.
uint32_t ptyBaudRate(int fd);
