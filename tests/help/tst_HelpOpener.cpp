// Opening the manuals: where they are written, what is written and opened, what is left behind
// at exit, and what the user is told when something fails.
#include "ScriptedPrompts.h"
#include "THelpOpener.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

// A file's or a resource's bytes; empty when it cannot be read.
QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// Stands in for the system's viewer: shows nothing, remembers what it was asked to open.
struct RecordingViewer
{
    QList<QUrl> opened;
    bool succeeds = true;
    explicit RecordingViewer(THelpOpener &opener)
    {
        opener.setUrlOpener([this](const QUrl &url) {
            opened.append(url);
            return succeeds;
        });
    }
};

} // namespace

class tst_HelpOpener : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // As the tool names itself at start.
        QCoreApplication::setApplicationName(QStringLiteral("1-WIRE-TARVIK Tool"));
        QCoreApplication::setOrganizationName(QStringLiteral("Quarnel"));
    }

    void helpFolderLiesInThePerUserDataFolder()
    {
        // Each test program's per-user data folder is a temporary one (XDG_DATA_HOME).
        const QString data = qEnvironmentVariable("XDG_DATA_HOME");
        QVERIFY(data.startsWith(QDir::tempPath()));
        THelpOpener opener;
        QCOMPARE(opener.helpFolder(), data + QStringLiteral("/1-WIRE-TARVIK Tool/Help"));
        QVERIFY(!QFileInfo::exists(opener.applicationFolder())); // nothing is made until needed
        QVERIFY(!opener.OpenManualForTag(2)); // no such Help item
        QVERIFY(!QFileInfo::exists(opener.applicationFolder()));
    }

    void pressingF1TwiceWritesAndOpensTheManualTwice_data()
    {
        QTest::addColumn<int>("tag");
        QTest::addColumn<THelpOpener::Format>("format");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("resourcePath");
        QTest::newRow("tool manual, .mht")
            << 0 << THelpOpener::Format::Mht << "Morvendi_AppManualEN.mht"
            << ":/manuals/AppManual_EN";
        QTest::newRow("tool manual, .html")
            << 0 << THelpOpener::Format::Html << "Morvendi_AppManualEN.html"
            << ":/manuals/html/AppManual_EN";
        QTest::newRow("gateway manual, .mht")
            << 1 << THelpOpener::Format::Mht << "Morvendi_TARVIKManualEN.mht"
            << ":/manuals/TARVIKManual_EN";
    }
    void pressingF1TwiceWritesAndOpensTheManualTwice()
    {
        QFETCH(int, tag);
        QFETCH(THelpOpener::Format, format);
        QFETCH(QString, fileName);
        QFETCH(QString, resourcePath);
        ScriptedPrompts prompts;
        THelpOpener opener; // in the per-user data folder, as in the program
        opener.setFormat(format);
        RecordingViewer viewer(opener);
        const QString path = opener.helpFolder() + QLatin1Char('/') + fileName;
        const QByteArray expected = fileBytes(resourcePath) + "\r\n";
        QVERIFY(expected.size() > 1000);

        QVERIFY(opener.OpenManualForTag(tag));
        writeFile(path, "changed by someone"); // the second request writes it anew
        QVERIFY(opener.OpenManualForTag(tag));
        QCOMPARE(fileBytes(path), expected);
        QCOMPARE(
            viewer.opened, (QList<QUrl>{QUrl::fromLocalFile(path), QUrl::fromLocalFile(path)}));
        QCOMPARE(opener.writtenFiles(), QStringList{path});
        QVERIFY(prompts.shown().isEmpty());
    }

    void fileNameKeepsItsOwnExtension_data()
    {
        QTest::addColumn<QString>("given");
        QTest::addColumn<THelpOpener::Format>("format");
        QTest::addColumn<QString>("written");
        QTest::newRow("own kept") << "Guide.txt" << THelpOpener::Format::Mht << "Guide.txt";
        QTest::newRow("own kept, page form")
            << "Guide.txt" << THelpOpener::Format::Html << "Guide.txt";
        QTest::newRow("none, page form") << "Guide" << THelpOpener::Format::Html << "Guide.html";
    }
    void fileNameKeepsItsOwnExtension()
    {
        QFETCH(QString, given);
        QFETCH(THelpOpener::Format, format);
        QFETCH(QString, written);
        QTemporaryDir dir;
        THelpOpener opener(dir.filePath(QStringLiteral("app")));
        opener.setFormat(format);
        RecordingViewer viewer(opener);
        QVERIFY(opener.OpenManual(given, QStringLiteral("AppManual_EN"), QStringLiteral(".mht")));
        QCOMPARE(QDir(opener.helpFolder()).entryList(QDir::Files), QStringList{written});
    }

    void exitRemovesOnlyWhatTheProgramWrote_data()
    {
        QTest::addColumn<QString>("usersFile"); // relative to the application folder
        QTest::addColumn<bool>("helpFolderStays");
        QTest::addColumn<bool>("applicationFolderStays");
        QTest::newRow("nothing else there") << QString() << false << false;
        QTest::newRow("user's file in the help folder") << "Help/my notes.txt" << true << true;
        QTest::newRow("user's file in the application folder") << "keep.cfg" << false << true;
    }
    void exitRemovesOnlyWhatTheProgramWrote()
    {
        QFETCH(QString, usersFile);
        QFETCH(bool, helpFolderStays);
        QFETCH(bool, applicationFolderStays);
        QTemporaryDir dir;
        const QString app = dir.filePath(QStringLiteral("1-WIRE-TARVIK Tool"));
        QStringList written;
        {
            THelpOpener opener(app);
            RecordingViewer viewer(opener);
            QVERIFY(opener.OpenManualForTag(0));
            QVERIFY(opener.OpenManualForTag(1));
            if (!usersFile.isEmpty())
                writeFile(app + QLatin1Char('/') + usersFile, "mine");
            written = opener.writtenFiles();
            QCOMPARE(written.size(), 2);
        }
        for (const QString &path : written)
            QVERIFY(!QFileInfo::exists(path));
        QCOMPARE(QFileInfo::exists(app + QStringLiteral("/Help")), helpFolderStays);
        QCOMPARE(QFileInfo::exists(app), applicationFolderStays);
        if (!usersFile.isEmpty())
            QCOMPARE(fileBytes(app + QLatin1Char('/') + usersFile), QByteArray("mine"));
    }

    void viewerThatCannotStartIsReportedWithThePath()
    {
        QTemporaryDir dir;
        ScriptedPrompts prompts;
        THelpOpener opener(dir.filePath(QStringLiteral("app")));
        opener.setFormat(THelpOpener::Format::Html);
        RecordingViewer viewer(opener);
        viewer.succeeds = false;
        QVERIFY(!opener.OpenManualForTag(0));
        const QString path = opener.helpFolder() + QStringLiteral("/Morvendi_AppManualEN.html");
        QVERIFY(QFileInfo::exists(path)); // written: the user can open it by hand
        QCOMPARE(prompts.shown().size(), 1);
        QCOMPARE(prompts.shown()[0].kind, ScriptedPrompts::Kind::Warning);
        QVERIFY2(prompts.shown()[0].text.contains(QDir::toNativeSeparators(path)),
            qPrintable(prompts.shown()[0].text));
    }

    void nothingIsOpenedWhenTheManualCannotBeWritten_data()
    {
        QTest::addColumn<QString>("resourceName");
        QTest::addColumn<bool>("folderBlocked");
        QTest::addColumn<QString>("named");
        QTest::newRow("resource missing") << "NoSuchManual" << false << "NoSuchManual";
        QTest::newRow("help folder cannot be made")
            << "AppManual_EN" << true << "Morvendi_AppManualEN.mht";
    }
    void nothingIsOpenedWhenTheManualCannotBeWritten()
    {
        QFETCH(QString, resourceName);
        QFETCH(bool, folderBlocked);
        QFETCH(QString, named);
        QTemporaryDir dir;
        const QString app = dir.filePath(QStringLiteral("app"));
        if (folderBlocked)
            writeFile(app + QStringLiteral("/Help"), "a file where the folder should be");
        ScriptedPrompts prompts;
        {
            THelpOpener opener(app);
            opener.setFormat(THelpOpener::Format::Mht);
            RecordingViewer viewer(opener);
            QVERIFY(!opener.OpenManual(QStringLiteral("Morvendi_AppManualEN"), resourceName));
            QVERIFY(viewer.opened.isEmpty());
            QVERIFY(opener.writtenFiles().isEmpty());
            QCOMPARE(prompts.texts(ScriptedPrompts::Kind::Error).size(), 1);
            QVERIFY2(
                prompts.texts(ScriptedPrompts::Kind::Error)[0].contains(named), qPrintable(named));
        }
        QCOMPARE(QFileInfo(app + QStringLiteral("/Help")).isFile(),
            folderBlocked); // not removed at exit
    }
};

QTEST_MAIN(tst_HelpOpener)
#include "tst_HelpOpener.moc"
