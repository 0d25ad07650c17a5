// Microbenchmarks of the window's hot paths: one polled channel block into the 40 boxes, and
// one frame into the traffic monitor's log. Prints microseconds per operation.
#include "TMainForm.h"
#include "TrafficLog.h"

#include <QApplication>
#include <QElapsedTimer>
#include <cstdio>

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TMainForm form;
    form.setPersistSettings(false);
    std::array<uint16_t, PollBlockSize> block{};
    for (int k = 0; k < 10; ++k) {
        block[size_t(10 * k)] = 0x28FF;
        block[size_t(10 * k + 4)] = uint16_t(200 + k);
    }
    const int blocks = 20000;
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < blocks; ++i) {
        block[4] = uint16_t(200 + i % 50);
        form.DispatchBlock(block, uint16_t(100 * (i % 4)));
    }
    const double dispatchUs = double(t.nsecsElapsed()) / 1000.0 / blocks;

    TrafficLog log;
    const QByteArray request = QByteArray::fromHex("010300000064442" "1");
    QByteArray answer(205, '\0');
    const int frames = 200000;
    t.restart();
    for (int i = 0; i < frames / 2; ++i) {
        log.addSent(request);
        log.addReceived(answer);
    }
    const double frameUs = double(t.nsecsElapsed()) / 1000.0 / frames;
    std::printf("dispatch_block_us %.2f\nmonitor_frame_us %.2f\n", dispatchUs, frameUs);
    return 0;
}
