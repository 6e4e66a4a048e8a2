// SPDX-License-Identifier: MIT
#include "comportfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace comport {

QString menuDirectory()
{
    // A relative XDG_STATE_HOME is to be ignored, as the XDG base directories say.
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/state");
    return base + QStringLiteral("/velquor");
}

QByteArray formatLine(int index)
{
    QByteArray line;
    line.append(index < 0 ? '-' : ' ');
    // Through qint64 so that the lowest int has digits too.
    line.append(QByteArray::number(qAbs(qint64(index))));
    line.append(" \r\n");
    return line;
}

quint8 parseStoredIndex(QByteArrayView content)
{
    qsizetype at = 0;
    while (at < content.size() && content[at] == ' ')
        ++at;
    int value = 0;
    qsizetype digits = 0;
    for (; at < content.size(); ++at) {
        const char c = content[at];
        if (c == ' ' || c == ',' || c == '\r' || c == '\n')
            break;
        if (c < '0' || c > '9')
            return 0;
        value = value * 10 + (c - '0');
        if (value > 255)
            return 0;
        ++digits;
    }
    return digits == 0 ? 0 : quint8(value);
}

std::optional<quint8> rememberedPort(std::optional<quint8> storedIndex)
{
    if (!storedIndex)
        return 1;
    if (*storedIndex == 255)
        return std::nullopt;
    return quint8(*storedIndex + 1);
}

#ifdef Q_OS_UNIX

std::optional<quint8> readStoredIndex(const QString &path)
{
    // O_NONBLOCK: opening a FIFO without a writer, or a device, must not wait. Only a regular
    // file is read.
    const QByteArray name = QFile::encodeName(path);
    int fd;
    do {
        fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return std::nullopt;
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    QByteArray content(maxReadBytes, Qt::Uninitialized);
    qsizetype length = 0;
    while (length < content.size()) {
        const ssize_t n = ::read(fd, content.data() + length, size_t(content.size() - length));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) // end of file, or a read error: what was read so far is the content
            break;
        length += n;
    }
    ::close(fd);
    content.truncate(length);
    return parseStoredIndex(content);
}

#else

std::optional<quint8> readStoredIndex(const QString &path)
{
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return parseStoredIndex(file.read(maxReadBytes));
}

#endif

bool writeStoredIndex(int index, const QString &path)
{
    const QFileInfo target(path);
    if (target.exists() && !target.isFile())
        return false; // a directory, FIFO or device of that name is not ours to replace
    QSaveFile file(path);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray line = formatLine(index);
    if (file.write(line) != line.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace comport
