// The search panel, its found-device boxes and the ROM code entry dialog.
#include "ChannelNumbering.h"
#include "ScriptedPrompts.h"
#include "TForm_MaskInputBox.h"
#include "TFrame_FindNewTab.h"
#include "TFrame_SensorBox.h"
#include "TFrame_SensorNewBox.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>

class tst_SearchWidgets : public QObject
{
    Q_OBJECT
private slots:
    void foundBoxTakesOnlyItsOwnNonEmptyRecord()
    {
        TFrame_SensorNewBox box(23, 3);
        QCOMPARE(box.objectName(), QStringLiteral("Frame_SensorNewBox3"));
        QVERIFY(!box.SpeedButton_Save->isEnabled());
        box.ShowFoundDevice(22, {0x2800, 0, 0, 1}, 4); // another box's record
        QVERIFY(box.Label_ROMCode->text().isEmpty());
        box.ShowFoundDevice(23, {0x28FF, 0x15E2, 0x6016, 0x0574}, 65535);
        QCOMPARE(box.Label_ROMCode->text(), QStringLiteral("28FF15E260160574"));
        QCOMPARE(box.Label_Index->text(), QStringLiteral("Index: 65535"));
        QCOMPARE(box.index(), 65535);
        QVERIFY(box.SpeedButton_Save->isEnabled());
        box.ShowFoundDevice(23, {0, 0, 0, 0}, 1); // an empty entry keeps what is shown
        QCOMPARE(box.Label_ROMCode->text(), QStringLiteral("28FF15E260160574"));
        QCOMPARE(box.index(), 65535);
        box.ResetBox();
        QVERIFY(box.Label_ROMCode->text().isEmpty());
        QVERIFY(!box.SpeedButton_Save->isEnabled());
    }

    void panelsNumberTheirBoxesFromZeroInBothModes()
    {
        for (int numbering : {0, 1}) {
            ChannelNumbering::setFlag(numbering);
            TFrame_FindNewTab one(1), two(2);
            QList<TFrame_SensorNewBox *> all;
            one.AddBoxesTo(all);
            two.AddBoxesTo(all);
            one.AddBoxesTo(all);
            QCOMPARE(all.size(), 40);
            QCOMPARE(all.first()->Label_Channel->text(), QStringLiteral("0"));
            QCOMPARE(all[19]->Label_Channel->text(), QStringLiteral("19"));
            QCOMPARE(all[20]->Label_Channel->text(), QStringLiteral("20"));
            QCOMPARE(all.last()->Label_Channel->text(), QStringLiteral("39"));
            QCOMPARE(all.last()->number(), 40);
            QCOMPARE(two.Label_Caption->text(), QStringLiteral("Service registers - LINE 2"));
            QVERIFY(one.isHidden());
        }
        ChannelNumbering::setFlag(0);
    }

    void panelShowsItsLinesServiceRegisters()
    {
        TFrame_FindNewTab two(2);
        std::array<uint16_t, PollBlockSize> service{};
        service[10] = 0x05FF; // line 1: must not show on line 2's panel
        service[20] = 0x07FF;
        service[21] = 0x1234;
        service[22] = 0x28FF;
        service[23] = 0x15E2;
        service[24] = 0x6016;
        service[25] = 0x0574;
        two.ShowServiceBlock(service);
        QCOMPARE(two.Label_Command->text(), QStringLiteral("Command: 0x07FF"));
        QCOMPARE(two.Label_Status->text(), QStringLiteral("Operation status: Undefined error code (0x1234)"));
        QCOMPARE(two.Label_NewROMCode->text(), QStringLiteral("New: 28FF15E260160574"));
        two.boxes()[4]->ShowFoundDevice(25, {1, 2, 3, 4}, 7);
        two.ClearPanel();
        QVERIFY(two.Label_Command->text().isEmpty());
        QVERIFY(two.Label_Status->text().isEmpty());
        QVERIFY(two.Label_NewROMCode->text().isEmpty());
        QVERIFY(two.boxes()[4]->Label_ROMCode->text().isEmpty());
    }

    void statusWordsHaveTheirTexts_data()
    {
        QTest::addColumn<int>("word");
        QTest::addColumn<QString>("text");
        QTest::newRow("0000") << 0x0000 << "No command received";
        QTest::newRow("EEE1") << 0xEEE1 << "Channel number out of range";
        QTest::newRow("EEE2") << 0xEEE2 << "Unsupported command number";
        QTest::newRow("EEE3") << 0xEEE3 << "Error reading ROM code";
        QTest::newRow("EEE4") << 0xEEE4 << "CRC error when reading ROM code";
        QTest::newRow("FFFF") << 0xFFFF << "OK";
        QTest::newRow("1234") << 0x1234 << "Undefined error code";
        QTest::newRow("EEE5") << 0xEEE5 << "Undefined error code";
    }
    void statusWordsHaveTheirTexts()
    {
        QFETCH(int, word);
        QFETCH(QString, text);
        QCOMPARE(TFrame_FindNewTab::StatusText(uint16_t(word)), text);
    }

    void iconButtonsAreNamedForScreenReaders()
    {
        TFrame_SensorNewBox found(1, 1);
        QCOMPARE(found.SpeedButton_Save->accessibleName(), QStringLiteral("Save"));
        TFrame_SensorBox box(1);
        QCOMPARE(box.SpeedButton_Edit->accessibleName(), QStringLiteral("Save new"));
        QCOMPARE(box.SpeedButton_Delete->accessibleName(), QStringLiteral("Delete"));
        QCOMPARE(box.SpeedButton_DescrSwitch->accessibleName(), QStringLiteral("Switch to description"));
        box.SpeedButton_DescrSwitch->click();
        QCOMPARE(box.SpeedButton_DescrSwitch->accessibleName(), QStringLiteral("Switch to ROM code"));
    }

    void maskEntryTakesOnlyHexDigitsInUpperCase()
    {
        TForm_MaskInputBox dialog;
        QSignalSpy refused(&dialog, &TForm_MaskInputBox::characterRefused);
        QCOMPARE(dialog.MaskEdit1->displayText(), QStringLiteral("__-__-__-__-__-__-__-__"));
        QTest::keyClicks(dialog.MaskEdit1, QStringLiteral("2g8 f-f"));
        QCOMPARE(refused.size(), 3); // g, blank, dash
        QCOMPARE(dialog.MaskEdit1->displayText(), QStringLiteral("28-FF-__-__-__-__-__-__"));
        QTest::keyClicks(dialog.MaskEdit1, QStringLiteral("15e260160574"));
        QCOMPARE(dialog.value(), QStringLiteral("28FF15E260160574"));
        QTest::keyClick(dialog.MaskEdit1, Qt::Key_Backspace);
        QCOMPARE(dialog.value(), QStringLiteral("28FF15E26016057"));
        QCOMPARE(refused.size(), 3);
    }

    void okWithAGapSelectsItAndStaysOpen()
    {
        ScriptedPrompts prompts;
        TForm_MaskInputBox dialog;
        dialog.setText(QStringLiteral("28FF15E2"));
        dialog.show();
        dialog.Button_OK->click();
        QCOMPARE(prompts.texts(ScriptedPrompts::Kind::Error), QStringList{QStringLiteral("   Missing character.   ")});
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(dialog.MaskEdit1->selectionStart(), 12); // after "28-FF-15-E2-"
        QCOMPARE(dialog.MaskEdit1->selectedText().size(), 1);
    }

    void queryGivesTheSixteenCharactersOrNothing()
    {
        ScriptedPrompts prompts;
        // Acts on the dialog once it is up (its own event loop runs the timer).
        const auto answer = [](auto act) {
            auto *timer = new QTimer;
            timer->setInterval(5);
            QObject::connect(timer, &QTimer::timeout, [timer, act] {
                for (QWidget *w : QApplication::topLevelWidgets())
                    if (auto *d = qobject_cast<TForm_MaskInputBox *>(w); d && d->isVisible()) {
                        timer->stop();
                        timer->deleteLater();
                        act(d);
                        if (d->isVisible())
                            d->reject(); // act failed half-way: never leave the test waiting
                        return;
                    }
            });
            timer->start();
        };
        answer([](TForm_MaskInputBox *d) {
            QCOMPARE(d->windowTitle(), QStringLiteral("ROM Code - Channel 3"));
            QCOMPARE(d->Label_Prompt->text(), QStringLiteral("Write:\nFF"));
            QTest::keyClicks(d->MaskEdit1, QStringLiteral("f0")); // typing starts over the first pair
            d->Button_OK->click();
        });
        QCOMPARE(TForm_MaskInputBox::MaskInputQuery(QStringLiteral("ROM Code - Channel 3"), QStringLiteral("Write:\r\nFF"),
                                                    QStringLiteral("28FF15E2601605AB")),
                 std::optional<QString>(QStringLiteral("F0FF15E2601605AB")));
        answer([](TForm_MaskInputBox *d) { QTest::keyClick(d->MaskEdit1, Qt::Key_Escape); });
        QCOMPARE(TForm_MaskInputBox::MaskInputQuery(QStringLiteral("c"), QStringLiteral("p"), QStringLiteral("28FF15E260160574")),
                 std::nullopt);
        QVERIFY(prompts.shown().isEmpty());
    }
};

QTEST_MAIN(tst_SearchWidgets)
#include "tst_SearchWidgets.moc"
