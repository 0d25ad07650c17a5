#pragma once

#include <QByteArray>
#include <QList>
#include <QRandomGenerator>

// Spoils answers on purpose, each kind at its own rate, from a seed, so a test that counts
// what went wrong can be repeated exactly. At most one fault is applied to an answer; holding an
// answer back (late) spoils nothing and may come on top of a fault.
class FaultInjector
{
public:
    struct Rates
    {
        double drop = 0;     // no answer at all
        double corrupt = 0;  // one bit flipped
        double truncate = 0; // the answer cut short
        double extra = 0;    // bytes after the answer
        double garbage = 0;  // 1-3 random bytes before the answer, delivered in random pieces
        double collide = 0;  // 2-3 bytes before the answer that make its first window end in a
                             // right CRC (CrcCollision), delivered in random pieces
        double split = 0;    // the answer delivered in several pieces (no fault by itself)
        double refuse = 0;   // a firmware data frame answered with exception 04, not stored
        double foreign = 0;   // sent as if from another slave address (its CRC made right)
        double exception = 0; // a read answered with exception 04 instead of its registers
        double late = 0;      // any answer held back lateMs beyond its usual moment
        int lateMs = 0;
    };
    struct Counts
    {
        int answers = 0; // answers offered to the injector
        int dropped = 0;
        int corrupted = 0;
        int truncated = 0;
        int extended = 0;
        int garbled = 0;
        int collided = 0;
        int split = 0;
        int refused = 0;
        int foreign = 0;
        int exceptions = 0;
        int late = 0;
    };
    // What was done to the last answer offered to apply().
    enum class Fault { None, Drop, Corrupt, Truncate, Extra, Garbage, Collide, Foreign, Exception };

    explicit FaultInjector(quint32 seed = 1) : m_rng(seed) {}
    void setRates(const Rates &rates) { m_rates = rates; }
    const Rates &rates() const { return m_rates; }
    bool active() const;
    const Counts &counts() const { return m_counts; }
    Fault lastFault() const { return m_lastFault; }
    // The pieces apply() returned last.
    const QList<QByteArray> &lastPieces() const { return m_lastPieces; }

    // The pieces in which the answer goes on the line: none when it is dropped, one piece
    // normally, several when it is split.
    QList<QByteArray> apply(const QByteArray &answer);
    // Whether this firmware data frame is to be refused.
    bool refuse();
    // Whether this answer is to be held back lateMs.
    bool late();

private:
    QList<QByteArray> pieces(const QByteArray &answer);
    QList<QByteArray> randomPieces(const QByteArray &bytes);
    QByteArray randomBytes(int count);

    Rates m_rates;
    Counts m_counts;
    Fault m_lastFault = Fault::None;
    QList<QByteArray> m_lastPieces;
    QRandomGenerator m_rng;
};
