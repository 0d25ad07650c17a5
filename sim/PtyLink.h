#pragma once

#include "LineSettings.h"

#include <QByteArray>
#include <QString>

// A pseudo-terminal pair standing in for a serial line. The simulated gateway works on the
// master side; the tool opens the slave side (or a link to it) exactly like a serial port.
// The line settings the tool sets on its side can be read back here, since both sides share
// one terminal setting. Unix only.
class PtyLink
{
public:
    // Creates the pair with the slave side in raw mode; throws std::runtime_error on failure.
    PtyLink();
    ~PtyLink();
    PtyLink(const PtyLink &) = delete;
    PtyLink &operator=(const PtyLink &) = delete;

    QString slavePath() const { return m_slavePath; }
    int masterFd() const { return m_master; }
    bool isOpen() const { return m_master >= 0; }

    // Makes linkPath a symbolic link to the slave side, replacing an old link there; throws
    // std::runtime_error when the path is taken by something else or cannot be written.
    void linkTo(const QString &linkPath);

    // Writes the bytes to the line without waiting; what the terminal has no room for (the
    // tool's side is not read) is lost, as on a real line. false when the line is closed.
    bool write(const QByteArray &bytes);
    // Bytes lost so far because nobody read them.
    qint64 droppedBytes() const { return m_dropped; }
    // Whatever has arrived from the tool, without waiting.
    QByteArray readAvailable();
    // Waits up to timeoutMs for bytes from the tool.
    bool waitReadable(int timeoutMs);

    // Baud rate, parity and stop bits currently set on the line.
    LineSettings lineSettings() const;

    // Closes the master side: to the tool the device vanishes.
    void closeMaster();

private:
    int m_master = -1;
    int m_keeper = -1;
    QString m_slavePath;
    QString m_link;
    qint64 m_dropped = 0;
};
