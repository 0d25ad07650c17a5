#pragma once

#include "TChannelRecord.h"
#include "TModbusKomunikator.h"

#include <QStringList>
#include <QTimer>
#include <array>
#include <functional>

// The gateway's own operations on top of the Modbus master: the line settings of the PC link,
// the lists of selectable speeds, addresses, parities and stop bits, and the commands that
// search, assign and free 1-Wire devices. Each operation is a thin mapping from a user action
// to register writes, followed by steering the poll cycle to the block that shows the result.
class TTarvikKomunikator : public TModbusKomunikator
{
    Q_OBJECT
public:
    // Selectable line speeds in units of 100 Bd.
    static constexpr std::array<uint16_t, 16> BaudRateTable = {
        12, 18, 24, 48, 72, 96, 144, 192, 288, 384, 560, 576, 768, 1152, 1280, 2304};
    static constexpr int DefaultBaudIndex = 5; // 9.6 kBd
    static constexpr int UsbBaudIndex = 13;    // 115.2 kBd, fixed on the USB interface
    enum PortKind { pkRS485 = 0, pkRS232 = 1, pkUSB = 2 };
    static const QStringList ParityNames;
    static const QStringList StopBitNames;

    using ImportProgress = std::function<void(int done, int total)>;
    // How an import ended. Each channel is freed, then its ROM code written, and each write
    // must be confirmed by the gateway's answer; the import stops at the first that is not.
    struct ImportResult
    {
        // InTimeout: the link was in timeout, so nothing was started or sent.
        enum Status { Completed, Stopped, PortLost, Refused, NoAnswer, InTimeout };
        Status status = Completed;
        int confirmed = 0;        // channels whose ROM code the gateway confirmed
        QList<int> rewritten;     // those channels
        int failedChannel = 0;    // Refused / NoAnswer / PortLost: the channel at hand
        bool failedAtFree = false; // the free was not confirmed (else the ROM code write)
        uint8_t exceptionCode = 0; // Refused
        bool completed() const { return status == Completed; }
    };
    using ImportFinished = std::function<void(const ImportResult &result)>;

    explicit TTarvikKomunikator(TAfComPort *port, QObject *parent = nullptr);

    // Line settings of the PC link.
    void SetBaudIndex(int i);
    void SetParity(int i);
    void SetStopBits(int i);
    void SetAddressIndex(int i);

    static int BaudIndexOf(int value);
    static int BaudAt(int i);
    static void FillBaudRates(QStringList &list, int kind);
    static void FillAddresses(QStringList &list, int kind);
    static void FillParities(QStringList &list, int kind);
    static void FillStopBits(QStringList &list, int kind);

    // Device operations; line is 0 or 1, c a channel 1..40, cc a zero-based channel 0..39.
    // Arguments outside those ranges send nothing.
    void FindNew(int line);
    void FindNewAll(int line);
    void FindAll(int line);
    void SaveNewDevice(int c);
    void DeletePosition(int c);
    void DeletePositionNow(int c);
    void SaveFoundDevice(int index, int cc);
    void WriteRomCode(const std::array<uint16_t, 4> &words, int c);

    // Rewrites the ROM codes of the given channels: for each record the channel is freed, then
    // its ROM code is written, each write at least one poll interval after the last and only
    // once the gateway confirmed it; a record of a position never read (channel 0) is passed
    // over. A refused or unanswered write, a port that goes away or StopImport end the import
    // there. The poll cycle rests meanwhile and restarts at block 0 afterwards, unless the port
    // went away. The work is driven by a timer, so the window stays responsive; progress
    // reports each record done. While the link is in timeout (the gateway does not answer) it
    // does not start: nothing would be sent, and no channel is touched.
    void ImportRomCodes(const QList<TChannelRecord> &records, ImportProgress progress,
                        ImportFinished finished);
    bool ImportRunning() const { return m_importTimer.isActive() || m_importPos >= 0; }
    // Ends a running import between two records: a channel already freed still gets its ROM
    // code, then the import finishes as stopped. The records not reached are not written, so
    // their channels keep what the gateway holds.
    void StopImport() { m_importStopRequested = m_importPos >= 0; }
    // Records whose ROM code the gateway confirmed so far in the running or last import.
    int ImportDone() const { return m_importResult.confirmed; }
    // One step of the import, one timer interval after the last; tests call it instead of
    // waiting for the timer.
    void importStep();

private:
    enum class ImportPhase { NextRecord, Freeing, Writing };
    void queueCommand(int line, uint16_t word, int nextBlock);
    // Starts the next record's free; false when nothing is left to do.
    bool importNextRecord();
    void finishImport(ImportResult::Status status);

    QTimer m_importTimer;
    QList<TChannelRecord> m_importRecords;
    int m_importPos = -1;
    ImportPhase m_importPhase = ImportPhase::NextRecord;
    bool m_importStopRequested = false;
    ImportResult m_importResult;
    ImportProgress m_importProgress;
    ImportFinished m_importFinished;
};
