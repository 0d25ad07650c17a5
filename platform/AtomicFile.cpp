#include "AtomicFile.h"

#include <QSaveFile>

bool AtomicFile::write(const QString &path, const QByteArray &bytes, QString *error)
{
    QSaveFile file(path);
    const auto fail = [&] {
        if (error)
            *error = file.errorString();
        file.cancelWriting();
        return false;
    };
    if (!file.open(QIODevice::WriteOnly))
        return fail();
    // A short write is not reported by write(); flush() and the size on disk tell.
    if (file.write(bytes) != bytes.size() || !file.flush() || file.size() != bytes.size())
        return fail();
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}
