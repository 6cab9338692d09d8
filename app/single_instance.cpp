#include "app/single_instance.hpp"

#include <QDir>
#include <QStandardPaths>

namespace tessaline {

SingleInstance::SingleInstance(const QString& lockPath)
    : m_lock(std::make_unique<QLockFile>(lockPath)) {
    // Only a dead owner makes the lock stale, never its age: the first instance may run
    // for days.
    m_lock->setStaleLockTime(0);
}

bool SingleInstance::acquire() {
    return m_lock->tryLock(0);
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
