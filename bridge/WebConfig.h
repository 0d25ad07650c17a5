#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <optional>

class QSslConfiguration;

// The metrics endpoint's web configuration file, in the form Prometheus' own exporters read:
//
//   tls_server_config:
//     cert_file: metrics.crt
//     key_file: metrics.key
//     client_ca_file: clients-ca.crt             # optional
//     client_auth_type: RequireAndVerifyClientCert  # optional, NoClientCert by default
//     min_version: TLS13                          # optional, TLS12 by default
//   basic_auth_users:
//     prometheus: $2y$10$...                      # a bcrypt hash of the password
//
// Relative file names are taken from the configuration file's folder (so a unit's credentials
// folder can hold the file and the files it names). An empty file asks for neither TLS nor
// passwords. Anything else (a setting this bridge does not know, a tab in the indentation, a
// password not hashed with bcrypt) is refused with its line, so that a protection asked for is
// never dropped without a word.
struct WebConfig
{
    QString certFile;
    QString keyFile;
    QString clientCaFile;
    bool requireClientCert = false;
    bool tls13Only = false;
    QMap<QString, QByteArray> users; // name -> bcrypt hash

    bool tls() const { return !certFile.isEmpty(); }

    // The file read and checked, or nothing with error saying what is wrong and where.
    static std::optional<WebConfig> load(const QString &path, QString &error);
    // The text checked; folder is where relative file names are taken from.
    static std::optional<WebConfig> parse(
        const QByteArray &text, const QString &folder, QString &error);

    // The server side of TLS from the files named: certificate (with its chain), key, and the
    // authorities client certificates must come from. false with error when a file holds none.
    bool sslConfiguration(QSslConfiguration &out, QString &error) const;
};
