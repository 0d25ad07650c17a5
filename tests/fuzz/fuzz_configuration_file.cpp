// The gateway configuration backup as the tool reads it back: any bytes must be taken as 40
// channel records or refused, and what is taken must write back to a file that reads the same.
#include "ConfigurationFile.h"
#include "FuzzSupport.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    startQtOnce();
    const QString path = writeScratchFile(data, size, ".cfg");
    QList<TChannelRecord> records;
    if (ConfigurationFile::read(path, records) != ConfigurationFile::ReadResult::Ok)
        return 0;
    FUZZ_CHECK(records.size() == ConfigurationFile::RecordCount);
    const QByteArray again = ConfigurationFile::encode(records);
    FUZZ_CHECK(again.size() == ConfigurationFile::FileSize);
    const auto decoded = ConfigurationFile::decode(again);
    FUZZ_CHECK(decoded && *decoded == records);
    return 0;
}
