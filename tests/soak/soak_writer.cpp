// Writes one kind of file over and over until it is killed: soak_writer backup|descriptions|csv
// PATH. Backups and descriptions alternate between two versions (A and B, see KillVersions.h);
// the CSV log is opened for appending and gets rows with awkward cells.
#include "ConfigurationFile.h"
#include "DescriptionFile.h"
#include "KillVersions.h"
#include "TCSVFileRecorder.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3)
        return 2;
    const QByteArray mode = argv[1];
    const QString path = QString::fromLocal8Bit(argv[2]);
    QString error;
    std::printf("writing\n");
    std::fflush(stdout);
    if (mode == "csv") {
        auto log = TCSVFileRecorder::open(path, true, &error, QLocale::c());
        if (!log)
            return 1;
        for (long row = 0;; ++row)
            if (!log->WriteRow(KillVersions::csvRow(row)))
                return 1;
    }
    for (long i = 0;; ++i) {
        const bool ok = mode == "backup"
                            ? ConfigurationFile::write(path, KillVersions::backup(i % 2), &error)
                            : DescriptionFile::write(path, KillVersions::descriptions(i % 2), &error);
        if (!ok) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
    }
}
