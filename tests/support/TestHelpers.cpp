#include "TestHelpers.h"

#include "CommSettings.h"

#include <QSettings>
#include <memory>

void clearStoredSettings()
{
    const std::unique_ptr<QSettings> store(CommSettings::openStore());
    store->clear();
    store->sync();
}
