#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>
#include <optional>

// Opens the manuals that travel inside the program. A manual is a Qt resource; asking for it
// writes it into the help folder under the user's application data folder and hands the file to
// the system's viewer. At exit the opener removes the files it wrote, then the help folder and
// the application folder if nothing else is left in them: a user's own files stay.
//
// Each manual is packed twice at build time: as one MIME HTML document (".mht", the form
// Windows viewers open) and as one self-contained ".html" page with its pictures inline, for
// systems whose browsers do not open ".mht".
class THelpOpener
{
public:
    enum class Format { Mht, Html };
    // Opens a file with the system's viewer; false when the system reports that it could not.
    using UrlOpener = std::function<bool(const QUrl &url)>;

    struct Manual
    {
        QString fileName; // without extension: the default one is added
        QString resourceName; // under ":/manuals/"
    };
    // The manual of a Help menu item by the item's tag: 0 the tool's manual, 1 the gateway's.
    static std::optional<Manual> manualForTag(int tag);

    static constexpr const char *DefaultExtension = ".mht";
    // "<per-user application data>/1-WIRE-TARVIK Tool" (needs the application's name set).
    static QString defaultApplicationFolder();
    // The form this system's browsers open: ".mht" on Windows, the ".html" page elsewhere.
    static Format nativeFormat();

    explicit THelpOpener(const QString &applicationFolder = defaultApplicationFolder());
    ~THelpOpener();
    THelpOpener(const THelpOpener &) = delete;
    THelpOpener &operator=(const THelpOpener &) = delete;

    // The viewer is QDesktopServices::openUrl unless another is set (tests).
    void setUrlOpener(UrlOpener opener) { m_openUrl = std::move(opener); }
    void setFormat(Format format) { m_format = format; }

    QString applicationFolder() const { return m_applicationFolder; }
    QString helpFolder() const { return m_applicationFolder + QStringLiteral("/Help"); }

    // Writes the resource's bytes, followed by CR LF, into the help folder as fileName (with
    // defaultExtension added when it has none), replacing a former file, and opens it. A failure
    // is shown through the prompts: a missing resource, a file that cannot be written, a viewer
    // that cannot be started (naming the file). True when the manual was handed to the viewer.
    bool OpenManual(const QString &fileName, const QString &resourceName,
        const QString &defaultExtension = QString::fromLatin1(DefaultExtension));
    // OpenManual with the row of the manual table; an unknown tag does nothing (false).
    bool OpenManualForTag(int tag);

    // Files written so far, in the order first written.
    const QStringList &writtenFiles() const { return m_written; }

private:
    void removeWrittenFiles();

    QString m_applicationFolder;
    Format m_format = nativeFormat();
    UrlOpener m_openUrl;
    QStringList m_written;
};
