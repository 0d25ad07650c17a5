#pragma once

#include <QByteArray>
#include <QList>
#include <QRandomGenerator>

// Spoils answers on purpose, each kind at its own rate, from a seed, so a test that counts
// what went wrong can be repeated exactly. At most one fault is applied to an answer.
class FaultInjector
{
public:
    struct Rates
    {
        double drop = 0;     // no answer at all
        double corrupt = 0;  // one bit flipped
        double truncate = 0; // the answer cut short
        double extra = 0;    // bytes after the answer
        double garbage = 0;  // bytes before the answer
        double split = 0;    // the answer delivered in several pieces (no fault by itself)
        double refuse = 0;   // a firmware data frame answered with exception 04, not stored
    };
    struct Counts
    {
        int answers = 0; // answers offered to the injector
        int dropped = 0;
        int corrupted = 0;
        int truncated = 0;
        int extended = 0;
        int garbled = 0;
        int split = 0;
        int refused = 0;
    };

    explicit FaultInjector(quint32 seed = 1) : m_rng(seed) {}
    void setRates(const Rates &rates) { m_rates = rates; }
    const Rates &rates() const { return m_rates; }
    bool active() const;
    const Counts &counts() const { return m_counts; }

    // The pieces in which the answer goes on the line: none when it is dropped, one piece
    // normally, several when it is split.
    QList<QByteArray> apply(const QByteArray &answer);
    // Whether this firmware data frame is to be refused.
    bool refuse();

private:
    QByteArray randomBytes(int count);

    Rates m_rates;
    Counts m_counts;
    QRandomGenerator m_rng;
};
