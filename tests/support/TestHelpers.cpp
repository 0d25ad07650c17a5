#include "TestHelpers.h"

#include "CommSettings.h"

#include <QFile>
#include <QSettings>
#include <memory>

void clearStoredSettings()
{
    const std::unique_ptr<QSettings> store(CommSettings::openStore());
    store->clear();
    store->sync();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}
