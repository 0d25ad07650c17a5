// The manuals as the program carries them: each MIME HTML document holds every picture its page
// shows, the self-contained page shows the same pictures inline and the same text, and the packer
// refuses a page whose pictures it cannot pack.
#include "ManualPacker.h"

#include <QFile>
#include <QImage>
#include <QMap>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

namespace {

const QRegularExpression kSource(QStringLiteral(R"re(\bsrc\s*=\s*"([^"]*)")re"));

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray decodeQuotedPrintable(QByteArray text)
{
    text.replace("=\r\n", "");
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '=' && i + 2 < text.size()) {
            out += QByteArray::fromHex(text.mid(i + 1, 2));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

struct Part
{
    QByteArray type;
    QByteArray body; // decoded
};

// The parts of a MIME HTML document by their Content-Location; the first part's location in
// *page. An empty map when the document is not multipart/related.
QMap<QString, Part> parseMht(const QByteArray &mht, QString *page)
{
    QMap<QString, Part> parts;
    const qsizetype headerEnd = mht.indexOf("\r\n\r\n");
    const auto boundary = QRegularExpression(QStringLiteral("boundary=\"([^\"]+)\""))
                              .match(QString::fromLatin1(mht.left(headerEnd)));
    if (!mht.startsWith("MIME-Version: 1.0\r\n") || !boundary.hasMatch())
        return parts;
    const QByteArray delimiter = "\r\n--" + boundary.captured(1).toLatin1();
    QList<QByteArray> chunks;
    for (qsizetype at = mht.indexOf(delimiter, headerEnd); at >= 0;) {
        const qsizetype next = mht.indexOf(delimiter, at + delimiter.size());
        if (next < 0)
            break;
        chunks.append(mht.mid(at + delimiter.size() + 2, next - at - delimiter.size() - 2));
        at = next;
    }
    for (const QByteArray &chunk : chunks) {
        const qsizetype split = chunk.indexOf("\r\n\r\n");
        QMap<QByteArray, QByteArray> headers;
        for (const QByteArray &line : chunk.left(split).split('\n')) {
            const qsizetype colon = line.indexOf(':');
            headers[line.left(colon).trimmed().toLower()] = line.mid(colon + 1).trimmed();
        }
        QByteArray body = chunk.mid(split + 4);
        const QByteArray encoding = headers.value("content-transfer-encoding").toLower();
        body = encoding == "base64" ? QByteArray::fromBase64(body) : decodeQuotedPrintable(body);
        const QString location = QString::fromLatin1(headers.value("content-location"));
        if (parts.isEmpty())
            *page = location;
        parts.insert(location, {headers.value("content-type"), body});
    }
    return parts;
}

QStringList sources(const QByteArray &html)
{
    QStringList list;
    for (auto m = kSource.globalMatch(QString::fromUtf8(html)); m.hasNext();)
        list.append(m.next().captured(1));
    return list;
}

} // namespace

class tst_PackedManual : public QObject
{
    Q_OBJECT
private slots:
    void everyPictureShownIsPackedWithTheManual_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("minPictures");
        QTest::newRow("tool manual") << "AppManual_EN" << 8;
        QTest::newRow("gateway manual") << "TARVIKManual_EN" << 0;
    }
    void everyPictureShownIsPackedWithTheManual()
    {
        QFETCH(QString, name);
        QFETCH(int, minPictures);
        const QByteArray mht = readAll(QStringLiteral(":/manuals/") + name);
        QVERIFY(!mht.isEmpty());
        QCOMPARE(mht.count('\n'), mht.count("\r\n")); // MIME wants CR LF throughout

        QString pageLocation;
        const QMap<QString, Part> parts = parseMht(mht, &pageLocation);
        QVERIFY(parts.contains(pageLocation));
        QVERIFY(parts[pageLocation].type.startsWith("text/html"));
        const QByteArray page = parts[pageLocation].body;
        QVERIFY(page.contains("</html>"));

        const QStringList references = sources(page);
        QVERIFY2(references.size() >= minPictures, qPrintable(QString::number(references.size())));
        for (const QString &reference : references) {
            const QString location = QUrl(pageLocation).resolved(QUrl(reference)).toString();
            QVERIFY2(parts.contains(location), qPrintable(reference));
            QVERIFY2(parts[location].type.startsWith("image/"), qPrintable(reference));
            QVERIFY2(!QImage::fromData(parts[location].body).isNull(), qPrintable(reference));
        }

        // The self-contained page: the same text, each picture inline where the other refers to it.
        QByteArray html = readAll(QStringLiteral(":/manuals/html/") + name);
        const QStringList inline_ = sources(html);
        QCOMPARE(inline_.size(), references.size());
        for (int i = 0; i < inline_.size(); ++i) {
            const QString &uri = inline_[i];
            QVERIFY(uri.startsWith(QStringLiteral("data:image/")));
            const QByteArray bytes
                = QByteArray::fromBase64(uri.section(QLatin1Char(','), 1).toLatin1());
            QVERIFY(!QImage::fromData(bytes).isNull());
            html.replace(uri.toLatin1(), references[i].toUtf8());
        }
        QCOMPARE(html, page);
    }

    void packerRefusesPicturesItCannotPack_data()
    {
        QTest::addColumn<QString>("source");
        QTest::newRow("missing file") << "images/none.png";
        QTest::newRow("elsewhere") << "https://www.example.com/a.png";
        QTest::newRow("not a picture") << "notes.txt";
    }
    void packerRefusesPicturesItCannotPack()
    {
        QFETCH(QString, source);
        QTemporaryDir dir;
        QFile(dir.filePath(QStringLiteral("notes.txt"))).open(QIODevice::WriteOnly);
        QFile page(dir.filePath(QStringLiteral("page.html")));
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.write(QStringLiteral("<html><img src=\"%1\"></html>").arg(source).toUtf8());
        page.close();
        ManualPacker packer;
        QString error;
        QVERIFY(!packer.load(page.fileName(), &error));
        QVERIFY2(error.contains(source), qPrintable(error));
    }

    void quotedPrintableKeepsEveryByte_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("equals sign and blanks at line end") << QByteArray("a=b \r\nc\t\r\nend ");
        QTest::newRow("long line") << QByteArray(200, 'x') + "\r\n" + QByteArray(80, '=');
        QTest::newRow("UTF-8 and a lone CR") << QByteArray("21,5 \xC2\xB0"
                                                           "C\rnext");
    }
    void quotedPrintableKeepsEveryByte()
    {
        QFETCH(QByteArray, text);
        const QByteArray encoded = ManualPacker::quotedPrintable(text);
        QCOMPARE(decodeQuotedPrintable(encoded), text);
        for (const QByteArray &line : encoded.split('\n')) {
            QVERIFY(line.size() <= 77); // 76 and the CR
            QVERIFY(!line.endsWith(" \r") && !line.endsWith(' '));
        }
    }
};

QTEST_MAIN(tst_PackedManual)
#include "tst_PackedManual.moc"
