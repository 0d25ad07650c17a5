#pragma once

#include <QString>

// Text from a user's file on its way to other programs (MQTT payloads, Home Assistant names,
// Prometheus labels): control characters (C0, DEL, C1) and the bidirectional controls
// (embeddings, overrides, isolates, marks) are dropped, so no escape sequence reaches a
// terminal or log and no name shows reversed or disguised.
class OutgoingText
{
public:
    static QString clean(const QString &text);
    static bool isDropped(char32_t c);
};
