#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

// One running instance per user session. The first start holds a lock file and listens on a
// local socket beside it, both in the user's runtime directory; a later start finds the lock
// taken, asks the running instance to show its panel and ends. A lock left by a crashed process
// is recognised by its dead process and taken over.
class SingleInstance final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SingleInstance)

public:
    // `directory` empty: the user's runtime directory ($XDG_RUNTIME_DIR).
    explicit SingleInstance(QString directory = {}, QObject *parent = nullptr);
    ~SingleInstance() override;

    // True when this process is now the one instance (and listens for later starts).
    bool acquire();
    // Asks the running instance to show its panel; waits at most `timeoutMs` in all.
    bool notifyRunning(int timeoutMs = 900);

    QString lockPath() const;
    QString socketPath() const;

signals:
    // A later start asked for the panel.
    void showRequested();

private:
    void onConnection();

    QString m_directory;
    QLockFile m_lock;
    std::unique_ptr<QLocalServer> m_server;
};
