// The main window for anyone: coloured texts that read in light and dark colour schemes,
// content that scrolls on a 1024 x 768 screen, menu mnemonics in both languages, and the
// boxes' ROM codes and descriptions by keyboard. Runs on an offscreen screen of 1024 x 768.
#include "Language.h"
#include "MemoryTransport.h"
#include "Mnemonics.h"
#include "ScriptedPrompts.h"
#include "TFrame_FindNewTab.h"
#include "TFrame_LineTab.h"
#include "TFrame_SensorBox.h"
#include "TMainForm.h"
#include "TTarvikKomunikator.h"
#include "TestHelpers.h"
#include "TextContrast.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScopeGuard>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

namespace {

struct Form
{
    std::unique_ptr<TMainForm> form;
    Form()
    {
        clearStoredSettings();
        form = std::make_unique<TMainForm>(std::unique_ptr<SerialTransport>(new MemoryTransport));
        form->setPersistSettings(false);
    }
    void showActive()
    {
        form->showPlaced();
        QApplication::setActiveWindow(form.get());
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
    }
    QScrollArea *scroll() const { return form->findChild<QScrollArea *>(QStringLiteral("ScrollBox_Main")); }
};

// A dark scheme as desktops give it: dark window and fields, light text.
QPalette darkPalette()
{
    QPalette p;
    const QColor text(230, 230, 230);
    for (auto [role, colour] : std::initializer_list<std::pair<QPalette::ColorRole, QColor>>{
             {QPalette::Window, QColor(45, 45, 45)}, {QPalette::WindowText, text},
             {QPalette::Base, QColor(30, 30, 30)}, {QPalette::AlternateBase, QColor(53, 53, 53)},
             {QPalette::Text, text}, {QPalette::Button, QColor(53, 53, 53)}, {QPalette::ButtonText, text},
             {QPalette::Highlight, QColor(42, 130, 218)}, {QPalette::HighlightedText, Qt::white},
             {QPalette::ToolTipBase, QColor(53, 53, 53)}, {QPalette::ToolTipText, text},
             {QPalette::Light, QColor(80, 80, 80)}, {QPalette::Midlight, QColor(65, 65, 65)},
             {QPalette::Mid, QColor(40, 40, 40)}, {QPalette::Dark, QColor(25, 25, 25)},
             {QPalette::Shadow, Qt::black}})
        p.setColor(role, colour);
    return p;
}

// What is painted behind a widget: its own background, or that of the nearest parent that
// paints one.
QColor backgroundOf(const QWidget *w)
{
    for (; w; w = w->parentWidget())
        if (w->autoFillBackground() || w->isWindow())
            return w->palette().color(w->backgroundRole());
    return {};
}

// Channels 1..10 of line 1 in every look a box has: OK, an error, not read yet, free.
std::array<uint16_t, PollBlockSize> mixedBlock()
{
    std::array<uint16_t, PollBlockSize> b{};
    const uint8_t statuses[10] = {0, 0, 5, 2, 254, 77, 255, 0, 3, 255};
    for (int k = 0; k < 10; ++k) {
        b[size_t(10 * k)] = statuses[k] == 255 ? 0xFFFF : 0x28FF;
        for (int w = 1; w < 4; ++w)
            b[size_t(10 * k + w)] = statuses[k] == 255 ? 0xFFFF : uint16_t(0x1000 + k);
        b[size_t(10 * k + 4)] = uint16_t(-200 - k);
        b[size_t(10 * k + 9)] = statuses[k];
    }
    return b;
}

} // namespace

class tst_ReadableWindow : public QObject
{
    Q_OBJECT
private slots:
    // Every label of the window, on the colour painted behind it, reaches 4.5:1 whatever the
    // scheme: status colours, the counters' red and blue, the line headers, the search panel.
    void colouredTextsReadInLightAndDarkSchemes_data()
    {
        QTest::addColumn<QPalette>("palette");
        QTest::newRow("light") << QApplication::style()->standardPalette();
        QTest::newRow("dark") << darkPalette();
    }

    void colouredTextsReadInLightAndDarkSchemes()
    {
        QFETCH(QPalette, palette);
        const auto restore = qScopeGuard([before = QApplication::palette()] { QApplication::setPalette(before); });
        QApplication::setPalette(palette);
        ScriptedPrompts prompts;
        Form f;
        TMainForm &form = *f.form;
        form.Connect1Click();
        form.DispatchBlock(mixedBlock(), 0);
        form.lineTab(2)->ShowLineStatus(2); // short circuit: the red header
        form.sensorBoxes()[1]->SetDescription(QStringLiteral("boiler"));
        form.sensorBoxes()[1]->SetDescriptionMode(true);
        form.communicator()->ReadBlock(0);
        form.communicator()->ReadBlock(0); // unanswered: Err and Timeout in red
        form.searchPanel(1)->show();
        form.searchPanel(1)->ShowServiceBlock({});

        int checked = 0;
        for (const QLabel *label : form.findChildren<QLabel *>()) {
            const QColor back = backgroundOf(label);
            const QColor text = label->palette().color(label->foregroundRole());
            const double ratio = TextContrast::ratio(text, back);
            QVERIFY2(ratio >= TextContrast::Readable,
                     qPrintable(QStringLiteral("%1/%2 \"%3\": %4 on %5 is %6:1")
                                    .arg(label->parentWidget()->objectName(), label->objectName(), label->text(),
                                         text.name(), back.name())
                                    .arg(ratio, 0, 'f', 2)));
            ++checked;
        }
        QVERIFY(checked > 40 * 7);
        QVERIFY(!form.findChild<QLabel *>(QStringLiteral("Label_Timeout"))->isHidden());
    }

    // On a 1024 x 768 screen the window fits the screen and scrolls to every channel and to
    // line 2's Add New; Tab scrolls the box it reaches into view.
    void smallScreenScrollsToEveryBox()
    {
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QCOMPARE(screen.size(), QSize(1024, 768));
        Form f;
        TMainForm &form = *f.form;
        QVERIFY(form.startsMaximized());
        f.showActive();
        QTRY_VERIFY(screen.contains(form.frameGeometry()));
        QScrollArea *scroll = f.scroll();
        QVERIFY(scroll);
        // 1198 px of content in 1020.
        QTRY_VERIFY(scroll->horizontalScrollBar()->isVisible());
        QWidget *viewport = scroll->viewport();
        const auto inView = [viewport](const QWidget *w) {
            return viewport->rect().contains(QRect(w->mapTo(viewport, QPoint(0, 0)), w->size()));
        };
        QList<QWidget *> targets{form.lineTab(2)->SpeedButton_AddNew};
        for (TFrame_SensorBox *box : form.sensorBoxes())
            targets << box;
        for (QWidget *w : targets) {
            scroll->ensureWidgetVisible(w, 0, 0);
            QVERIFY2(inView(w), qPrintable(w->objectName()));
        }
        scroll->ensureWidgetVisible(form.sensorBoxes().first(), 0, 0);
        TFrame_SensorBox *last = form.sensorBoxes().last();
        QVERIFY(!inView(last));
        last->Label_ROMCode->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(inView(last->Label_ROMCode));
    }

    // Every title and item has a mnemonic, none twice in one menu, in both languages; Alt and
    // a title's letter opens its menu.
    void everyMenuHasUniqueMnemonics_data()
    {
        QTest::addColumn<int>("language");
        QTest::newRow("English") << Language::English;
        QTest::newRow("Czech") << Language::Czech;
    }

    void everyMenuHasUniqueMnemonics()
    {
        QFETCH(int, language);
        const auto restore = qScopeGuard([] { Language::set(Language::English); });
        Form f;
        TMainForm &form = *f.form;
        form.setLanguage(language);
        QList<QList<QAction *>> levels{form.menuBar()->actions()};
        for (QAction *title : form.menuBar()->actions())
            levels << title->menu()->actions();
        for (const QList<QAction *> &level : levels) {
            QSet<QChar> seen;
            for (const QAction *a : level) {
                if (a->isSeparator())
                    continue;
                const QChar m = Mnemonics::of(a->text());
                QVERIFY2(!m.isNull(), qPrintable(a->text()));
                QVERIFY2(!seen.contains(m), qPrintable(a->text()));
                seen.insert(m);
            }
        }
        f.showActive();
        QMenu *file = form.action(QStringLiteral("File1"))->menu();
        QTest::keyClick(&form, Mnemonics::of(form.action(QStringLiteral("File1"))->text()).toLatin1(), Qt::AltModifier);
        QTRY_VERIFY(file->isVisible());
        QTest::keyClick(file, Qt::Key_Escape);
    }

    // Tab goes through the boxes in channel order, stopping at each ROM code; F2 or Enter
    // there opens the code's entry, or the description's in description mode.
    void romCodesAndDescriptionsByKeyboard()
    {
        ScriptedPrompts prompts;
        Form f;
        TMainForm &form = *f.form;
        f.showActive();
        form.lineTab(1)->SpeedButton_AddNew->setFocus(Qt::TabFocusReason);
        QList<QWidget *> reached;
        for (int i = 0; i < 200 && reached.size() < 40; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            for (TFrame_SensorBox *box : form.sensorBoxes())
                if (QApplication::focusWidget() == box->Label_ROMCode && !reached.contains(box->Label_ROMCode))
                    reached << box->Label_ROMCode;
        }
        QList<QWidget *> expected;
        for (TFrame_SensorBox *box : form.sensorBoxes())
            expected << box->Label_ROMCode;
        QCOMPARE(reached, expected);

        TFrame_SensorBox *box = form.sensorBoxes().last();
        QCOMPARE(QApplication::focusWidget(), box->Label_ROMCode);
        QTest::keyClick(box->Label_ROMCode, Qt::Key_F2);
        QCOMPARE(prompts.texts(ScriptedPrompts::Kind::MaskedInput).size(), 1);
        QVERIFY(prompts.texts(ScriptedPrompts::Kind::MaskedInput).first().contains(QStringLiteral("39")));

        form.action(QStringLiteral("ShowDescriptions1"))->trigger();
        prompts.queueInput(QStringLiteral("return pipe"));
        QTest::keyClick(box->Label_ROMCode, Qt::Key_Return);
        QCOMPARE(box->description(), QStringLiteral("return pipe"));
        QCOMPARE(box->Label_ROMCode->text(), QStringLiteral("return pipe"));
    }
};

int main(int argc, char **argv)
{
    // The smallest screen the window is made for, unless a real display is asked for.
    QTemporaryDir dir;
    const QString config = dir.filePath(QStringLiteral("screen.json"));
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (platform.isEmpty() || platform == "offscreen") {
        writeFile(config, R"({"screens": [{"name": "small", "x": 0, "y": 0, "width": 1024, "height": 768,
                              "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(config));
    }
    QApplication app(argc, argv);
    tst_ReadableWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_ReadableWindow.moc"
