#pragma once

#include <QLockFile>
#include <QString>

#include <memory>

namespace tessaline {

// Holds a lock in the per-user runtime (or temporary) folder for as long as the program
// runs. A lock left behind by a run that crashed is recognised by its dead process and
// taken over.
class SingleInstance {
public:
    explicit SingleInstance(const QString& lockPath = defaultLockPath());
    bool acquire();

    static QString defaultLockPath();

private:
    std::unique_ptr<QLockFile> m_lock;
};

} // namespace tessaline
