#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Packs one HTML page and the pictures it shows (img src="..." relative to the page) into the
// two single-file forms the program carries: a MIME HTML document (multipart/related, the page
// quoted-printable and the pictures base64, each part named by its Content-Location) and a
// self-contained page whose pictures are data: URIs. Runs at build time.
class ManualPacker
{
public:
    // Reads the page and every picture it refers to; false with the reason when the page or a
    // picture cannot be read, or a picture is of a kind the packer does not know.
    bool load(const QString &pagePath, QString *error);

    // The MIME HTML document, lines ended by CR LF.
    QByteArray mht() const;
    // The page with its pictures inline.
    QByteArray html() const;

    // Quoted-printable encoding of text whose lines end in CR LF (RFC 2045, lines of at most
    // 76 characters).
    static QByteArray quotedPrintable(const QByteArray &text);

    // The address the page part of the MIME HTML document is named by; its relative picture
    // references resolve against it to the pictures' parts. Browsers take subresources of such a
    // document from web addresses only (not file:), and a reserved domain that never resolves
    // keeps any viewer from looking for them on the network.
    static constexpr const char *PageLocation = "https://manual.invalid/index.html";
    static constexpr const char *Boundary = "----=_NextPart_TarvikManual";

private:
    struct Picture
    {
        QString reference; // as written in the page
        QByteArray mimeType;
        QByteArray bytes;
    };

    QByteArray m_page; // UTF-8, CR LF line ends
    QList<Picture> m_pictures;
};
