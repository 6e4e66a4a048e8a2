// SPDX-License-Identifier: MIT
#include "portlock.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <cstring>
#include <limits>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

#ifdef Q_OS_UNIX
namespace {

bool processIsAlive(qint64 pid)
{
    if (pid <= 0 || pid > std::numeric_limits<pid_t>::max())
        return false;
    // EPERM: the process exists but belongs to another user.
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

// The file name of the program process pid runs, as QSerialPort writes it into its lock files;
// empty where that cannot be read (another user's process, no /proc).
QByteArray programOf(qint64 pid)
{
#ifdef Q_OS_LINUX
    char target[4096];
    const QByteArray link = "/proc/" + QByteArray::number(pid) + "/exe";
    const ssize_t n = ::readlink(link.constData(), target, sizeof target);
    if (n <= 0)
        return {};
    QByteArray path(target, int(n));
    const QByteArray deleted = " (deleted)";
    if (path.endsWith(deleted))
        path.chop(deleted.size());
    return path.mid(path.lastIndexOf('/') + 1);
#else
    Q_UNUSED(pid);
    return {};
#endif
}

// A lock file in one of the lock folders that names a live process, as "FILE (process PID)".
// A file of QSerialPort's that names another program than the one now running under its PID
// is left over from a process that ended without removing it (killed); process numbers are
// given out again, and so are terminal numbers.
QString liveLockFile(const QString &systemPath)
{
    QSet<QString> seen;
    for (const QString &directory : portlock::lockDirectories()) {
        const QString canonical = QFileInfo(directory).canonicalFilePath();
        if (canonical.isEmpty() || seen.contains(canonical))
            continue;
        seen.insert(canonical);
        for (const QString &name : portlock::lockFileNames(systemPath)) {
            QFile file(canonical + QLatin1Char('/') + name);
            if (!file.open(QIODevice::ReadOnly))
                continue;
            const QByteArray content = file.read(512);
            const std::optional<qint64> pid = portlock::lockFilePid(content);
            if (!pid || !processIsAlive(*pid))
                continue;
            const QByteArray program = portlock::lockFileProgram(content);
            const QByteArray running = programOf(*pid);
            if (!program.isEmpty() && !running.isEmpty() && program != running)
                continue;
            return QStringLiteral("%1 (process %2)").arg(file.fileName()).arg(*pid);
        }
    }
    return {};
}

PortLock::Outcome outcomeOf(int error)
{
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return PortLock::Outcome::NotFound;
    case EACCES:
    case EPERM:
    case EBUSY:
        return PortLock::Outcome::Denied;
    default:
        return PortLock::Outcome::Failed;
    }
}

} // namespace
#endif

PortLock::Result PortLock::acquire(const QString &device)
{
    release();
#ifdef Q_OS_UNIX
    const QFileInfo info(device);
    const QString path = info.exists() ? info.canonicalFilePath() : device;

    const QString lockFile = liveLockFile(path);
    if (!lockFile.isEmpty())
        return {Outcome::Held,
                QStringLiteral("held by another program, lock file %1").arg(lockFile)};

    // Non-blocking, so that a line without carrier cannot stall the open; no controlling tty.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        return {outcomeOf(error), QString::fromLocal8Bit(std::strerror(error))};
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK)
            return {Outcome::Held, QStringLiteral("held by another program")};
        return {Outcome::Failed,
                QStringLiteral("flock: %1").arg(QString::fromLocal8Bit(std::strerror(error)))};
    }
    m_fd = fd;
    m_systemPath = path;
#else
    m_fd = 0; // the system's own COM ports are exclusive already
    m_systemPath = device;
#endif
    return {Outcome::Taken, {}};
}

void PortLock::release()
{
#ifdef Q_OS_UNIX
    if (m_fd >= 0)
        ::close(m_fd); // the flock goes with the descriptor
#endif
    m_fd = -1;
    m_systemPath.clear();
}
