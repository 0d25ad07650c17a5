#pragma once

#include <QList>
#include <QString>
#include <cstdint>

class CommandArgs;
struct CliContext;

// read REG [COUNT] [--format dec|hex|signed] [--json]: COUNT (1-125) holding registers from REG
// with function 03, one line "REG VALUE" each, or a JSON array of {"register", "value"}.
// write REG VALUE [VALUE...] [--yes]: one value with function 06, several (up to 121) with
// function 16 into REG, REG+1, ... A register the tool itself uses for a setting, a command,
// the firmware update or a channel's ROM code is written only after Yes: --yes, or the
// question at a terminal; without one the write is refused (exit code 2) naming the register.
// Each is one request of its own in the poll cycle's next free slot, its answer taken by the
// cycle's rules. A read whose answer is lost is asked again, three times in all; a write is
// not, since the gateway may have carried it out.
class RegisterCommand
{
public:
    enum class Format { Decimal, Hex, Signed };

    static int run(CliContext &ctx);

    // "265", "0x0109", "-1" (a word above 32767 as a signed one).
    static QString valueText(uint16_t value, Format format);
    // The lines read prints: the register, then its value.
    static QString table(uint16_t first, const QList<uint16_t> &values, Format format);
    static QString json(uint16_t first, const QList<uint16_t> &values, Format format);

private:
    static int read(CliContext &ctx, CommandArgs &args);
    static int write(CliContext &ctx, CommandArgs &args);
    // Asks before a write that reaches registers the tool gives a role; throws the usage
    // failure when the answer is not Yes.
    static void confirmRoles(CliContext &ctx, uint16_t first, int count);
};
