// The channel descriptions file as the tool loads it, in both numbering modes: any bytes must
// load without a crash into exactly 40 records, or be refused.
#include "DescriptionFile.h"
#include "FuzzSupport.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    startQtOnce();
    const QString path = writeScratchFile(data, size, ".txt");
    for (int numbering : {0, 1}) {
        QList<TDescriptionRecord> records;
        const DescriptionFile::LoadResult result = DescriptionFile::load(path, numbering, records);
        if (result == DescriptionFile::LoadResult::Ok)
            FUZZ_CHECK(records.size() == DescriptionFile::RecordCount);
    }
    return 0;
}
