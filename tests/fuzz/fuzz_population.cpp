// The simulator's population file: any text is taken or refused with a message naming the file
// and line, a refused one changes nothing, and the gateway it describes can be read whole.
#include "FuzzSupport.h"
#include "GatewayModel.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    startQtOnce();
    GatewayModel model(1);
    model.loadDemoPopulation();
    const int demoDevices = int(model.devices().size());
    QString error;
    const QByteArray text(reinterpret_cast<const char *>(data), qsizetype(size));
    if (!model.loadPopulationText(text, QStringLiteral("fuzz"), &error)) {
        FUZZ_CHECK(error.startsWith(QStringLiteral("fuzz:")));
        FUZZ_CHECK(model.devices().size() == demoDevices);
        return 0;
    }
    model.advance(1000);
    for (uint16_t start : {0, 100, 200, 300, 1000, 1100, 1200}) {
        QList<uint16_t> regs;
        FUZZ_CHECK(model.read(start, 100, regs) == GatewayModel::Access::Ok);
    }
    for (int c = 1; c <= 40; ++c)
        (void)model.assigned(c);
    return 0;
}
