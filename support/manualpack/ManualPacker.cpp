#include "ManualPacker.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>
#include <algorithm>

namespace {

// src="..." of the page's elements; the manual's pages quote their attributes with '"'.
const QRegularExpression kSource(
    QStringLiteral(R"re(\bsrc\s*=\s*"([^"]*)")re"), QRegularExpression::CaseInsensitiveOption);

QByteArray mimeTypeOf(const QString &fileName)
{
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == QLatin1String("png"))
        return "image/png";
    if (suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg"))
        return "image/jpeg";
    if (suffix == QLatin1String("gif"))
        return "image/gif";
    if (suffix == QLatin1String("svg"))
        return "image/svg+xml";
    return {};
}

// Base64 in lines of 76 characters, as MIME wants them.
QByteArray base64Lines(const QByteArray &bytes)
{
    const QByteArray text = bytes.toBase64();
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); i += 76)
        out += text.mid(i, 76) + "\r\n";
    return out;
}

QByteArray withCrLf(QByteArray text)
{
    text.replace("\r\n", "\n");
    text.replace('\r', '\n');
    text.replace("\n", "\r\n");
    return text;
}

} // namespace

bool ManualPacker::load(const QString &pagePath, QString *error)
{
    QFile page(pagePath);
    if (!page.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: %2").arg(pagePath, page.errorString());
        return false;
    }
    m_page = withCrLf(page.readAll());
    m_pictures.clear();

    const QString folder = QFileInfo(pagePath).absolutePath();
    auto matches = kSource.globalMatch(QString::fromUtf8(m_page));
    while (matches.hasNext()) {
        const QString reference = matches.next().captured(1);
        const QUrl url(reference);
        // Everything the manual shows travels inside it: a reference to anywhere else would
        // show a broken picture on a machine without network.
        if (reference.isEmpty() || !url.isRelative() || reference.startsWith(QLatin1Char('/'))) {
            *error = QStringLiteral("%1: the picture \"%2\" is not a file beside the page")
                         .arg(pagePath, reference);
            return false;
        }
        const bool known = std::any_of(m_pictures.cbegin(), m_pictures.cend(),
            [&](const Picture &p) { return p.reference == reference; });
        if (known)
            continue;
        Picture picture{reference, mimeTypeOf(url.path()), {}};
        QFile file(folder + QLatin1Char('/') + url.path());
        if (picture.mimeType.isEmpty() || !file.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("%1: the picture \"%2\" cannot be packed: %3")
                         .arg(pagePath, reference,
                             picture.mimeType.isEmpty() ? QStringLiteral("unknown kind of file")
                                                        : file.errorString());
            return false;
        }
        picture.bytes = file.readAll();
        m_pictures.append(picture);
    }
    return true;
}

QByteArray ManualPacker::mht() const
{
    const QUrl base(QString::fromLatin1(PageLocation));
    const QByteArray boundary = QByteArray("--") + Boundary;

    QByteArray out = "MIME-Version: 1.0\r\n"
                     "Content-Type: multipart/related; type=\"text/html\";\r\n"
                     "\tboundary=\""
        + QByteArray(Boundary)
        + "\"\r\n"
          "\r\n"
          "This is a multi-part message in MIME format.\r\n"
          "\r\n";
    out += boundary
        + "\r\n"
          "Content-Type: text/html; charset=\"utf-8\"\r\n"
          "Content-Transfer-Encoding: quoted-printable\r\n"
          "Content-Location: "
        + base.toEncoded()
        + "\r\n"
          "\r\n";
    // The line break before each boundary belongs to the boundary, not to the part.
    out += quotedPrintable(m_page);
    for (const Picture &picture : m_pictures) {
        out += "\r\n" + boundary
            + "\r\n"
              "Content-Type: "
            + picture.mimeType
            + "\r\n"
              "Content-Transfer-Encoding: base64\r\n"
              "Content-Location: "
            + base.resolved(QUrl(picture.reference)).toEncoded()
            + "\r\n"
              "\r\n";
        out += base64Lines(picture.bytes);
    }
    out += "\r\n" + boundary + "--\r\n";
    return out;
}

QByteArray ManualPacker::html() const
{
    QString page = QString::fromUtf8(m_page);
    // From the last reference back, so the positions of the earlier ones stay valid.
    QList<QRegularExpressionMatch> references;
    for (auto matches = kSource.globalMatch(page); matches.hasNext();)
        references.prepend(matches.next());
    for (const QRegularExpressionMatch &match : references) {
        const auto picture = std::find_if(m_pictures.cbegin(), m_pictures.cend(),
            [&](const Picture &p) { return p.reference == match.captured(1); });
        const QString uri = QStringLiteral("data:%1;base64,%2")
                                .arg(QString::fromLatin1(picture->mimeType),
                                    QString::fromLatin1(picture->bytes.toBase64()));
        page.replace(match.capturedStart(1), match.capturedLength(1), uri);
    }
    return page.toUtf8();
}

QByteArray ManualPacker::quotedPrintable(const QByteArray &text)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    int column = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const bool lineEnd = i + 1 >= text.size() || text[i + 1] == '\r';
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            out += "\r\n";
            column = 0;
            ++i;
            continue;
        }
        // Blanks stay readable except at the end of a line, where transports may drop them.
        const bool plain
            = (c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !lineEnd);
        const char escaped[] = {'=', hex[c >> 4], hex[c & 15]};
        const QByteArray piece = plain ? QByteArray(1, char(c)) : QByteArray(escaped, 3);
        if (column + piece.size() > 75) { // room for the "=" of a soft line break
            out += "=\r\n";
            column = 0;
        }
        out += piece;
        column += int(piece.size());
    }
    return out;
}
