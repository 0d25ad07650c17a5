#pragma once

struct CliContext;

// scan [--bauds LIST] [--addresses RANGE]: finds a gateway whose speed and address are not
// known (GatewayFinder does the search), printing each device that answered twice and, at the
// end, how many pairs were tried. Ctrl+C ends the search.
class ScanCommand
{
public:
    static int run(CliContext &ctx);
};
