// Build-time packer of the manuals: tarvik-manualpack PAGE.html OUT.mht OUT.html
#include "ManualPacker.h"

#include <QSaveFile>
#include <QStringList>
#include <cstdio>

namespace {

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    std::fprintf(
        stderr, "tarvik-manualpack: %s: %s\n", qPrintable(path), qPrintable(file.errorString()));
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 4) {
        std::fputs("Usage: tarvik-manualpack PAGE.html OUT.mht OUT.html\n", stderr);
        return 2;
    }
    ManualPacker packer;
    QString error;
    if (!packer.load(QString::fromLocal8Bit(argv[1]), &error)) {
        std::fprintf(stderr, "tarvik-manualpack: %s\n", qPrintable(error));
        return 1;
    }
    const bool written = writeFile(QString::fromLocal8Bit(argv[2]), packer.mht())
        && writeFile(QString::fromLocal8Bit(argv[3]), packer.html());
    return written ? 0 : 1;
}
