// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/single_instance.hpp"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>

namespace tessaline {

namespace {

// A request is the file's absolute path in UTF-8, ended by a line feed; an empty line asks
// only for the window.
constexpr qint64 kMaxRequestBytes = 64 * 1024;

QString serverNameFor(const QString& lockPath) {
#ifdef Q_OS_WIN
    // Pipe names cannot hold a path: name the pipe after the lock.
    return QStringLiteral("tessaline-") +
           QString::fromLatin1(
               QCryptographicHash::hash(lockPath.toUtf8(), QCryptographicHash::Sha1).toHex());
#else
    // A socket file beside the lock, in a folder that only its user can enter.
    QString name = lockPath;
    if (name.endsWith(QStringLiteral(".lock")))
        name.chop(5);
    return name + QStringLiteral(".socket");
#endif
}

} // namespace

SingleInstance::SingleInstance(const QString& lockPath, QObject* parent)
    : QObject(parent), m_lock(std::make_unique<QLockFile>(lockPath)),
      m_serverName(serverNameFor(lockPath)) {
    // Only a dead owner makes the lock stale, never its age: the first instance may run
    // for days.
    m_lock->setStaleLockTime(0);
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server.nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this,
                    [this, socket] { readRequest(socket); });
            readRequest(socket);
        }
    });
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::acquire() {
    bool locked = m_lock->tryLock(0);
    if (!locked && m_lock->error() == QLockFile::LockFailedError) {
        // An owner that cannot be read is no owner. Removing the file takes the lock
        // file's own lock first, so a running instance that has just created its file
        // and is still writing it keeps it.
        qint64 pid = 0;
        QString hostName;
        QString appName;
        if (!m_lock->getLockInfo(&pid, &hostName, &appName) && m_lock->removeStaleLockFile())
            locked = m_lock->tryLock(0);
    }
    if (locked)
        listen();
    return locked;
}

void SingleInstance::listen() {
    // A socket file left by a run that crashed would refuse the name; the lock says that
    // it is nobody's.
    QLocalServer::removeServer(m_serverName);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    m_server.listen(m_serverName);
}

void SingleInstance::readRequest(QLocalSocket* socket) {
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > kMaxRequestBytes)
            socket->abort();
        return;
    }
    QByteArray line = socket->readLine(kMaxRequestBytes);
    if (line.endsWith('\n'))
        line.chop(1);
    socket->disconnectFromServer();
    emit activated(QString::fromUtf8(line));
}

bool SingleInstance::handOver(const QString& file, int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(m_serverName);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write(file.toUtf8() + '\n');
    if (!socket.waitForBytesWritten(timeoutMs))
        return false;
    // The running window closes the connection once it has read the request.
    return socket.state() == QLocalSocket::UnconnectedState ||
           socket.waitForDisconnected(timeoutMs);
}

QString SingleInstance::defaultLockPath() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) {
        // The temporary folder is shared by all users: name the lock after this one.
        return QDir(QDir::tempPath())
            .filePath(QStringLiteral("tessaline-%1.lock").arg(qEnvironmentVariable("USER")));
    }
    return QDir(folder).filePath(QStringLiteral("tessaline.lock"));
}

} // namespace tessaline
