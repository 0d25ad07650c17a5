#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <memory>

// One running tool per user. The first instance holds a lock and listens on a local socket
// named after the program and the user; a later one tells it to come forward and gives up.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    explicit SingleInstance(const QString &name, QObject *parent = nullptr);
    ~SingleInstance() override;

    // True in the first instance (which then listens). In a later one: asks the first to
    // activate its window and returns false.
    bool tryBecomePrimary();

    // The per-user name for the tool: the program identification plus the user.
    static QString nameForCurrentUser();

signals:
    // A later instance asked this one to restore and raise its window.
    void activateRequested();

private:
    void onNewConnection();

    QString m_name;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer m_server;
};
