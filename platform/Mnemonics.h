#pragma once

#include <QChar>
#include <QStringList>

// Keyboard mnemonics ("&File": Alt+F) of one menu level: every caption gets one, and no two
// share a letter. A caption's own mnemonic is kept unless an earlier caption already has its
// letter; a caption without one (or with a taken one) gets the first free letter or digit of
// its words' starts, then of the rest of its text.
class Mnemonics
{
public:
    // The captions in order, each with exactly one mnemonic where a free character is left.
    static QStringList assign(const QStringList &captions);
    // The mnemonic character of a caption, lower case; null when it has none.
    static QChar of(const QString &caption);
    // The caption without its mnemonic marker ("&&" stays a literal "&").
    static QString plain(const QString &caption);
};
