// SPDX-License-Identifier: MIT
#include "matrixprobe.h"

#include "frames.h"
#include "linewords.h"
#include "portlock.h"
#include "replylines.h"

#include <QElapsedTimer>
#include <QFile>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#endif

QString ProbeVerdict::text() const
{
    switch (kind) {
    case Kind::Matrix:
        return replies == 1 ? QStringLiteral("answers as a matrix (1 reply)")
                            : QStringLiteral("answers as a matrix (%1 replies)").arg(replies);
    case Kind::NoReply:
        return QStringLiteral("sends bytes that are no reply");
    case Kind::NoAnswer:
        return QStringLiteral("no answer");
    case Kind::Held:
        return QStringLiteral("held by another program");
    case Kind::CannotOpen:
        return QStringLiteral("cannot open (%1)").arg(why);
    }
    return {};
}

ProbeVerdict verdictOnAnswer(QByteArrayView answer)
{
    ReplyLines lines;
    lines.append(answer);
    lines.endPartial();
    int replies = 0;
    while (lines.hasLine()) {
        if (linewords::isReply(lines.takeLine()))
            ++replies;
    }
    if (replies > 0)
        return {ProbeVerdict::Kind::Matrix, replies, {}};
    return {answer.isEmpty() ? ProbeVerdict::Kind::NoAnswer : ProbeVerdict::Kind::NoReply, 0, {}};
}

std::optional<ProbeVerdict> ProbeProgress::verdict() const
{
    const std::lock_guard<std::mutex> guard(m_lock);
    return m_verdict;
}

void ProbeProgress::setVerdict(const ProbeVerdict &verdict)
{
    const std::lock_guard<std::mutex> guard(m_lock);
    m_verdict = verdict;
}

#ifdef Q_OS_UNIX
namespace {

ProbeVerdict cannotOpen(const QString &why)
{
    return {ProbeVerdict::Kind::CannotOpen, 0, why};
}

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Raw 9600 8N1, no handshake, the modem lines ignored: as the panel sets the line.
bool setLine(int fd, const termios &saved)
{
    termios line = saved;
    ::cfmakeraw(&line);
    line.c_cflag &= ~tcflag_t(CSIZE | CSTOPB | PARENB | CRTSCTS);
    line.c_cflag |= CS8 | CLOCAL | CREAD;
    line.c_cc[VMIN] = 0;
    line.c_cc[VTIME] = 0;
    return ::cfsetispeed(&line, B9600) == 0 && ::cfsetospeed(&line, B9600) == 0 &&
           ::tcsetattr(fd, TCSANOW, &line) == 0;
}

// Waits for fd to be ready for events until deadline; false when it is not by then.
bool waitFor(int fd, short events, const QElapsedTimer &clock, qint64 deadlineMs)
{
    for (;;) {
        const qint64 left = deadlineMs - clock.elapsed();
        if (left <= 0)
            return false;
        pollfd wanted{fd, events, 0};
        const int ready = ::poll(&wanted, 1, int(left));
        if (ready > 0)
            return true;
        if (ready == 0 || errno != EINTR)
            return false;
    }
}

// Writes all of bytes; false when the line does not take them within limitMs.
bool writeAll(int fd, const QByteArray &bytes, int limitMs)
{
    QElapsedTimer clock;
    clock.start();
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t count = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (count > 0) {
            done += count;
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return false;
        if (!waitFor(fd, POLLOUT, clock, limitMs))
            return false;
    }
    return true;
}

// Everything that arrives during listenMs.
QByteArray listen(int fd, int listenMs)
{
    QElapsedTimer clock;
    clock.start();
    QByteArray answer;
    char buffer[256];
    while (waitFor(fd, POLLIN, clock, listenMs)) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count > 0)
            answer.append(buffer, count);
        else if (count == 0 || (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK))
            break; // the line is gone: what came is all there is
    }
    return answer;
}

} // namespace

ProbeVerdict probeDevice(const QString &device, int listenMs, ProbeProgress &progress)
{
    const auto decided = [&](const ProbeVerdict &verdict) {
        progress.setVerdict(verdict);
        return verdict;
    };
    const auto done = [&](const ProbeVerdict &verdict) {
        progress.enter(ProbeProgress::Step::Done);
        return verdict;
    };

    progress.enter(ProbeProgress::Step::Opening);
    PortLock hold;
    const PortLock::Result taken = hold.acquire(device);
    if (taken.outcome == PortLock::Outcome::Held)
        return done(decided({ProbeVerdict::Kind::Held, 0, {}}));
    if (taken.outcome != PortLock::Outcome::Taken)
        return done(decided(cannotOpen(taken.why)));

    const int fd = ::open(QFile::encodeName(hold.systemPath()).constData(),
                          O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return done(decided(cannotOpen(systemError(errno))));
    termios saved{};
    if (::tcgetattr(fd, &saved) != 0) {
        const int error = errno;
        ::close(fd);
        return done(
            decided(cannotOpen(QStringLiteral("not a serial line: ") + systemError(error))));
    }
    if (!setLine(fd, saved)) {
        const int error = errno;
        ::close(fd);
        return done(decided(cannotOpen(QStringLiteral("9600 8N1 refused: ") + systemError(error))));
    }
    ::tcflush(fd, TCIFLUSH); // what waited there before is no answer to this request

    progress.enter(ProbeProgress::Step::Writing);
    const bool written = writeAll(fd, frames::StatusRequest(), listenMs);
    progress.enter(ProbeProgress::Step::Listening);
    const ProbeVerdict verdict =
        decided(written ? verdictOnAnswer(listen(fd, listenMs))
                        : ProbeVerdict{ProbeVerdict::Kind::NoAnswer, 0, {}});

    // Unsent bytes would make close() wait for a line that does not take them.
    progress.enter(ProbeProgress::Step::Closing);
    ::tcflush(fd, TCIOFLUSH);
    ::tcsetattr(fd, TCSANOW, &saved);
    ::close(fd);
    return done(verdict);
}

#else

ProbeVerdict probeDevice(const QString &, int, ProbeProgress &progress)
{
    const ProbeVerdict verdict{ProbeVerdict::Kind::CannotOpen, 0,
                               QStringLiteral("the finder needs a POSIX system")};
    progress.setVerdict(verdict);
    progress.enter(ProbeProgress::Step::Done);
    return verdict;
}

#endif
