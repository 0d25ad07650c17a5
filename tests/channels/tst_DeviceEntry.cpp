// Assigning devices by hand without windows: the target channel typed for a listed device and
// the ROM code typed for a channel, down to the word or frame that goes to the gateway.
#include "ChannelNumbering.h"
#include "DeviceEntry.h"
#include "FrameBytes.h"
#include "MemoryTransport.h"
#include "ScriptedPrompts.h"
#include "TTarvikKomunikator.h"

#include <QTest>

namespace {

struct Rig
{
    MemoryTransport *line = new MemoryTransport;
    TAfComPort port{std::unique_ptr<SerialTransport>(line)};
    TTarvikKomunikator gw{&port};
    DeviceEntry entry{gw};
    Rig()
    {
        gw.Open(QStringLiteral("memory"));
        gw.PollTimer().stop();
        line->takeWritten();
    }
    ~Rig() { ChannelNumbering::setFlag(0); }
    int nextRead() const { return PollBlocks[(gw.BlockIndex() + 1) % PollBlockCount]; }
};

} // namespace

class tst_DeviceEntry : public QObject
{
    Q_OBJECT
private slots:
    void targetChannelOfAListedDevice_data()
    {
        QTest::addColumn<int>("numbering");
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("word"); // -1: nothing queued
        QTest::addColumn<int>("reg");
        QTest::addColumn<int>("next");
        QTest::addColumn<QString>("prompt");
        QTest::addColumn<QString>("error");
        const QString p0l1 = "Enter target position (channel number 0-19): ";
        const QString p0l2 = "Enter target position (channel number 20-39): ";
        const QString p1l1 = "Enter target position (channel number 1-20): ";
        const QString p1l2 = "Enter target position (channel number 21-40): ";
        // Index 3 throughout: the word is 0x8000 + 256 x 3 + CC.
        QTest::newRow("zero-based line 2, blanks") << 0 << 1 << " 25 " << 0x8319 << 1020 << 200 << p0l2 << "";
        QTest::newRow("zero-based line 1, 0") << 0 << 0 << "0" << 0x8300 << 1010 << 0 << p0l1 << "";
        QTest::newRow("one-based line 1, 20") << 1 << 0 << "20" << 0x8313 << 1010 << 100 << p1l1 << "";
        QTest::newRow("one-based line 2, 21") << 1 << 1 << "21" << 0x8314 << 1020 << 200 << p1l2 << "";
        QTest::newRow("one-based line 1, 0") << 1 << 0 << "0" << -1 << 0 << 0 << p1l1
                                             << "Incorrect input. Enter a channel number 1 to 20.";
        QTest::newRow("zero-based line 1, 20") << 0 << 0 << "20" << -1 << 0 << 0 << p0l1
                                               << "Incorrect input. Enter a channel number 0 to 19.";
        QTest::newRow("zero-based line 2, 19") << 0 << 1 << "19" << -1 << 0 << 0 << p0l2
                                               << "Incorrect input. Enter a channel number 20 to 39.";
        QTest::newRow("one-based line 2, 41") << 1 << 1 << "41" << -1 << 0 << 0 << p1l2
                                              << "Incorrect input. Enter a channel number 21 to 40.";
        QTest::newRow("abc zero-based line 1") << 0 << 0 << "abc" << -1 << 0 << 0 << p0l1
                                               << "Incorrect input. Enter a channel number 0 to 19.";
        QTest::newRow("abc zero-based line 2") << 0 << 1 << "abc" << -1 << 0 << 0 << p0l2
                                               << "Incorrect input. Enter a channel number 20 to 39.";
        QTest::newRow("abc one-based line 1") << 1 << 0 << "abc" << -1 << 0 << 0 << p1l1
                                              << "Incorrect input. Enter a channel number 1 to 20.";
        QTest::newRow("abc one-based line 2") << 1 << 1 << "abc" << -1 << 0 << 0 << p1l2
                                              << "Incorrect input. Enter a channel number 21 to 40.";
        QTest::newRow("empty") << 0 << 0 << "" << -1 << 0 << 0 << p0l1 << "Incorrect input. Enter a channel number 0 to 19.";
    }
    void targetChannelOfAListedDevice()
    {
        QFETCH(int, numbering);
        QFETCH(int, line);
        QFETCH(QString, typed);
        QFETCH(int, word);
        QFETCH(int, reg);
        QFETCH(int, next);
        QFETCH(QString, prompt);
        QFETCH(QString, error);
        ScriptedPrompts prompts;
        Rig rig;
        ChannelNumbering::setFlag(numbering);
        prompts.queueInput(typed);
        rig.entry.SaveFoundDevice(line, 3);
        QCOMPARE(prompts.texts(ScriptedPrompts::Kind::Input), QStringList{"Save device with index: 3|" + prompt});
        QCOMPARE(prompts.texts(ScriptedPrompts::Kind::Error), error.isEmpty() ? QStringList() : QStringList{error});
        if (word < 0) {
            QVERIFY(rig.gw.WriteQueue().isEmpty());
            return;
        }
        QCOMPARE(rig.gw.WriteQueue().size(), 1);
        QCOMPARE(int(rig.gw.WriteQueue().first().Value), word);
        QCOMPARE(int(rig.gw.WriteQueue().first().Address), reg);
        QCOMPARE(rig.nextRead(), next);
    }

    void cancelOrAClosedPortSendsNothing()
    {
        ScriptedPrompts prompts;
        Rig rig;
        prompts.queueInput(std::nullopt);
        rig.entry.SaveFoundDevice(0, 1);
        QVERIFY(rig.gw.WriteQueue().isEmpty());
        QVERIFY(prompts.texts(ScriptedPrompts::Kind::Error).isEmpty());

        rig.gw.Close();
        prompts.clear();
        rig.entry.SaveFoundDevice(0, 1);
        QCOMPARE(prompts.texts(ScriptedPrompts::Kind::Information), QStringList{"Communication port is inactive."});
        QVERIFY(prompts.texts(ScriptedPrompts::Kind::Input).isEmpty());
    }

    void typedRomCodeIsWrittenAtOnce()
    {
        ScriptedPrompts prompts;
        Rig rig;
        // Pasted text with a letter that is no hex digit: refused, and asked again with it.
        prompts.queueInput(QStringLiteral("28FF15E26016G574"));
        prompts.queueInput(QStringLiteral("F0FF15E26016052E"));
        rig.entry.EditRomCode(21, 20, QStringLiteral("2800000000000001"));
        const QList<ScriptedPrompts::Shown> &shown = prompts.shown();
        QCOMPARE(shown.size(), 3);
        QCOMPARE(shown[0].text, QStringLiteral("ROM Code - Channel 20|Write a new value in HEX format: \r\nFF-FF-FF-FF-FF-FF-FF-FF"));
        QCOMPARE(shown[0].value, QStringLiteral("2800000000000001"));
        QCOMPARE(shown[1].text, QStringLiteral("   Invalid input data.   "));
        QCOMPARE(shown[2].value, QStringLiteral("28FF15E26016G574"));
        // Function 16 at register 200, four words, first byte 0xF0 kept; block 2 read next.
        QCOMPARE(rig.line->takeWritten(), withCrc(hexBytes("01 10 00 C8 00 04 08 F0 FF 15 E2 60 16 05 2E")));
        QCOMPARE(rig.nextRead(), 200);
    }

    void cancelledRomCodeWritesNothing()
    {
        ScriptedPrompts prompts;
        Rig rig;
        prompts.queueInput(std::nullopt);
        rig.entry.EditRomCode(1, 0, QStringLiteral("FFFFFFFFFFFFFFFF"));
        QVERIFY(rig.line->takeWritten().isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_DeviceEntry)
#include "tst_DeviceEntry.moc"
