// The sensor box and the line tab.
#include "ChannelNumbering.h"
#include "QtPrompts.h"
#include "ScriptedPrompts.h"
#include "TFrame_LineTab.h"
#include "TFrame_SensorBox.h"
#include "TFrame_SensorNewBox.h"
#include "WidgetColour.h"

#include <QApplication>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QLayout>
#include <QMap>
#include <QSignalSpy>
#include <QTest>
#include <QScopeGuard>
#include <QToolButton>
#include <cmath>

namespace {
TChannelRecord thermometer(int channel, uint16_t temp, uint8_t status = 0)
{
    TChannelRecord r;
    r.channel = uint8_t(channel);
    r.rom = {0x28FF, 0x15E2, 0x6016, 0x0574};
    r.values = {temp, 0, 0, 0, 0};
    r.status = status;
    return r;
}
// The contrast of text on a background (1 to 21), as legibility guidelines measure it.
double contrast(const QColor &a, const QColor &b)
{
    const auto lum = [](const QColor &c) {
        const auto lin = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * lin(c.redF()) + 0.7152 * lin(c.greenF()) + 0.0722 * lin(c.blueF()) + 0.05;
    };
    return qMax(lum(a), lum(b)) / qMin(lum(a), lum(b));
}
// Counts the events that cost the display work, per widget.
class EventCounter : public QObject
{
public:
    explicit EventCounter(QWidget *root)
    {
        root->installEventFilter(this);
        for (QWidget *w : root->findChildren<QWidget *>())
            w->installEventFilter(this);
    }
    QMap<QString, int> counts;
    bool eventFilter(QObject *o, QEvent *e) override
    {
        static const QMap<QEvent::Type, const char *> watched = {
            {QEvent::Paint, "paint"}, {QEvent::LayoutRequest, "layout"}, {QEvent::ToolTipChange, "tooltip"},
            {QEvent::PaletteChange, "palette"}, {QEvent::CursorChange, "cursor"}};
        if (watched.contains(e->type()))
            ++counts[o->objectName() + QLatin1Char(' ') + QLatin1String(watched.value(e->type()))];
        return false;
    }
};
} // namespace

class tst_ChannelWidgets : public QObject
{
    Q_OBJECT
private slots:
    void boxShowsAThermometer()
    {
        TFrame_SensorBox box(1);
        box.ShowChannel(thermometer(1, 0xFF38));
        QCOMPARE(box.Label_ROMCode->text(), QStringLiteral("28FF15E260160574"));
        QCOMPARE(box.Label_Value1->text(), QStringLiteral("-20.0 °C"));
        QCOMPARE(box.Label_Value2->toolTip(), QStringLiteral("Value2 - Reserved"));
        QCOMPARE(box.Label_Error->text(), QStringLiteral("OK"));
        QCOMPARE(box.Label_Error->statusTip(), QStringLiteral("Error code: OK"));
        QCOMPARE(box.Label_Channel->toolTip(), QStringLiteral("DS18B20"));
        QCOMPARE(box.Label_Channel->statusTip(), QStringLiteral("Digital thermometer. (Family code: 0x28)"));
        QCOMPARE(box.boxColour(), QColor(215, 255, 215));
        box.ShowChannel(thermometer(1, 0xFF38, 5));
        QCOMPARE(box.Label_Error->text(), QStringLiteral("Timeout"));
        QCOMPARE(box.boxColour(), QColor(255, 215, 215));
        // Not read yet (254) and codes the tool does not know: the button face, no alarm.
        const QColor buttonFace = QPalette().color(QPalette::Button);
        box.ShowChannel(thermometer(1, 0xFF38, 254));
        QCOMPARE(box.Label_Error->text(), QString());
        QCOMPARE(box.boxColour(), buttonFace);
        box.ShowChannel(thermometer(1, 0xFF38, 77));
        QCOMPARE(box.Label_Error->text(), QStringLiteral("Undefined error code"));
        QCOMPARE(box.boxColour(), buttonFace);
    }

    // The boxes get every record several times a second: one that changes nothing must cost
    // no repaint, relayout or change event, and a new value repaints its own label only.
    void unchangedRecordsCostTheDisplayNothing()
    {
        TFrame_SensorBox box(1), freeBox(2);
        box.show();
        freeBox.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box) && QTest::qWaitForWindowExposed(&freeBox));
        box.ShowChannel(thermometer(1, 250));
        freeBox.ShowChannel(thermometer(2, 0, 255));
        QTest::qWait(50);
        EventCounter counter(&box), freeCounter(&freeBox);
        for (int i = 0; i < 3; ++i) {
            box.ShowChannel(thermometer(1, 250));
            freeBox.ShowChannel(thermometer(2, 0, 255));
            QTest::qWait(20);
        }
        QCOMPARE(counter.counts, (QMap<QString, int>{}));
        QCOMPARE(freeCounter.counts, (QMap<QString, int>{}));

        box.ShowChannel(thermometer(1, 251));
        QTest::qWait(50);
        QCOMPARE(box.Label_Value1->text(), QStringLiteral("25.1 °C"));
        QCOMPARE(counter.counts.keys(), QStringList{QStringLiteral("Label_Value1 paint")});
    }

    void freePositionClearsWhateverTheRomWords()
    {
        TFrame_SensorBox box(2);
        box.ShowChannel(thermometer(2, 250));
        box.ShowChannel(thermometer(2, 250, 255));
        QVERIFY(box.Label_ROMCode->text().isEmpty());
        QVERIFY(box.Label_Value1->text().isEmpty());
        QVERIFY(box.Label_Error->text().isEmpty());
        QVERIFY(box.Label_Value1->toolTip().isEmpty());
        QCOMPARE(box.boxColour(), QColor(Qt::white));
    }

    void lineFaultKeepsTheDisplayButStoresTheStatus()
    {
        TFrame_SensorBox box(3);
        box.ShowChannel(thermometer(3, 250));
        TChannelRecord fault;
        fault.channel = 3;
        fault.rom = {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
        fault.values = {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
        fault.status = 2;
        box.ShowChannel(fault);
        QCOMPARE(box.Label_Value1->text(), QStringLiteral("25.0 °C"));
        QCOMPARE(box.Label_Error->text(), QStringLiteral("OK"));
        QCOMPARE(box.lastRecord().status, uint8_t(2));
    }

    void recordForAnotherChannelIsOnlyStored()
    {
        TFrame_SensorBox box(4);
        box.ShowChannel(thermometer(5, 250));
        QVERIFY(box.Label_ROMCode->text().isEmpty());
        QCOMPARE(box.lastRecord().channel, uint8_t(5));
    }

    void descriptionsAreCutAndEditedThroughAQuery()
    {
        ScriptedPrompts prompts;
        TFrame_SensorBox box(21);
        box.SetDescription(QString(40, QLatin1Char('x')));
        QCOMPARE(box.description().size(), 30);
        box.SetDescriptionMode(true);
        QCOMPARE(box.Label_ROMCode->text(), QString(30, QLatin1Char('x')));
        prompts.queueInput(QStringLiteral("Boiler room, return pipe"));
        box.Label_DescriptionClick();
        QCOMPARE(prompts.shown().first().text,
                 QStringLiteral("Edit description - Channel 20|Write a short description (max 30 characters):"));
        QCOMPARE(box.Label_ROMCode->text(), QStringLiteral("Boiler room, return pipe"));
        prompts.queueInput(std::nullopt);
        box.Label_DescriptionClick();
        QCOMPARE(box.description(), QStringLiteral("Boiler room, return pipe"));
        QCOMPARE(box.SpeedButton_DescrSwitch->toolTip(), QStringLiteral("Switch to ROM code"));
    }

    // The field takes no more than the descriptions file keeps (30 characters) and counts
    // them as they are typed; a tab or a line break, which the file cannot keep, is a blank.
    void descriptionFieldStopsAtWhatTheFileKeeps()
    {
        QtPrompts prompts;
        Prompts::install(&prompts);
        const auto uninstall = qScopeGuard([] { Prompts::install(nullptr); });
        TFrame_SensorBox box(1);
        box.SetDescriptionMode(true);
        QString seen;
        int length = -1;
        auto *timer = new QTimer;
        timer->setInterval(5);
        QObject::connect(timer, &QTimer::timeout, [&, timer] {
            for (QWidget *w : QApplication::topLevelWidgets())
                if (auto *d = qobject_cast<QInputDialog *>(w); d && d->isVisible()) {
                    timer->stop();
                    timer->deleteLater();
                    QLineEdit *edit = d->findChild<QLineEdit *>();
                    QTest::keyClicks(edit, QString(49, QLatin1Char('x')));
                    length = int(edit->text().size());
                    seen = d->labelText();
                    d->accept();
                    return;
                }
        });
        timer->start();
        box.Label_DescriptionClick();
        QCOMPARE(length, 30);
        QCOMPARE(seen, QStringLiteral("Write a short description (max 30 characters):\n30 of 30 characters"));
        QCOMPARE(box.description(), QString(30, QLatin1Char('x')));

        box.SetDescription(QStringLiteral("flow\treturn\r\nboiler"));
        QCOMPARE(box.description(), QStringLiteral("flow return  boiler"));
    }

    // Tab reaches the small buttons and the ROM code of a box; the one with the keyboard focus
    // shows a frame in the highlight colour, which the icon would otherwise cover.
    void boxButtonsShowTheKeyboardFocus()
    {
        QWidget window;
        auto *box = new TFrame_SensorBox(1, &window);
        auto *found = new TFrame_SensorNewBox(1, 1, &window);
        found->move(0, 70);
        found->ShowFoundDevice(1, {0x28FF, 0x15E2, 0x6016, 0x0574}, 0); // Save is enabled
        box->SetEditMode(true);
        window.resize(260, 120);
        window.show();
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        box->ShowChannel(thermometer(1, 250));
        for (QWidget *button : std::initializer_list<QWidget *>{box->SpeedButton_Edit, box->SpeedButton_Delete,
                                                                found->SpeedButton_Save, box->Label_ROMCode}) {
            QVERIFY(button->focusPolicy() & Qt::TabFocus);
            const QColor highlight = button->palette().color(QPalette::Highlight);
            button->clearFocus();
            QVERIFY(!button->hasFocus());
            const QImage before = button->grab().toImage();
            button->setFocus(Qt::TabFocusReason);
            QVERIFY(button->hasFocus());
            const QImage focused = button->grab().toImage();
            for (const QPoint &edge : {QPoint(button->width() / 2, 0), QPoint(0, button->height() / 2),
                                       QPoint(button->width() - 1, button->height() / 2)}) {
                QCOMPARE(focused.pixelColor(edge), highlight);
                QVERIFY(before.pixelColor(edge) != highlight);
            }
        }
    }

    void zeroBasedNumberingLabelsAndHints()
    {
        TFrame_SensorBox first(1);
        QCOMPARE(first.Label_Channel->text(), QStringLiteral("Ch0"));
        QVERIFY(first.SpeedButton_Delete->statusTip().endsWith(QLatin1String("0x0F00)")));
        QVERIFY(first.SpeedButton_Edit->statusTip().endsWith(QLatin1String("0x0900)")));
        TFrame_SensorBox last(40);
        QCOMPARE(last.Label_Channel->text(), QStringLiteral("Ch39"));
        QVERIFY(last.SpeedButton_Delete->statusTip().endsWith(QLatin1String("0x0F27)")));
        ChannelNumbering::setFlag(1);
        TFrame_SensorBox oneBased(1);
        ChannelNumbering::setFlag(0);
        QCOMPARE(oneBased.Label_Channel->text(), QStringLiteral("Ch1"));
    }

    // At 9 to 14 pt the channel's number, ROM code and values are shown whole: a smaller font
    // or the value without its unit, never a cut sign or digit.
    void boxTextsFitAtLargeFonts_data()
    {
        QTest::addColumn<int>("points");
        for (int points : {9, 12, 14})
            QTest::addRow("%d pt", points) << points;
    }

    void boxTextsFitAtLargeFonts()
    {
        QFETCH(int, points);
        const auto restore = qScopeGuard([before = QApplication::font()] { QApplication::setFont(before); });
        QFont font = QApplication::font();
        font.setPointSize(points);
        QApplication::setFont(font);
        TFrame_LineTab one(1), two(2);
        QList<TFrame_SensorBox *> boxes;
        one.AddBoxesTo(boxes);
        two.AddBoxesTo(boxes);
        for (TFrame_SensorBox *box : boxes.mid(10)) { // Ch10 to Ch39
            TChannelRecord r = thermometer(box->channel(), 0xFF38); // -20.0
            r.rom = {0x28DD, 0xDDDD, 0xDDDD, 0xDD74};               // the widest digits
            box->ShowChannel(r);
            const QString number = QString::number(box->channel() - 1);
            QCOMPARE(box->Label_Channel->text(), QStringLiteral("Ch") + number);
            QCOMPARE(box->Label_ROMCode->text(), QStringLiteral("28DDDDDDDDDDDD74"));
            QVERIFY(box->Label_Value1->text().startsWith(QStringLiteral("-20.0")));
            for (QLabel *label : {box->Label_Channel, box->Label_ROMCode, box->Label_Value1, box->Label_Error}) {
                const int width = QFontMetrics(label->font()).horizontalAdvance(label->text());
                QVERIFY2(width <= label->contentsRect().width(),
                         qPrintable(QStringLiteral("%1 %2: \"%3\" %4 px in %5 px")
                                        .arg(box->objectName(), label->objectName(), label->text())
                                        .arg(width)
                                        .arg(label->contentsRect().width())));
            }
        }
        // The widest value a thermometer gives.
        TFrame_SensorBox *box = boxes.last();
        box->ShowChannel(thermometer(40, 0x8000));
        QVERIFY2(box->Label_Value1->text().startsWith(QStringLiteral("-3276.8")), qPrintable(box->Label_Value1->text()));
        QVERIFY(QFontMetrics(box->Label_Value1->font()).horizontalAdvance(box->Label_Value1->text())
                <= box->Label_Value1->contentsRect().width());
        // A status is shrunk, never shortened.
        box->ShowChannel(thermometer(40, 250, 77));
        QCOMPARE(box->Label_Error->text(), QStringLiteral("Undefined error code"));
        QVERIFY(QFontMetrics(box->Label_Error->font()).horizontalAdvance(box->Label_Error->text())
                <= box->Label_Error->contentsRect().width());
    }

    void romClickGoesToTheEditHandlerInRomMode()
    {
        TFrame_SensorBox box(7);
        int edits = 0;
        box.SetRomEditHandler([&](TFrame_SensorBox *b) {
            QCOMPARE(b, &box);
            ++edits;
        });
        QTest::mouseClick(box.Label_ROMCode, Qt::LeftButton);
        QCOMPARE(edits, 1);
        // The keyboard's way to the same editor; other keys do nothing.
        for (Qt::Key key : {Qt::Key_F2, Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space, Qt::Key_A, Qt::Key_Tab})
            QTest::keyClick(box.Label_ROMCode, key);
        QCOMPARE(edits, 5);
        // In description mode the same keys edit the description.
        ScriptedPrompts prompts;
        prompts.queueInput(QStringLiteral("boiler"));
        box.SetDescriptionMode(true);
        QTest::keyClick(box.Label_ROMCode, Qt::Key_F2);
        QCOMPARE(edits, 5);
        QCOMPARE(box.description(), QStringLiteral("boiler"));
        QCOMPARE(box.Label_ROMCode->text(), QStringLiteral("boiler"));
        QSignalSpy deletes(&box, &TFrame_SensorBox::deleteClicked);
        box.SpeedButton_Delete->click();
        QCOMPARE(deletes.size(), 1);
        QCOMPARE(deletes.first().first().toInt(), 7);
    }

    void lineTabsHoldTheirChannelsAndShowTheLineState()
    {
        TFrame_LineTab one(1), two(2);
        QList<TFrame_SensorBox *> all;
        one.AddBoxesTo(all);
        two.AddBoxesTo(all);
        one.AddBoxesTo(all);
        QCOMPARE(all.size(), 40);
        QCOMPARE(all.first()->channel(), 1);
        QCOMPARE(all[20]->channel(), 21);
        QCOMPARE(all.last()->channel(), 40);
        QCOMPARE(one.Label_Caption->text(), QStringLiteral("LINE 1"));
        two.ShowLineStatus(2);
        QCOMPARE(two.Label_Caption->text(), QStringLiteral("LINE 2 - Short circuit"));
        QCOMPARE(two.tabColour(), QColor(210, 0, 0));
        two.ShowLineStatus(7);
        QCOMPARE(two.Label_Caption->text(), QStringLiteral("LINE 2 - OK"));
        QCOMPARE(two.tabColour(), QPalette().color(QPalette::Highlight));
        two.ShowLineStatus(1);
        two.ResetLine();
        QCOMPARE(two.Label_Caption->text(), QStringLiteral("LINE 2"));
    }

    // Old values carry no status colour and fade, yet stay legible, in light and dark palettes
    // alike, and the header has room for the longest note.
    void staleLineFadesInAnyPalette_data()
    {
        QTest::addColumn<QColor>("window");
        QTest::newRow("light") << QColor(239, 239, 239);
        QTest::newRow("dark") << QColor(45, 45, 45);
    }

    void staleLineFadesInAnyPalette()
    {
        QFETCH(QColor, window);
        const auto restore = qScopeGuard([before = QApplication::palette()] { QApplication::setPalette(before); });
        QApplication::setPalette(QPalette(window));
        const QPalette palette;
        TFrame_LineTab tab(2);
        TFrame_SensorBox *box = tab.boxes().first();
        box->ShowChannel(thermometer(21, 250));
        const QString note = QStringLiteral("LINE 2 - not connected, last answer 21:08:13");
        tab.setStale(true, note.mid(9));
        tab.layout()->activate();
        QCOMPARE(tab.Label_Caption->text(), note);
        QVERIFY(tab.Label_Caption->width() >= tab.Label_Caption->sizeHint().width());
        QCOMPARE(box->Label_Value1->text(), QStringLiteral("25.0 °C"));
        QCOMPARE(box->boxColour(), palette.color(QPalette::Window));
        const QColor faded = box->Label_Value1->palette().color(QPalette::WindowText);
        const double live = contrast(palette.color(QPalette::WindowText), window);
        QVERIFY2(contrast(faded, window) >= 3 && contrast(faded, window) < live / 2, qPrintable(faded.name()));
    }

    void addNewTurnsOnServiceModeOnce()
    {
        TFrame_LineTab tab(1);
        QVERIFY(tab.boxes().first()->SpeedButton_Edit->isHidden());
        QSignalSpy clicks(&tab, &TFrame_LineTab::addNewClicked);
        tab.SpeedButton_AddNew->click();
        QVERIFY(!tab.SpeedButton_AddNew->isEnabled());
        QVERIFY(!tab.boxes().first()->SpeedButton_Edit->isHidden());
        QVERIFY(tab.boxes().first()->SpeedButton_DescrSwitch->isHidden());
        tab.SpeedButton_AddNew->click();
        QCOMPARE(clicks.size(), 1);
    }

    void descriptionsApplyOnlyToMatchingNumbers()
    {
        TFrame_LineTab tab(2);
        QList<TDescriptionRecord> records;
        for (int i = 0; i < 20; ++i)
            records.append({uint8_t(20 + i), QString::number(20 + i), QString(), QStringLiteral("d%1").arg(i)});
        records[3].number = 99;
        tab.boxes()[3]->SetDescription(QStringLiteral("kept"));
        tab.ApplyDescriptions(records);
        QCOMPARE(tab.boxes()[0]->description(), QStringLiteral("d0"));
        QCOMPARE(tab.boxes()[3]->description(), QStringLiteral("kept"));
        QList<TDescriptionRecord> collected;
        tab.CollectDescriptions(collected);
        QCOMPARE(collected.size(), 20);
        QCOMPARE(collected[19].numberText, QStringLiteral("39"));
        QCOMPARE(collected[0].romHex, QStringLiteral("0000000000000000"));
        tab.ClearDescriptions();
        QVERIFY(tab.boxes()[0]->description().isEmpty());
    }
};

QTEST_MAIN(tst_ChannelWidgets)
#include "tst_ChannelWidgets.moc"
