// Built into every test program: before main runs, the tool's settings store and the per-user
// folders point into a temporary folder of this run, so a test program started by hand (not
// through CTest) never reads or clears the user's real settings. Without a platform named,
// widgets are drawn offscreen, as under CTest.
#include "CommSettings.h"

#include <QByteArray>
#include <QDir>
#include <QTemporaryDir>

namespace {

struct IsolatedSettings
{
    QTemporaryDir dir{QDir::tempPath() + QStringLiteral("/tarvik-test-XXXXXX")};

    IsolatedSettings()
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath(QStringLiteral("config"))));
        qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath(QStringLiteral("data"))));
        CommSettings::redirectStore(dir.filePath(QStringLiteral("settings.ini")));
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
    }
};

const IsolatedSettings isolatedSettings;

} // namespace
