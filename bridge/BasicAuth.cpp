#include "BasicAuth.h"

#include <QCryptographicHash>
#include <crypt.h>
#include <cstring>
#include <memory>

namespace {

// Checked for a name that has no hash, so that the answer takes as long as for a known name
// and does not tell which names exist.
const QByteArray kUnknownUser
    = QByteArrayLiteral("$2b$10$abcdefghijklmnopqrstuu4T826PRnz0Hu6YlprUuxkZxOOj5Fw5S");

constexpr int kMaxAdmitted = 64;

bool sameBytes(const char *a, const QByteArray &b)
{
    const size_t size = std::strlen(a);
    if (size != size_t(b.size()))
        return false;
    unsigned char diff = 0;
    for (size_t i = 0; i < size; ++i)
        diff |= static_cast<unsigned char>(a[i] ^ b.at(qsizetype(i)));
    return diff == 0;
}

} // namespace

BasicAuth::BasicAuth(QMap<QString, QByteArray> users)
    : m_users(std::move(users))
{
    m_second.start();
}

bool BasicAuth::matches(const QByteArray &password, const QByteArray &hash)
{
    auto data = std::make_unique<crypt_data>();
    std::memset(data.get(), 0, sizeof(crypt_data));
    const QByteArray phrase = password; // NUL-terminated copy
    const char *result = crypt_rn(phrase.constData(), hash.constData(), data.get(), sizeof(crypt_data));
    return result && result[0] != '*' && sameBytes(result, hash);
}

bool BasicAuth::admits(const QByteArray &authorization)
{
    if (!enabled())
        return true;
    const QByteArray value = authorization.trimmed();
    if (!value.left(6).toLower().startsWith("basic ") || value.size() > 1024)
        return false;
    const QByteArray digest = QCryptographicHash::hash(value, QCryptographicHash::Sha256);
    if (m_admitted.contains(digest))
        return true;

    if (m_second.elapsed() >= 1000) {
        m_second.restart();
        m_checksThisSecond = 0;
    }
    if (m_checksThisSecond >= ChecksPerSecond)
        return false;
    ++m_checksThisSecond;

    const auto decoded = QByteArray::fromBase64Encoding(
        value.mid(6).trimmed(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return false;
    const int colon = decoded.decoded.indexOf(':');
    if (colon < 0)
        return false;
    const QString user = QString::fromUtf8(decoded.decoded.left(colon));
    const QByteArray password = decoded.decoded.mid(colon + 1);
    if (password.contains('\0'))
        return false;
    const auto hash = m_users.constFind(user);
    const bool known = hash != m_users.constEnd();
    if (!matches(password, known ? *hash : kUnknownUser) || !known)
        return false;
    if (m_admitted.size() >= kMaxAdmitted)
        m_admitted.clear();
    m_admitted.insert(digest);
    return true;
}
