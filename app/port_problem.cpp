// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/port_problem.hpp"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <filesystem>
#include <optional>
#include <vector>

#ifdef Q_OS_UNIX
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tessaline {

namespace {

#ifdef Q_OS_UNIX
std::string userName(uid_t uid) {
    const passwd* user = getpwuid(uid);
    return user ? std::string(user->pw_name) : std::to_string(uid);
}

std::string groupName(gid_t gid) {
    const group* entry = getgrgid(gid);
    return entry ? std::string(entry->gr_name) : std::to_string(gid);
}

bool sessionHasGroup(gid_t gid) {
    if (getegid() == gid)
        return true;
    const int count = getgroups(0, nullptr);
    std::vector<gid_t> groups(static_cast<std::size_t>(std::max(count, 0)));
    if (count <= 0 || getgroups(count, groups.data()) < 0)
        return false;
    return std::find(groups.begin(), groups.end(), gid) != groups.end();
}

// The user's primary group, or a member of it in the group list.
bool userListedInGroup(gid_t gid) {
    const passwd* user = getpwuid(getuid());
    if (!user)
        return false;
    if (user->pw_gid == gid)
        return true;
    const std::string name = user->pw_name;
    const group* entry = getgrgid(gid);
    for (char** member = entry ? entry->gr_mem : nullptr; member && *member; ++member)
        if (name == *member)
            return true;
    return false;
}
#endif

#ifdef Q_OS_LINUX
// The name of a running process, "minicom (process 1234)"; nothing when it does not run.
std::optional<std::string> processText(qint64 pid) {
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (pid <= 0 || !comm.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray name = comm.readAll().trimmed();
    return (name.isEmpty() ? std::string("a program") : name.toStdString()) + " (process " +
           std::to_string(pid) + ")";
}

// The folders where serial lock files live, as the serial library looks for them.
constexpr std::array<const char*, 8> kLockFolders{
    "/var/lock", "/etc/locks", "/var/spool/locks",  "/var/spool/uucp",
    "/tmp",      "/var/tmp",   "/var/lock/lockdev", "/run/lock"};

// The process that a lock file of the device's name records: Qt's lock files and the UUCP
// ones both begin with the process number in decimal.
std::optional<std::string> lockHolder(const QString& name) {
    QString port = name;
    if (port.startsWith(QLatin1String("/dev/")))
        port.remove(0, 5);
    port.replace(QLatin1Char('/'), QLatin1Char('_'));
    for (const char* folder : kLockFolders) {
        QFile lock(QString::fromLatin1(folder) + QStringLiteral("/LCK..") + port);
        if (!lock.open(QIODevice::ReadOnly))
            continue;
        bool number = false;
        const qint64 pid = lock.readLine(64).trimmed().toLongLong(&number);
        if (number)
            if (auto holder = processText(pid))
                return holder;
    }
    return std::nullopt;
}

// A process with the device among its open files; only the user's own processes (or all,
// for root) can be looked into.
std::optional<std::string> openFileHolder(const std::string& device) {
    namespace fs = std::filesystem;
    std::error_code error;
    for (fs::directory_iterator process("/proc", error), end; !error && process != end;
         process.increment(error)) {
        const std::string pid = process->path().filename().string();
        if (pid.empty() ||
            !std::all_of(pid.begin(), pid.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        std::error_code listing;
        for (fs::directory_iterator file(process->path() / "fd", listing), last;
             !listing && file != last; file.increment(listing)) {
            std::error_code link;
            if (fs::read_symlink(file->path(), link) == device && !link)
                if (auto holder = processText(std::stoll(pid)))
                    return holder;
        }
    }
    return std::nullopt;
}
#endif

} // namespace

PortFacts portFacts(const QString& path) {
    PortFacts facts;
    facts.path = path.toStdString();
    const QFileInfo info(path);
    if (info.isSymLink())
        facts.linkTarget =
            (info.exists() ? info.canonicalFilePath() : info.symLinkTarget()).toStdString();
#ifdef Q_OS_UNIX
    struct stat status {};
    const QByteArray local = QFile::encodeName(path);
    if (::stat(local.constData(), &status) != 0)
        return facts;
    if (S_ISREG(status.st_mode))
        facts.kind = PortFacts::Kind::RegularFile;
    else if (S_ISFIFO(status.st_mode))
        facts.kind = PortFacts::Kind::Fifo;
    else if (S_ISDIR(status.st_mode))
        facts.kind = PortFacts::Kind::Folder;
    else if (!S_ISCHR(status.st_mode))
        facts.kind = PortFacts::Kind::Other;
    if (!S_ISCHR(status.st_mode))
        return facts;
    facts.kind = PortFacts::Kind::CharacterDevice;
    facts.readWrite = ::access(local.constData(), R_OK | W_OK) == 0;
    facts.owner = userName(status.st_uid);
    facts.group = groupName(status.st_gid);
    facts.groupReadWrite =
        (status.st_mode & (S_IRGRP | S_IWGRP)) == static_cast<mode_t>(S_IRGRP | S_IWGRP);
    facts.userInGroup = userListedInGroup(status.st_gid);
    facts.sessionInGroup = sessionHasGroup(status.st_gid);
#else
    // Ports are no files here: the serial library's error tells the rest.
    facts.kind = PortFacts::Kind::CharacterDevice;
    facts.readWrite = true;
#endif
    return facts;
}

std::string portHolder(const QString& path) {
#ifdef Q_OS_LINUX
    const QString device = QFileInfo(path).canonicalFilePath();
    for (const QString& name : {path, device})
        if (!name.isEmpty())
            if (auto holder = lockHolder(name))
                return *holder;
    if (!device.isEmpty())
        if (auto holder = openFileHolder(device.toStdString()))
            return *holder;
#else
    Q_UNUSED(path);
#endif
    return {};
}

} // namespace tessaline
