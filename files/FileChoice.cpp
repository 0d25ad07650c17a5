#include "FileChoice.h"

#include "Prompts.h"

#include <QFileInfo>

QString FileChoice::withExtension(const QString &path, const QString &extension)
{
    const QFileInfo info(path);
    if (info.exists() || info.isSymLink() || !info.suffix().isEmpty())
        return path;
    return path + QLatin1Char('.') + extension;
}

bool FileChoice::isDeviceOrPipe(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return false;
#ifdef Q_OS_UNIX
    if (path.startsWith(QLatin1String("/dev/")) || path.startsWith(QLatin1String("/proc/")))
        return true;
#endif
    return !info.isFile();
}

QString FileChoice::askSaveName(const QString &caption, const QString &filter, const QString &extension)
{
    for (;;) {
        const QString chosen = Prompts::current().saveFile(caption, filter, QString(), QString());
        if (chosen.isEmpty())
            return {};
        const QString path = withExtension(chosen, extension);
        if (!QFileInfo::exists(path)
            || Prompts::current().confirm(QStringLiteral("%1 already exists. Do you want to rewrite it?").arg(path),
                                          Prompts::Question::WarningYesNo))
            return path;
    }
}

QString FileChoice::askOpenName(const QString &caption, const QString &filter, const QString &extension)
{
    for (;;) {
        const QString chosen = Prompts::current().openFile(caption, filter, QString());
        if (chosen.isEmpty())
            return {};
        // A name typed without its extension means the file with it.
        const QString path = QFileInfo::exists(chosen) ? chosen : withExtension(chosen, extension);
        if (QFileInfo::exists(path))
            return path;
        Prompts::current().information(QStringLiteral("File does not exist."));
    }
}
