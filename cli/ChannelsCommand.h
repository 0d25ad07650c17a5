#pragma once

struct CliContext;

// channels [--json]: the 40 channels, both lines and the versions, read once.
// watch [--count N] [--json]: the same after every round of the poll cycle, as a table or as
// one JSON object per line, until N rounds or Ctrl+C.
// With several addresses, every gateway on the line is read at once: a table per gateway
// under its address, a JSON array of them, or (watch --json) a JSON object per gateway and
// round, each with its "address".
class ChannelsCommand
{
public:
    static int run(CliContext &ctx);

private:
    static int onBus(CliContext &ctx, bool watch, bool json, int rounds);
};
