#pragma once

class TFrame_Komunikace;

// The connection panel's choices kept in the user's settings store between runs: the port
// (only one the user chose, or that was restored), speed, address, parity, stop bits and the
// USB box.
class PanelSettings
{
public:
    static void restore(TFrame_Komunikace &panel);
    static void save(const TFrame_Komunikace &panel);
};
