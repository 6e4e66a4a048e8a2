// SPDX-License-Identifier: MIT
#include "boundedfile.h"

#include "portmap.h"

#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

BoundedFile refused(const QString &problem)
{
    BoundedFile file;
    file.outcome = BoundedFile::Outcome::Refused;
    file.problem = problem;
    return file;
}

QString tooLarge(qint64 size, qint64 maxSize)
{
    return QStringLiteral("larger than %1 KiB (%2 bytes)").arg(maxSize / 1024).arg(size);
}

#ifdef Q_OS_UNIX
BoundedFile unreadable()
{
    return refused(
        QStringLiteral("unreadable (%1)").arg(QString::fromLocal8Bit(std::strerror(errno))));
}

QString kindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("a directory");
    if (S_ISFIFO(mode))
        return QStringLiteral("a FIFO");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("a device");
    return QStringLiteral("a special file");
}

// Opened without waiting (a FIFO would block until a writer comes), then checked on the open
// descriptor, so that what is read is what was checked.
BoundedFile readRegularFile(const QByteArray &nativePath, qint64 maxSize)
{
    const int fd = ::open(nativePath.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return {};
        return unreadable();
    }
    const auto closeFile = qScopeGuard([fd] { ::close(fd); });
    struct stat status = {};
    if (::fstat(fd, &status) != 0)
        return unreadable();
    if (!S_ISREG(status.st_mode))
        return refused(QStringLiteral("not a regular file but %1").arg(kindOf(status.st_mode)));
    if (status.st_size > maxSize)
        return refused(tooLarge(status.st_size, maxSize));

    // One byte past the limit tells a file that grew since fstat.
    BoundedFile file;
    file.outcome = BoundedFile::Outcome::Read;
    char chunk[64 * 1024];
    while (file.content.size() <= maxSize) {
        const qint64 wanted = qMin(qint64(sizeof chunk), maxSize + 1 - file.content.size());
        const ssize_t got = ::read(fd, chunk, size_t(wanted));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return unreadable();
        if (got == 0)
            break;
        file.content.append(chunk, got);
    }
    if (file.content.size() > maxSize)
        return refused(tooLarge(file.content.size(), maxSize));
    return file;
}
#else
BoundedFile readRegularFile(const QString &path, qint64 maxSize)
{
    const QFileInfo info(path);
    if (!info.exists())
        return {};
    if (!info.isFile())
        return refused(QStringLiteral("not a regular file"));
    if (info.size() > maxSize)
        return refused(tooLarge(info.size(), maxSize));
    QFile source(path);
    if (!source.open(QIODevice::ReadOnly))
        return refused(QStringLiteral("unreadable (%1)").arg(source.errorString()));
    BoundedFile file;
    file.outcome = BoundedFile::Outcome::Read;
    file.content = source.read(maxSize + 1);
    if (file.content.size() > maxSize)
        return refused(tooLarge(file.content.size(), maxSize));
    return file;
}
#endif

} // namespace

BoundedFile readBoundedFile(const QString &path, qint64 maxSize)
{
    const QByteArray nativePath = QFile::encodeName(path);
    if (nativePath.size() > maxPathBytes)
        return refused(QStringLiteral("path longer than the system's limit (%1 bytes, at most %2)")
                           .arg(nativePath.size())
                           .arg(maxPathBytes));
#ifdef Q_OS_UNIX
    return readRegularFile(nativePath, maxSize);
#else
    return readRegularFile(path, maxSize);
#endif
}
