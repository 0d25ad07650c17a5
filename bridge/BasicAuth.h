#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QMap>
#include <QSet>
#include <QString>

// Checks HTTP basic authentication against bcrypt hashes of the passwords. bcrypt is slow on
// purpose (tens of milliseconds at the usual cost) and runs on the bridge's one thread, so a
// flood of guesses must not take the time polling and publishing need: a name and password
// that passed once are known again without bcrypt (Prometheus sends the same pair at every
// scrape), and other tries are checked at most a few per second; beyond that they are refused
// unchecked until the next second.
class BasicAuth
{
public:
    static constexpr int ChecksPerSecond = 4;

    explicit BasicAuth(QMap<QString, QByteArray> users = {});

    bool enabled() const { return !m_users.isEmpty(); }
    // Whether the Authorization header's value names a user with the password of its hash.
    bool admits(const QByteArray &authorization);
    // Whether password matches a bcrypt hash (the unknown name's dummy check included).
    static bool matches(const QByteArray &password, const QByteArray &hash);

private:
    QMap<QString, QByteArray> m_users;
    QSet<QByteArray> m_admitted; // digests of header values that passed
    QElapsedTimer m_second;
    int m_checksThisSecond = 0;
};
