// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

namespace tessaline {

// One window per user. The first start holds a lock in the per-user runtime (or
// temporary) folder for as long as it runs, and listens on a local socket beside it; a
// later start hands its file, or only the wish to see the window, over that socket and
// ends. A lock whose owner is dead or cannot be read (an empty or corrupt file left by a
// crash or a full disk) is stale and taken over.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(const QString& lockPath = defaultLockPath(), QObject* parent = nullptr);
    ~SingleInstance() override;

    // True for the first start, which from now on hears later starts.
    bool acquire();
    // For a later start: asks the running window to come to the front and to open the
    // file (an absolute path; empty for none). True when the running window got it.
    bool handOver(const QString& file, int timeoutMs = 3000);

    static QString defaultLockPath();

signals:
    // A later start asked for the window, with its file (empty for none).
    void activated(const QString& file);

private:
    void listen();
    void readRequest(class QLocalSocket* socket);

    std::unique_ptr<QLockFile> m_lock;
    QString m_serverName;
    QLocalServer m_server;
};

} // namespace tessaline
