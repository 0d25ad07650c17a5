// ROM code text as a user types or pastes it: the input is read as UTF-8, as Latin-1 and as
// UTF-16. A text that parses must print back as itself in upper case and parse to the same
// words again; a text that does not parse must leave the words alone. The first eight bytes,
// taken as words, must print as 16 hex digits that parse back to them.
#include "FuzzSupport.h"
#include "RomCode.h"

#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

void roundTrip(const QString &text)
{
    const RomCode::Words untouched{0x1234, 0x5678, 0x9ABC, 0xDEF0};
    RomCode::Words words = untouched;
    if (!RomCode::ParseRomCode(text, words)) {
        FUZZ_CHECK(words == untouched);
        return;
    }
    const QString printed = RomCode::toText(words);
    FUZZ_CHECK(printed == text.toUpper());
    RomCode::Words again{};
    FUZZ_CHECK(RomCode::ParseRomCode(printed, again));
    FUZZ_CHECK(again == words);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const char *chars = reinterpret_cast<const char *>(data);
    roundTrip(QString::fromUtf8(chars, qsizetype(size)));
    roundTrip(QString::fromLatin1(chars, qsizetype(size)));
    std::u16string units(size / 2, u'\0');
    std::memcpy(units.data(), data, units.size() * 2);
    roundTrip(QString::fromStdU16String(units));

    if (size >= 8) {
        RomCode::Words words{};
        for (size_t i = 0; i < 4; ++i)
            words[i] = uint16_t(data[2 * i] << 8 | data[2 * i + 1]);
        const QString text = RomCode::toText(words);
        FUZZ_CHECK(text.size() == 16);
        RomCode::Words back{};
        FUZZ_CHECK(RomCode::ParseRomCode(text, back));
        FUZZ_CHECK(back == words);
    }
    return 0;
}
