#include "THelpOpener.h"

#include "AtomicFile.h"
#include "Prompts.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

const QString kFolderName = QStringLiteral("1-WIRE-TARVIK Tool");
const QString kMhtSuffix = QStringLiteral("mht");

QString resourcePath(const QString &resourceName, THelpOpener::Format format)
{
    return format == THelpOpener::Format::Html ? QStringLiteral(":/manuals/html/") + resourceName
                                               : QStringLiteral(":/manuals/") + resourceName;
}

} // namespace

std::optional<THelpOpener::Manual> THelpOpener::manualForTag(int tag)
{
    switch (tag) {
    case 0:
        return Manual{QStringLiteral("Morvendi_AppManualEN"), QStringLiteral("AppManual_EN")};
    case 1:
        return Manual{QStringLiteral("Morvendi_TARVIKManualEN"), QStringLiteral("TARVIKManual_EN")};
    default:
        return std::nullopt;
    }
}

QString THelpOpener::defaultApplicationFolder()
{
    // Qt's application data location is "<per-user data>/<organisation>/<application>"; the
    // tool's folder sits directly in the per-user data folder (the roaming one on Windows).
    QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (data.isEmpty())
        return {};
    for (const QString &part :
        {QCoreApplication::applicationName(), QCoreApplication::organizationName()}) {
        if (!part.isEmpty() && QFileInfo(data).fileName() == part)
            data = QFileInfo(data).path();
    }
    return data + QLatin1Char('/') + kFolderName;
}

THelpOpener::Format THelpOpener::nativeFormat()
{
#ifdef Q_OS_WIN
    return Format::Mht;
#else
    return Format::Html;
#endif
}

THelpOpener::THelpOpener(const QString &applicationFolder)
    : m_applicationFolder(applicationFolder)
    , m_openUrl([](const QUrl &url) { return QDesktopServices::openUrl(url); })
{
}

THelpOpener::~THelpOpener()
{
    removeWrittenFiles();
}

bool THelpOpener::OpenManualForTag(int tag)
{
    const std::optional<Manual> manual = manualForTag(tag);
    return manual && OpenManual(manual->fileName, manual->resourceName);
}

bool THelpOpener::OpenManual(
    const QString &fileName, const QString &resourceName, const QString &defaultExtension)
{
    QString name = fileName;
    if (QFileInfo(name).suffix().isEmpty())
        name += defaultExtension.startsWith(QLatin1Char('.')) ? defaultExtension
                                                              : QLatin1Char('.') + defaultExtension;

    // Where browsers do not open MIME HTML, the same manual goes out as a plain page.
    QString resource = resourcePath(resourceName, Format::Mht);
    if (m_format == Format::Html
        && QFileInfo(name).suffix().compare(kMhtSuffix, Qt::CaseInsensitive) == 0
        && QFile::exists(resourcePath(resourceName, Format::Html))) {
        name.chop(kMhtSuffix.size());
        name += QStringLiteral("html");
        resource = resourcePath(resourceName, Format::Html);
    }

    QFile source(resource);
    if (resourceName.isEmpty() || !source.open(QIODevice::ReadOnly)) {
        Prompts::current().error(
            QStringLiteral("The manual \"%1\" is not part of this program.").arg(resourceName));
        return false;
    }
    const QByteArray bytes = source.readAll() + "\r\n";

    const QString path = helpFolder() + QLatin1Char('/') + name;
    QString reason;
    if (m_applicationFolder.isEmpty() || !QDir().mkpath(helpFolder())
        || !AtomicFile::write(path, bytes, &reason)) {
        if (reason.isEmpty())
            reason = QStringLiteral("the folder %1 cannot be created")
                         .arg(QDir::toNativeSeparators(helpFolder()));
        Prompts::current().error(QStringLiteral("Cannot write the manual to %1: %2.")
                                     .arg(QDir::toNativeSeparators(path), reason));
        return false;
    }
    if (!m_written.contains(path))
        m_written.append(path);

    if (!m_openUrl(QUrl::fromLocalFile(path))) {
        Prompts::current().warning(
            QStringLiteral("The manual was saved as %1, but the system could not open it. "
                           "Open that file with a web browser.")
                .arg(QDir::toNativeSeparators(path)));
        return false;
    }
    return true;
}

void THelpOpener::removeWrittenFiles()
{
    for (const QString &path : std::as_const(m_written))
        QFile::remove(path);
    m_written.clear();
    if (m_applicationFolder.isEmpty())
        return;
    // rmdir removes a folder only when it is empty, so whatever else lies there stays.
    QDir().rmdir(helpFolder());
    QDir().rmdir(m_applicationFolder);
}
