// Legibility without windows: colour contrast, text fitted into a fixed space, menu mnemonics.
#include "Mnemonics.h"
#include "TextContrast.h"
#include "TextFit.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QTest>

class tst_Legibility : public QObject
{
    Q_OBJECT
private slots:
    void contrastIsMeasuredAsTheGuidelinesDo()
    {
        QCOMPARE(TextContrast::ratio(Qt::black, Qt::white), 21.0);
        QCOMPARE(TextContrast::ratio(Qt::white, Qt::black), 21.0);
        QCOMPARE(TextContrast::ratio(QColor(120, 30, 200), QColor(120, 30, 200)), 1.0);
        // Mid grey: luminance 0.2159, so 1.05 / 0.2659 on white.
        QVERIFY(qAbs(TextContrast::ratio(QColor(128, 128, 128), Qt::white) - 3.949) < 0.01);
        // The light theme's text on the light green of a good channel reads; light text does not.
        QVERIFY(TextContrast::ratio(Qt::black, QColor(215, 255, 215)) > 18);
        QVERIFY(TextContrast::ratio(QColor(240, 240, 240), QColor(215, 255, 215)) < 1.1);
    }

    // Whatever is wanted and whatever the background, the colour returned reads on it; one
    // that reads already comes back as it is, and a colour keeps its hue.
    void readableTextKeepsTheWantedColourWhereItCan_data()
    {
        QTest::addColumn<QColor>("wanted");
        QTest::addColumn<QColor>("background");
        QTest::addColumn<bool>("unchanged");
        QTest::addColumn<double>("atLeast"); // 7 unless the background allows less
        QTest::newRow("dark text on light green") << QColor(Qt::black) << QColor(215, 255, 215) << true << 4.5;
        QTest::newRow("light text on light green") << QColor(220, 220, 220) << QColor(215, 255, 215) << false << 7.0;
        QTest::newRow("light text on pink") << QColor(255, 255, 255) << QColor(255, 215, 215) << false << 7.0;
        QTest::newRow("red on light grey") << QColor(Qt::red) << QColor(239, 239, 239) << false << 7.0;
        QTest::newRow("red on dark grey") << QColor(Qt::red) << QColor(45, 45, 45) << false << 7.0;
        QTest::newRow("blue on light grey") << QColor(Qt::blue) << QColor(239, 239, 239) << true << 4.5;
        QTest::newRow("blue on dark grey") << QColor(Qt::blue) << QColor(45, 45, 45) << false << 7.0;
        QTest::newRow("white on a mid blue") << QColor(Qt::white) << QColor(48, 140, 198) << false << 5.6; // black gives 5.68
        QTest::newRow("white on navy") << QColor(Qt::white) << QColor(0, 0, 128) << true << 4.5;
        QTest::newRow("grey on mid grey") << QColor(128, 128, 128) << QColor(118, 118, 118) << false << 4.5; // white gives 4.54
    }

    void readableTextKeepsTheWantedColourWhereItCan()
    {
        QFETCH(QColor, wanted);
        QFETCH(QColor, background);
        QFETCH(bool, unchanged);
        QFETCH(double, atLeast);
        const QColor got = TextContrast::readable(wanted, background);
        QVERIFY2(TextContrast::ratio(got, background) >= atLeast, qPrintable(got.name()));
        // The least change that reaches it: no further than half a step past.
        if (!unchanged)
            QVERIFY2(TextContrast::ratio(got, background) < atLeast * 1.1, qPrintable(got.name()));
        QCOMPARE(got == wanted, unchanged);
        if (wanted.hslSaturation() > 0 && got.hslSaturation() > 0) {
            const int turn = qAbs(got.hslHue() - wanted.hslHue());
            QVERIFY2(qMin(turn, 360 - turn) <= 2, qPrintable(got.name()));
        }
    }

    // A value's sign and digits are never cut: the font shrinks, then the unit goes.
    void textFitsItsSpaceWithoutLosingADigit_data()
    {
        QTest::addColumn<int>("points");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("kept");
        for (int points : {9, 12, 14, 20}) {
            for (const char *text : {"-20.0 °C", "-3276.8 °C", "1234,5 mA"}) {
                const QString t = QString::fromUtf8(text);
                QTest::addRow("%s at %d pt", text, points) << points << t << t.left(t.lastIndexOf(QLatin1Char(' ')));
            }
            QTest::addRow("Ch39 at %d pt", points) << points << QStringLiteral("Ch39") << QStringLiteral("Ch39");
        }
    }

    void textFitsItsSpaceWithoutLosingADigit()
    {
        QFETCH(int, points);
        QFETCH(QString, text);
        QFETCH(QString, kept);
        QFont font = QGuiApplication::font();
        font.setPointSize(points);
        const QSize space(56, 16); // a value cell of a channel's box
        const TextFit::Result fitted = TextFit::fit(font, text, space);
        QVERIFY2(fitted.text.startsWith(kept), qPrintable(fitted.text));
        QVERIFY2(TextFit::fits(fitted.font, fitted.text, space),
                 qPrintable(QStringLiteral("%1 at %2 pt").arg(fitted.text).arg(fitted.font.pointSizeF())));
        if (TextFit::fits(font, text, space))
            QCOMPARE(fitted.font, font);
        // Shrunk only as far as needed: half a point larger would not fit.
        if (fitted.font != font && fitted.text == text) {
            QFont larger = fitted.font;
            larger.setPointSizeF(fitted.font.pointSizeF() + 0.5);
            QVERIFY(!TextFit::fits(larger, text, space));
        }
    }

    void everyCaptionOfAMenuGetsItsOwnMnemonic_data()
    {
        QTest::addColumn<QStringList>("captions");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("own ones kept") << QStringList{"&File", "E&xit"} << QStringList{"&File", "E&xit"};
        QTest::newRow("missing ones at a free word start")
            << QStringList{"&Connect", "Connect again", "&Disconnect"}
            << QStringList{"&Connect", "Connect &again", "&Disconnect"};
        QTest::newRow("a later duplicate moves, the earlier stays")
            << QStringList{"&Soubor", "&Settings"} << QStringList{"&Soubor", "S&ettings"};
        QTest::newRow("own ones first, so a plain caption takes no later letter")
            << QStringList{"Find gateway", "&Find", "&Traffic"} << QStringList{"Find &gateway", "&Find", "&Traffic"};
        QTest::newRow("ampersands stay literal") << QStringList{"Save && Exit"} << QStringList{"&Save && Exit"};
        QTest::newRow("nothing left to mark") << QStringList{"&A", "A"} << QStringList{"&A", "A"};
    }

    void everyCaptionOfAMenuGetsItsOwnMnemonic()
    {
        QFETCH(QStringList, captions);
        QFETCH(QStringList, expected);
        QCOMPARE(Mnemonics::assign(captions), expected);
        QCOMPARE(Mnemonics::of(QStringLiteral("Save && E&xit")), QLatin1Char('x'));
        QCOMPARE(Mnemonics::plain(QStringLiteral("Save && E&xit")), QStringLiteral("Save & Exit"));
        QVERIFY(Mnemonics::of(QStringLiteral("Save && Exit")).isNull());
    }
};

QTEST_MAIN(tst_Legibility)
#include "tst_Legibility.moc"
