// The firmware file loader: any file loads into the 200,002-byte image with its bytes first and
// 0xFF after them, or is refused leaving the image loaded before.
#include "FirmwareImage.h"
#include "FuzzSupport.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    startQtOnce();
    static FirmwareImage image; // kept between inputs: a refused file must leave it alone
    const QByteArray before = image.ImageBuffer();
    const int beforeLength = image.ImageLength();
    const QString path = writeScratchFile(data, size, ".bin");
    const FirmwareImage::LoadResult result = image.load(path);
    const QByteArray &buffer = image.ImageBuffer();
    FUZZ_CHECK(buffer.size() == FirmwareImage::Capacity);
    if (result == FirmwareImage::LoadResult::Ok) {
        FUZZ_CHECK(image.ImageLength() == int(size));
        FUZZ_CHECK(std::memcmp(buffer.constData(), data, size) == 0);
        static const QByteArray erased(FirmwareImage::Capacity, char(0xFF));
        FUZZ_CHECK(std::memcmp(buffer.constData() + size, erased.constData(), buffer.size() - size) == 0);
        FUZZ_CHECK(image.hexText().size() >= 3 * qsizetype(size));
    } else {
        FUZZ_CHECK(image.ImageLength() == beforeLength && buffer == before);
    }
    return 0;
}
