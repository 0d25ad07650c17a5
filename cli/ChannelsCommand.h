#pragma once

struct CliContext;

// channels [--json]: the 40 channels, both lines and the versions, read once.
// watch [--count N] [--json]: the same after every round of the poll cycle, as a table or as
// one JSON object per line, until N rounds or Ctrl+C.
class ChannelsCommand
{
public:
    static int run(CliContext &ctx);
};
