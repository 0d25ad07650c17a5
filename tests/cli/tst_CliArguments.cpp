// Bad command lines are refused before any port is touched: exit code 2, one line on stderr
// that says what is wrong, nothing on stdout. The port named does not exist, so a command that
// went as far as opening it would end with exit code 1 instead.
#include "CliProcess.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {
const QStringList kCommands = {"channels", "watch",  "log",    "backup",   "restore",  "find-new", "find-new-all",
                               "find-all", "save-new", "save-found", "delete", "write-rom", "settings", "firmware",
                               "scan",     "read",     "write",  "serve"};
} // namespace

class tst_CliArguments : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;

    QString file(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(name);
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return path;
    }

private slots:
    void badCommandLinesExitTwoWithOneClearLine_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("says");
        const QString missing = m_dir.filePath(QStringLiteral("missing.bin"));
        const QString shortBackup = file(QStringLiteral("short.bin"), QByteArray(100, '\0'));
        const QString emptyImage = file(QStringLiteral("empty.bin"), QByteArray());
        // A configuration backup: the header's signature words, then 40 records.
        QByteArray backupBytes(902, '\0');
        backupBytes.replace(10, 6, QByteArray::fromHex("52B20331F8F3"));
        const QString backup = file(QStringLiteral("backup1.bin"), backupBytes);
        const QString descriptions = file(QStringLiteral("desc1.txt"), "1-WIRE-TARVIK Tool V1.09 (OBRIX)\r\nGateway channel configuration\r\n");
        const QString text = file(QStringLiteral("notes.bin"), "new firmware\n");

        QTest::newRow("no command") << QStringList{} << "no command given";
        QTest::newRow("unknown command") << QStringList{"frobnicate"} << "unknown command \"frobnicate\"";
        QTest::newRow("command option before the command") << QStringList{"--json", "channels"} << "unknown option --json";
        QTest::newRow("option the command lacks") << QStringList{"channels", "--count", "3"} << "channels has no option --count";
        QTest::newRow("extra argument") << QStringList{"channels", "now"} << "unexpected argument \"now\"";
        QTest::newRow("line option without value") << QStringList{"channels", "--baud"} << "--baud needs a value";
        QTest::newRow("speed not offered") << QStringList{"--baud", "9601", "channels"} << "--baud takes a line speed in Bd: 1200, 1800";
        QTest::newRow("address 0") << QStringList{"--address", "0", "channels"} << "--address takes addresses from 1 to 247";
        QTest::newRow("address 248") << QStringList{"--address=248", "channels"} << "--address takes addresses from 1 to 247";
        QTest::newRow("parity") << QStringList{"--parity", "mark", "channels"} << "--parity takes none, odd or even";
        QTest::newRow("network port without TCP port") << QStringList{"--port", "tcp://127.0.0.1", "channels"}
                                                       << "--port tcp://127.0.0.1: the TCP port is missing (HOST:PORT) (give tcp://HOST:PORT or mbap://HOST:PORT)";
        QTest::newRow("network port out of range") << QStringList{"--port=mbap://[::1]:70000", "serve"} << "the TCP port must be 1 to 65535";
        QTest::newRow("negative timeout") << QStringList{"--timeout", "-5", "channels"} << "--timeout takes milliseconds";
        QTest::newRow("count 0") << QStringList{"watch", "--count", "0"} << "--count takes a whole number from 1";
        QTest::newRow("channel 40 zero-based") << QStringList{"save-new", "40"} << "Incorrect input. Enter a channel number 0 to 39.";
        QTest::newRow("channel 0 one-based") << QStringList{"--numbering", "1", "delete", "0"} << "Incorrect input. Enter a channel number 1 to 40.";
        QTest::newRow("channel not a number") << QStringList{"delete", "x1"} << "Incorrect input. Enter a channel number 0 to 39.";
        QTest::newRow("channel missing") << QStringList{"delete"} << "delete needs CH";
        QTest::newRow("line 3") << QStringList{"find-new", "3"} << "LINE is the 1-Wire line, 1 or 2";
        QTest::newRow("index past the command word's 7 bits") << QStringList{"save-found", "128", "3"} << "INDEX is the device's index in the found list, 0 to 127";
        QTest::newRow("ROM code of 15 digits") << QStringList{"write-rom", "3", "28FF15E26016057"} << "Invalid input data. A ROM code is 16 hex digits";
        QTest::newRow("ROM code with a G") << QStringList{"write-rom", "3", "28FF15E26016057G"} << "Invalid input data.";
        QTest::newRow("ROM code pairs misplaced") << QStringList{"write-rom", "3", "28F-F15E26016057"} << "Invalid input data.";
        QTest::newRow("ROM code missing") << QStringList{"write-rom", "3"} << "write-rom needs CODE";
        QTest::newRow("restore of a missing file") << QStringList{"restore", missing} << "File does not exist.";
        QTest::newRow("restore of a short file") << QStringList{"restore", shortBackup} << "Error reading file.";
        QTest::newRow("firmware of a missing file") << QStringList{"firmware", missing, "--yes"} << "File does not exist.";
        QTest::newRow("firmware of an empty file") << QStringList{"firmware", emptyImage, "--yes"} << "is empty.";
        QTest::newRow("firmware of a backup") << QStringList{"firmware", backup, "--yes"}
                                              << backup + " is a configuration backup of the gateway's channels, not a firmware image.";
        QTest::newRow("firmware of a descriptions file") << QStringList{"firmware", descriptions, "--yes"}
                                                         << descriptions + " is a channel descriptions file, not a firmware image.";
        QTest::newRow("firmware of text") << QStringList{"firmware", text, "--yes"} << text + " is a text file, not a firmware image.";
        QTest::newRow("ROM code failing its CRC") << QStringList{"write-rom", "10", "28FF15A260E20537"}
                                                  << "The ROM code 28FF15A260E20537 fails its 1-Wire CRC check: a typing error? Write it "
                                                     "with --force to write it all the same.";
        QTest::newRow("log description file missing") << QStringList{"log", m_dir.filePath("a.csv"), "--descriptions", missing} << "File does not exist.";
        QTest::newRow("log period 0") << QStringList{"log", m_dir.filePath("a.csv"), "--period", "0"} << "--period takes whole seconds, 1 to 4294967";
        QTest::newRow("setting of a third port") << QStringList{"settings", "--set", "com2.baud=9600"} << "unknown setting \"com2.baud\"";
        QTest::newRow("setting speed not offered") << QStringList{"settings", "--set", "com0.baud=19201"} << "com0.baud takes a line speed in Bd";
        QTest::newRow("setting delay 201 ms") << QStringList{"settings", "--set", "com1.delay=201"} << "com1.delay takes milliseconds, 0 to 200";
        QTest::newRow("setting power 6") << QStringList{"settings", "--set", "power=6"} << "power takes 0 to 5";
        QTest::newRow("set without assignment") << QStringList{"settings", "--set"} << "--set needs NAME=VALUE";
        QTest::newRow("scan address 0") << QStringList{"scan", "--addresses", "0-5"} << "--addresses takes addresses from 1 to 247";
        QTest::newRow("scan backwards range") << QStringList{"scan", "--addresses", "9-5"} << "--addresses takes addresses from 1 to 247";
        QTest::newRow("scan speed not offered") << QStringList{"scan", "--bauds", "9600,1000"} << "--bauds takes a line speed in Bd";
        QTest::newRow("read without a register") << QStringList{"read"} << "read needs REG";
        QTest::newRow("read register 65536") << QStringList{"read", "0x10000"} << "REG is a register number, 0 to 65535";
        QTest::newRow("read register 1e3") << QStringList{"read", "1e3"} << "REG is a register number";
        QTest::newRow("read 126 registers") << QStringList{"read", "0", "126"} << "COUNT takes 1 to 125 registers";
        QTest::newRow("read 0 registers") << QStringList{"read", "0", "0"} << "COUNT takes 1 to 125 registers";
        QTest::newRow("read past 65535") << QStringList{"read", "65535", "2"} << "2 registers from 65535 pass the last register";
        QTest::newRow("read format") << QStringList{"read", "1000", "--format", "oct"} << "--format takes dec, hex or signed";
        QTest::newRow("read of several gateways") << QStringList{"--address", "1,2", "read", "1000"} << "this command works with one gateway";
        QTest::newRow("write without a value") << QStringList{"write", "1053"} << "write needs VALUE";
        QTest::newRow("write 65536") << QStringList{"write", "1053", "65536"} << "VALUE \"65536\" is no 16-bit value";
        QTest::newRow("write -32769") << QStringList{"write", "1053", "-32769"} << "VALUE \"-32769\" is no 16-bit value";
        QTest::newRow("write 0x") << QStringList{"write", "1053", "0x"} << "VALUE \"0x\" is no 16-bit value";
        QTest::newRow("write 122 values") << QStringList{"write", "2000"} + QStringList(122, QStringLiteral("1"))
                                          << "write takes 1 to 121 values";
        QTest::newRow("write past 65535") << QStringList{"write", "65535", "1", "2"} << "2 values from register 65535 pass the last register";
    }

    void badCommandLinesExitTwoWithOneClearLine()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, says);
        const auto r = CliProcess::run(QStringList{"--port", m_dir.filePath("no-such-port")} + args, 10000);
        QVERIFY(r.finished);
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.out.isEmpty(), qPrintable(r.out));
        QVERIFY2(r.err.startsWith(QStringLiteral("tarvik-cli: ")) && r.err.contains(says), qPrintable(r.err));
        QCOMPARE(r.err.count(QLatin1Char('\n')), 1);
    }

    void withoutAPortStoredOrGivenItAsksForOne()
    {
        // The settings folder of this test program holds no port the window used.
        const auto r = CliProcess::run({QStringLiteral("channels")}, 10000);
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains(QStringLiteral("no port: give --port NAME")), qPrintable(r.err));
    }

    void aPortThatDoesNotExistIsALinkFailure()
    {
        const auto r = CliProcess::run({QStringLiteral("--port"), m_dir.filePath("no-such-port"), QStringLiteral("channels")}, 10000);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QStringLiteral("Invalid port number")) && r.err.contains(QStringLiteral("no such port")), qPrintable(r.err));
    }

    void helpListsEveryCommand()
    {
        const auto r = CliProcess::run({QStringLiteral("--help")}, 10000);
        QCOMPARE(r.exitCode, 0);
        for (const QString &command : kCommands)
            QVERIFY2(r.out.contains(QStringLiteral("\n  %1 ").arg(command)), qPrintable(command));
    }

    // Every command's --help is its own usage: its name first, its options, not the others'.
    void everyCommandHasItsOwnHelp_data()
    {
        QTest::addColumn<QString>("command");
        for (const QString &command : kCommands)
            QTest::newRow(qPrintable(command)) << command;
    }
    void everyCommandHasItsOwnHelp()
    {
        QFETCH(QString, command);
        const auto r = CliProcess::run({command, QStringLiteral("--help")}, 10000);
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.out.startsWith(QStringLiteral("Usage: tarvik-cli [OPTIONS] %1 ").arg(command))
                     || r.out.startsWith(QStringLiteral("Usage: tarvik-cli [OPTIONS] %1\n").arg(command)),
                 qPrintable(r.out));
        QVERIFY2(!r.out.contains(QLatin1String("Commands:")), qPrintable(r.out));
        // No other command's entry came along.
        for (const QString &other : kCommands)
            if (other != command)
                QVERIFY2(!r.out.contains(QStringLiteral("\n%1 ").arg(other)), qPrintable(other));
        QVERIFY(r.out.endsWith(QLatin1String("Exit codes: 0 done, 1 link or gateway failure, 2 usage error.\n")));
    }

    // A command's --help, before or after it, is that command's usage alone.
    void commandHelpIsTheCommandsOwn_data()
    {
        QTest::addColumn<QStringList>("words");
        QTest::addColumn<QString>("usage");
        QTest::newRow("serve --help") << QStringList{"serve", "--help"}
                                      << "Usage: tarvik-cli [OPTIONS] serve --mqtt HOST[:PORT]";
        QTest::newRow("--help serve") << QStringList{"--help", "serve"}
                                      << "Usage: tarvik-cli [OPTIONS] serve --mqtt HOST[:PORT]";
        QTest::newRow("find-new -h") << QStringList{"find-new", "-h"}
                                     << "Usage: tarvik-cli [OPTIONS] find-new LINE ";
        QTest::newRow("restore, two lines") << QStringList{"restore", "--help"}
                                            << "Usage: tarvik-cli [OPTIONS] restore FILE.bin [--verify] [--force] [--yes]\n"
                                               "                                  write a configuration back";
    }
    void commandHelpIsTheCommandsOwn()
    {
        QFETCH(QStringList, words);
        QFETCH(QString, usage);
        const auto r = CliProcess::run(words, 10000);
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.out.startsWith(usage), qPrintable(r.out));
        QVERIFY2(!r.out.contains(QLatin1String("Commands:")), qPrintable(r.out));
        QVERIFY(r.out.contains(QLatin1String("Exit codes:")));
        if (words.contains(QLatin1String("serve")))
            QVERIFY(r.out.contains(QLatin1String("--mqtt-cafile")) && r.out.contains(QLatin1String("--no-discovery")));
    }
};

QTEST_GUILESS_MAIN(tst_CliArguments)
#include "tst_CliArguments.moc"
