// SPDX-License-Identifier: MIT
#include "ptypair.h"

#include "pseudoterminal.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

// Waits up to 5 ms for the program to send something. While the program has the slave
// closed, poll() reports a hang-up at once; pause instead of spinning.
void waitReadable(int master)
{
    pollfd p{master, POLLIN, 0};
    if (::poll(&p, 1, 5) > 0 && (p.revents & POLLHUP))
        ::usleep(2000);
}

} // namespace

PtyPair::PtyPair()
{
    const std::optional<PseudoTerminal> terminal = openPseudoTerminal(&m_error);
    if (!terminal)
        return;
    // The raw line discipline stays on the slave while nobody holds it open, so nothing the
    // device sends is echoed back or translated while the program has the port closed.
    ::close(terminal->slave);
    m_master = terminal->master;
    m_slavePath = terminal->slavePath;
}

PtyPair::~PtyPair()
{
    closeMaster();
    if (m_heldSlave >= 0)
        ::close(m_heldSlave);
}

bool PtyPair::write(const QByteArray &bytes)
{
    if (m_master < 0)
        return false;
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            pollfd p{m_master, POLLOUT, 0};
            ::poll(&p, 1, 10);
            continue;
        }
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

QByteArray PtyPair::readAvailable()
{
    QByteArray bytes;
    if (m_master < 0)
        return bytes;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        // EAGAIN: nothing pending; EIO: the program has the slave closed.
        if (n <= 0)
            break;
        bytes.append(buffer, n);
    }
    return bytes;
}

QByteArray PtyPair::read(int count, int timeoutMs)
{
    QByteArray bytes = readAvailable();
    const QDeadlineTimer deadline(timeoutMs);
    while (bytes.size() < count && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        waitReadable(m_master);
        bytes += readAvailable();
    }
    return bytes;
}

QByteArray PtyPair::readFor(int ms)
{
    QByteArray bytes;
    const QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        waitReadable(m_master);
        bytes += readAvailable();
    }
    return bytes + readAvailable();
}

void PtyPair::closeMaster()
{
    if (m_master < 0)
        return;
    // A terminal's number is given out again once both its sides are closed, and other programs
    // on the machine open terminals too: holding the slave keeps the number, so that the hung-up
    // line's path leads nowhere rather than to somebody else's terminal. (An unprivileged test
    // cannot open a slave the program holds exclusively; the number is then free again.)
    m_heldSlave =
        ::open(QFile::encodeName(m_slavePath).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ::close(m_master);
    m_master = -1;
}
