#pragma once

#include "RegisterMap.h"

#include <QString>
#include <array>
#include <cstdint>

class GatewaySession;
struct CliContext;

// The search and device commands of the window's search panels and sensor boxes:
// find-new LINE, find-new-all LINE, find-all LINE, save-new CH, save-found INDEX CH,
// delete CH and write-rom CH CODE. Each command word goes through the poll cycle's write
// queue (a ROM code is written at once, as the window does), then the command waits for the
// blocks read afterwards and prints the gateway's answer: the command register, the
// operation status with the New field or the found list, or the channel. A status other
// than OK, or a command the gateway did not take, ends with exit code 1. A ROM code that fails
// its 1-Wire CRC is written only with --force.
class DeviceCommand
{
public:
    static int run(CliContext &ctx);

private:
    using Block = std::array<uint16_t, PollBlockSize>;

    DeviceCommand(CliContext &ctx, GatewaySession &session) : m_ctx(ctx), m_session(session) {}

    int search(int line, uint16_t word, bool listsDevices);
    int channelCommand(int channel, uint16_t word, int commandLine);
    int writeRom(int channel, const std::array<uint16_t, 4> &rom);
    // Prints the command register and the operation status of a line; the exit code they mean.
    int report(const Block &service, int line, uint16_t word);
    void printChannel(int channel);

    CliContext &m_ctx;
    GatewaySession &m_session;
};
