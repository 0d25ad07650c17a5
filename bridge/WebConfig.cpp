#include "WebConfig.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>
#include <QStringList>

namespace {

constexpr qint64 kMaxFileBytes = 1024 * 1024;

struct Line
{
    int number = 0;
    int indent = 0;
    QString key;
    QString value;
};

QString unquoted(QString value)
{
    value = value.trimmed();
    if (value.size() >= 2
        && ((value.startsWith(u'"') && value.endsWith(u'"'))
            || (value.startsWith(u'\'') && value.endsWith(u'\''))))
        return value.mid(1, value.size() - 2);
    return value;
}

// A comment starts with # at the line's start or after a blank, outside quotes.
QString withoutComment(const QString &line)
{
    QChar quote;
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == u'"' || c == u'\'') {
            quote = c;
        } else if (c == u'#' && (i == 0 || line.at(i - 1).isSpace())) {
            return line.left(i);
        }
    }
    return line;
}

bool isBcrypt(const QByteArray &hash)
{
    return hash.size() == 60
        && (hash.startsWith("$2a$") || hash.startsWith("$2b$") || hash.startsWith("$2y$"))
        && hash.at(6) == '$';
}

QString fileIn(const QString &folder, const QString &name)
{
    return QFileInfo(name).isAbsolute() ? name : QDir(folder).filePath(name);
}

QString readableFile(const QString &path, const QString &setting)
{
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("%1: %2 does not exist").arg(setting, path);
    if (info.isDir())
        return QStringLiteral("%1: %2 is a directory").arg(setting, path);
    if (!info.isFile() || !info.isReadable())
        return QStringLiteral("%1: %2 cannot be read").arg(setting, path);
    return {};
}

} // namespace

std::optional<WebConfig> WebConfig::load(const QString &path, QString &error)
{
    const QFileInfo info(path);
    QFile file(path);
    if (info.isDir()) {
        error = QStringLiteral("%1 is a directory").arg(path);
        return std::nullopt;
    }
    if (!info.exists()) {
        error = QStringLiteral("%1 does not exist").arg(path);
        return std::nullopt;
    }
    if (info.size() > kMaxFileBytes || !file.open(QIODevice::ReadOnly)) {
        error = info.size() > kMaxFileBytes ? QStringLiteral("%1 is too large for a web "
                                                             "configuration file")
                                                  .arg(path)
                                            : QStringLiteral("%1 cannot be read").arg(path);
        return std::nullopt;
    }
    auto config = parse(file.read(kMaxFileBytes), info.absolutePath(), error);
    if (!config)
        error = QStringLiteral("%1: %2").arg(path, error);
    return config;
}

std::optional<WebConfig> WebConfig::parse(
    const QByteArray &text, const QString &folder, QString &error)
{
    const auto fail = [&error](int line, const QString &what) {
        error = QStringLiteral("line %1: %2").arg(line).arg(what);
        return std::nullopt;
    };
    // The lines that say something, as indent, key and value.
    QList<Line> lines;
    const QStringList raw = QString::fromUtf8(text).split(u'\n');
    for (int i = 0; i < raw.size(); ++i) {
        QString content = withoutComment(raw.at(i));
        if (content.endsWith(u'\r'))
            content.chop(1);
        if (content.trimmed().isEmpty() || content.trimmed() == QLatin1String("---"))
            continue;
        int indent = 0;
        while (indent < content.size() && (content.at(indent) == u' ' || content.at(indent) == u'\t')) {
            if (content.at(indent) == u'\t')
                return fail(i + 1, QStringLiteral("a tab in the indentation; indent with blanks"));
            ++indent;
        }
        const int colon = content.indexOf(u':', indent);
        if (colon < 0)
            return fail(i + 1, QStringLiteral("\"%1\" is not a \"name: value\" setting")
                                   .arg(content.trimmed()));
        lines.append({i + 1, indent, unquoted(content.mid(indent, colon - indent)),
            unquoted(content.mid(colon + 1))});
    }

    WebConfig config;
    QString section;
    int sectionIndent = -1;
    bool sawTls = false;
    QStringList seen;
    for (const Line &line : lines) {
        if (line.indent == 0) {
            if (line.key != QLatin1String("tls_server_config")
                && line.key != QLatin1String("basic_auth_users"))
                return fail(line.number,
                    QStringLiteral("\"%1\" is not a setting this bridge knows (it knows "
                                   "tls_server_config and basic_auth_users)")
                        .arg(line.key));
            if (seen.contains(line.key))
                return fail(line.number, QStringLiteral("%1 a second time").arg(line.key));
            if (!line.value.isEmpty() && line.value != QLatin1String("{}"))
                return fail(line.number,
                    QStringLiteral("%1 takes its settings on the lines below it").arg(line.key));
            seen << line.key;
            section = line.key;
            sectionIndent = -1;
            sawTls = sawTls || section == QLatin1String("tls_server_config");
            continue;
        }
        if (section.isEmpty())
            return fail(line.number, QStringLiteral("\"%1\" is indented under nothing").arg(line.key));
        if (sectionIndent < 0)
            sectionIndent = line.indent;
        if (line.indent != sectionIndent)
            return fail(line.number,
                QStringLiteral("\"%1\" is indented unlike the lines before it").arg(line.key));
        if (line.value.isEmpty())
            return fail(line.number, QStringLiteral("%1 has no value").arg(line.key));
        const QString seenKey = section + u'.' + line.key;
        if (seen.contains(seenKey))
            return fail(line.number, QStringLiteral("%1 a second time").arg(line.key));
        seen << seenKey;

        if (section == QLatin1String("basic_auth_users")) {
            const QByteArray hash = line.value.toLatin1();
            if (!isBcrypt(hash))
                return fail(line.number,
                    QStringLiteral("the password of %1 is to be a bcrypt hash ($2y$...), as "
                                   "\"mkpasswd -m bcrypt\" or \"htpasswd -nB %1\" make it, never "
                                   "the password itself")
                        .arg(line.key));
            config.users.insert(line.key, hash);
        } else if (line.key == QLatin1String("cert_file")) {
            config.certFile = fileIn(folder, line.value);
        } else if (line.key == QLatin1String("key_file")) {
            config.keyFile = fileIn(folder, line.value);
        } else if (line.key == QLatin1String("client_ca_file")) {
            config.clientCaFile = fileIn(folder, line.value);
        } else if (line.key == QLatin1String("client_auth_type")) {
            if (line.value == QLatin1String("RequireAndVerifyClientCert"))
                config.requireClientCert = true;
            else if (line.value != QLatin1String("NoClientCert"))
                return fail(line.number,
                    QStringLiteral("client_auth_type is NoClientCert or "
                                   "RequireAndVerifyClientCert (got \"%1\")")
                        .arg(line.value));
        } else if (line.key == QLatin1String("min_version")) {
            if (line.value == QLatin1String("TLS13"))
                config.tls13Only = true;
            else if (line.value != QLatin1String("TLS12"))
                return fail(line.number,
                    QStringLiteral("min_version is TLS12 or TLS13 (got \"%1\")").arg(line.value));
        } else {
            return fail(line.number,
                QStringLiteral("\"%1\" is not a TLS setting this bridge knows (it knows "
                               "cert_file, key_file, client_ca_file, client_auth_type and "
                               "min_version)")
                    .arg(line.key));
        }
    }

    if (sawTls) {
        if (config.certFile.isEmpty() || config.keyFile.isEmpty()) {
            error = QStringLiteral("tls_server_config needs cert_file and key_file");
            return std::nullopt;
        }
        if (config.requireClientCert && config.clientCaFile.isEmpty()) {
            error = QStringLiteral(
                "client_auth_type RequireAndVerifyClientCert needs client_ca_file");
            return std::nullopt;
        }
        for (const auto &[setting, path] : {std::pair{QStringLiteral("cert_file"), config.certFile},
                 std::pair{QStringLiteral("key_file"), config.keyFile},
                 std::pair{QStringLiteral("client_ca_file"), config.clientCaFile}}) {
            if (path.isEmpty())
                continue;
            error = readableFile(path, setting);
            if (!error.isEmpty())
                return std::nullopt;
        }
    }
    return config;
}

bool WebConfig::sslConfiguration(QSslConfiguration &out, QString &error) const
{
    const QList<QSslCertificate> chain = QSslCertificate::fromPath(certFile, QSsl::Pem);
    if (chain.isEmpty()) {
        error = QStringLiteral("cert_file: %1 holds no certificate in PEM form").arg(certFile);
        return false;
    }
    QFile keyIn(keyFile);
    if (!keyIn.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("key_file: %1 cannot be read").arg(keyFile);
        return false;
    }
    const QByteArray keyBytes = keyIn.read(kMaxFileBytes);
    QSslKey key;
    for (const auto algorithm : {QSsl::Rsa, QSsl::Ec, QSsl::Dsa}) {
        key = QSslKey(keyBytes, algorithm, QSsl::Pem);
        if (!key.isNull())
            break;
    }
    if (key.isNull()) {
        error = QStringLiteral("key_file: %1 holds no private key in PEM form without a "
                               "passphrase")
                    .arg(keyFile);
        return false;
    }
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificateChain(chain);
    tls.setPrivateKey(key);
    tls.setProtocol(tls13Only ? QSsl::TlsV1_3OrLater : QSsl::TlsV1_2OrLater);
    if (requireClientCert) {
        const QList<QSslCertificate> authorities
            = QSslCertificate::fromPath(clientCaFile, QSsl::Pem);
        if (authorities.isEmpty()) {
            error = QStringLiteral("client_ca_file: %1 holds no certificate in PEM form")
                        .arg(clientCaFile);
            return false;
        }
        tls.setCaCertificates(authorities);
        tls.setPeerVerifyMode(QSslSocket::VerifyPeer);
    } else {
        tls.setPeerVerifyMode(QSslSocket::VerifyNone);
    }
    out = tls;
    return true;
}
