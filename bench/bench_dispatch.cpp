// Microbenchmarks of the window's hot paths: one polled channel block into the 40 boxes, one
// frame into the traffic monitor's log, and loading a 200,000-byte firmware image with its
// hex view. Prints microseconds per operation (milliseconds for the load).
#include "TForm_Programmer.h"
#include "TMainForm.h"
#include "TrafficLog.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
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

    QTemporaryDir dir;
    const QString image = dir.filePath(QStringLiteral("image.bin"));
    QFile file(image);
    QByteArray bytes(200000, '\0');
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 7 + i / 256);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return 1;
    file.close();
    double loadMs = 0;
    for (int i = 0; i < 5; ++i) {
        TForm_Programmer programmer;
        programmer.show();
        QApplication::processEvents();
        t.restart();
        programmer.loadFile(image);
        QApplication::processEvents(); // the hex view lays out and paints
        loadMs += double(t.nsecsElapsed()) / 1e6 / 5;
    }
    std::printf("dispatch_block_us %.2f\nmonitor_frame_us %.2f\nfirmware_load_200000_bytes_ms %.1f\n", dispatchUs,
                frameUs, loadMs);
    return 0;
}
