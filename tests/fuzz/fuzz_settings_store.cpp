// The connection and recorder settings read from the settings store: whatever the INI file
// holds, every value read is within its list, and the recorder period within its limits.
#include "CommSettings.h"
#include "FuzzSupport.h"
#include "RecorderSettings.h"

#include <QFile>
#include <QSettings>
#include <sanitizer/common_interface_defs.h>
#include <cstddef>
#include <cstdint>

// A stored "@Variant(...)" value is Qt's binary serialisation, decoded when QSettings reads the
// group. A damaged one can announce a length of gigabytes: Qt asks for that much and, when the
// allocation fails, reads the value as corrupt; when it succeeds, untouched pages cost nothing.
// Under the sanitizer such an allocation would stop the run, or touch its shadow (an eighth of
// it), so here allocations past 256 MiB fail and return null, as on a small machine.
extern "C" const char *__asan_default_options()
{
    return "allocator_may_return_null=1:max_allocation_size_mb=256";
}

// The sanitizer notes each refused allocation as a warning; on the terminal, not as a report file
// that the sanitizer suite would count as a finding. A real finding still ends the run.
extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    __sanitizer_set_report_path("stderr");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    startQtOnce();
    // A new name each time: QSettings keeps what it parsed of a file by its name.
    static unsigned long n = 0;
    const QString path = writeScratchFile(data, size, qPrintable(QStringLiteral("-%1.ini").arg(++n)));
    CommSettings::redirectStore(path);
    QSettings store(path, QSettings::IniFormat);
    const CommSettings c = CommSettings::load(store);
    FUZZ_CHECK(c.baudIndex >= 0 && c.baudIndex < CommSettings::BaudCount);
    FUZZ_CHECK(c.addressIndex >= 0 && c.addressIndex < CommSettings::AddressCount);
    FUZZ_CHECK(c.parityIndex >= 0 && c.parityIndex < CommSettings::ParityCount);
    FUZZ_CHECK(c.stopBitIndex >= 0 && c.stopBitIndex < CommSettings::StopBitCount);
    FUZZ_CHECK(!c.comNumber || (*c.comNumber >= 1 && *c.comNumber <= CommSettings::MaxComNumber));
    FUZZ_CHECK(!c.portName || !c.portName->trimmed().isEmpty());
    const int period = RecorderSettings::period();
    FUZZ_CHECK(period >= RecorderSettings::MinPeriod && period <= RecorderSettings::MaxPeriod);
    QFile::remove(path);
    return 0;
}
