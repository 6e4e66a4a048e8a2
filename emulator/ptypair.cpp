#include "ptypair.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
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
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        return;
    }
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        ::close(master);
        return;
    }
    char name[128];
    if (::ptsname_r(master, name, sizeof name) != 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        ::close(master);
        return;
    }
    // Raw line discipline on the slave, so that nothing the device sends is echoed back or
    // translated while the program has the port closed.
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave >= 0) {
        termios tio;
        if (::tcgetattr(slave, &tio) == 0) {
            ::cfmakeraw(&tio);
            ::tcsetattr(slave, TCSANOW, &tio);
        }
        ::close(slave);
    }
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    m_master = master;
    m_slavePath = QFile::decodeName(name);
}

PtyPair::~PtyPair()
{
    closeMaster();
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
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}
