#pragma once

#include "RegisterMap.h"
#include "TWriteEntry.h"

#include <QList>
#include <QStringList>
#include <array>
#include <cstdint>

// The gateway's own port settings and 1-Wire power control as the settings dialog edits them:
// which service register feeds which control, how a register value becomes a control's list
// index and back, the factory defaults, and the list of writes made from the edited controls.
class ServiceSettings
{
public:
    enum class Kind { Address, BaudRate, Parity, StopBits, Delay, PowerLine };
    // The gateway port whose frame holds a setting; the power control belongs to neither.
    enum Port { Com0 = 0, Com1 = 1, NoPort = -1 };

    struct Setting
    {
        uint16_t reg;
        Kind kind;
        Port port;
    };

    // Every setting the dialog writes, in the order the writes are sent.
    static constexpr int Count = 11;
    static constexpr std::array<Setting, Count> Settings = {{
        {ServiceRegs::Com0Address, Kind::Address, Com0},
        {ServiceRegs::Com0BaudRate, Kind::BaudRate, Com0},
        {ServiceRegs::Com0Parity, Kind::Parity, Com0},
        {ServiceRegs::Com0StopBits, Kind::StopBits, Com0},
        {ServiceRegs::Com0Delay, Kind::Delay, Com0},
        {ServiceRegs::Com1Address, Kind::Address, Com1},
        {ServiceRegs::Com1BaudRate, Kind::BaudRate, Com1},
        {ServiceRegs::Com1Parity, Kind::Parity, Com1},
        {ServiceRegs::Com1StopBits, Kind::StopBits, Com1},
        {ServiceRegs::Com1Delay, Kind::Delay, Com1},
        {ServiceRegs::PowerControl, Kind::PowerLine, NoPort},
    }};

    // Items of the power-control list; the index is the value of register 1055.
    static const QStringList PowerLineItems;

    // What a control shows for a register value: the list index, or the milliseconds of a
    // delay. The arithmetic is on 16-bit words, so an address or stop-bit count of 0 gives
    // 65535, beyond every list. A baud rate outside the table gives the first entry.
    static int controlIndex(Kind kind, uint16_t value);
    // The register value for what a control shows. A list without a selection counts as its
    // first item; a delay is truncated to whole milliseconds.
    static uint16_t registerValue(Kind kind, double shown);
    // The factory setting (address 1, 9.6 kBd, no parity, one stop bit, no delay, power on).
    static uint16_t defaultValue(Kind kind);

    // What one control shows, and whether the user changed it since it was last sent.
    struct Shown
    {
        bool marked = false;
        double value = 0; // list index (-1: none), or milliseconds
    };
    // One single-register write per marked control, in the order of Settings.
    static QList<TWriteEntry> writeList(const std::array<Shown, Count> &shown);
};
