#pragma once

#include "PtyLink.h"

#include <QByteArray>

// A pseudo-terminal for tests: the tool under test opens path(); the test plays the device on
// the far end, reading what the tool sent and answering in chunks with pauses. Every wait
// keeps the Qt event loop turning (QSerialPort writes from it) and ends at a deadline.
class PtyPair
{
public:
    PtyPair() = default;

    QString path() const { return m_link.slavePath(); }
    PtyLink &link() { return m_link; }

    // Collects bytes from the tool until count have arrived or timeoutMs passed.
    QByteArray readExactly(int count, int timeoutMs = 2000);
    // Collects whatever the tool sends during the next ms milliseconds.
    QByteArray readFor(int ms);
    // Sends bytes to the tool in chunks of chunkSize (all at once when 0), turning the event
    // loop for delayMs after each chunk.
    void write(const QByteArray &bytes, int chunkSize = 0, int delayMs = 0);
    void closeFarEnd() { m_link.closeMaster(); }

private:
    PtyLink m_link;
};
