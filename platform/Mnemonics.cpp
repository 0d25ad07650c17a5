#include "Mnemonics.h"

#include <QSet>

namespace {

// The index in the plain text of the caption's mnemonic character, or -1.
int markedIndex(const QString &caption)
{
    int plainIndex = 0;
    for (int i = 0; i < caption.size(); ++i) {
        if (caption[i] == QLatin1Char('&') && i + 1 < caption.size()) {
            if (caption[i + 1] != QLatin1Char('&'))
                return plainIndex;
            ++i; // "&&": a literal ampersand
        }
        ++plainIndex;
    }
    return -1;
}

// plain (no markers) with "&&" for its ampersands and a marker before index.
QString marked(const QString &plain, int index)
{
    QString out;
    for (int i = 0; i < plain.size(); ++i) {
        if (i == index)
            out += QLatin1Char('&');
        out += plain[i];
        if (plain[i] == QLatin1Char('&'))
            out += QLatin1Char('&');
    }
    return out;
}

// Where the free character goes: word starts first, then any letter or digit.
int freeIndex(const QString &plain, const QSet<QChar> &taken)
{
    const auto usable = [&](int i) { return plain[i].isLetterOrNumber() && !taken.contains(plain[i].toLower()); };
    for (int i = 0; i < plain.size(); ++i)
        if ((i == 0 || !plain[i - 1].isLetterOrNumber()) && usable(i))
            return i;
    for (int i = 0; i < plain.size(); ++i)
        if (usable(i))
            return i;
    return -1;
}

} // namespace

QChar Mnemonics::of(const QString &caption)
{
    const int index = markedIndex(caption);
    return index < 0 ? QChar() : plain(caption)[index].toLower();
}

QString Mnemonics::plain(const QString &caption)
{
    QString out;
    for (int i = 0; i < caption.size(); ++i) {
        if (caption[i] == QLatin1Char('&') && i + 1 < caption.size())
            ++i;
        out += caption[i];
    }
    return out;
}

QStringList Mnemonics::assign(const QStringList &captions)
{
    QSet<QChar> taken;
    QList<bool> kept(captions.size(), false);
    // Own mnemonics first, so an item without one never takes the letter of a later item.
    for (int i = 0; i < captions.size(); ++i) {
        const QChar own = of(captions[i]);
        if (!own.isNull() && !taken.contains(own)) {
            taken.insert(own);
            kept[i] = true;
        }
    }
    QStringList out;
    for (int i = 0; i < captions.size(); ++i) {
        if (kept[i]) {
            out << captions[i];
            continue;
        }
        const QString text = plain(captions[i]);
        const int index = freeIndex(text, taken);
        if (index >= 0)
            taken.insert(text[index].toLower());
        out << marked(text, index);
    }
    return out;
}
