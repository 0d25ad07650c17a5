#include "OutgoingText.h"

bool OutgoingText::isDropped(char32_t c)
{
    return c < 0x20 // C0, NUL and TAB included
        || (c >= 0x7F && c <= 0x9F) // DEL and C1
        || c == 0x061C // Arabic letter mark
        || c == 0x200E || c == 0x200F // left-to-right and right-to-left marks
        || (c >= 0x202A && c <= 0x202E) // embeddings, overrides and their end
        || (c >= 0x2066 && c <= 0x2069); // isolates and their end
}

QString OutgoingText::clean(const QString &text)
{
    QString out;
    out.reserve(text.size());
    // Every dropped character is in the basic plane: surrogate pairs pass as they are.
    for (const QChar c : text)
        if (!isDropped(c.unicode()))
            out.append(c);
    return out;
}
