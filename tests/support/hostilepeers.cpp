// SPDX-License-Identifier: MIT
#include "hostilepeers.h"

#include "ptypair.h"

#include <QTimer>

#include <arpa/inet.h>
#include <cerrno>
#include <initializer_list>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr char IAC = char(0xFF);
constexpr char SB = char(0xFA);
constexpr char SE = char(0xF0);
constexpr char DO = char(0xFD);
constexpr char WILL = char(0xFB);
constexpr char comPort = 44;
constexpr char status = 5;

QByteArray telnet(std::initializer_list<char> bytes)
{
    return QByteArray(bytes.begin(), qsizetype(bytes.size()));
}

// The server's confirmation of setting command (1 baud rate .. 4 stop size) of the COM Port
// Control option, with the values of 9600 8N1.
QByteArray confirmation(int command)
{
    const QByteArray value = command == 1   ? QByteArray("\x00\x00\x25\x80", 4)
                             : command == 2 ? QByteArray(1, 8)
                                            : QByteArray(1, 1);
    return telnet({IAC, SB, comPort, char(100 + command)}) + value + telnet({IAC, SE});
}

} // namespace

HostilePeer::HostilePeer(Script script, int ms) : m_script(script), m_ms(ms)
{
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listener < 0)
        return;
    if (script == Script::NeverReads) {
        // Taken by the accepted connections: they hold little of what the panel sends.
        const int small = 4096;
        ::setsockopt(m_listener, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(m_listener, reinterpret_cast<sockaddr *>(&address), length) != 0 ||
        ::listen(m_listener, 8) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return;
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { run(); });
}

HostilePeer::~HostilePeer()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_listener >= 0)
        ::close(m_listener);
}

QString HostilePeer::entry(bool rfc2217) const
{
    return (rfc2217 ? u"rfc2217://127.0.0.1:%1"_s : u"tcp://127.0.0.1:%1"_s).arg(m_port);
}

qint64 HostilePeer::arrivedAtMs(const QByteArray &bytes) const
{
    const QMutexLocker lock(&m_mutex);
    const qsizetype at = m_received.indexOf(bytes);
    return at < 0 ? -1 : m_receivedAt.at(at + bytes.size() - 1);
}

void HostilePeer::run()
{
    while (!m_stop) {
        pollfd listener{m_listener, POLLIN, 0};
        if (::poll(&listener, 1, 20) <= 0)
            continue;
        const int connection = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0)
            continue;
        {
            const QMutexLocker lock(&m_mutex);
            m_received.clear();
            m_receivedAt.clear();
            m_sinceAccept.start();
        }
        m_lastConfirmationAt = -1;
        ++m_accepted;
        serve(connection);
        ::close(connection);
    }
}

void HostilePeer::serve(int connection)
{
    switch (m_script) {
    case Script::NeverReads:
        neverRead(connection);
        break;
    case Script::Silent:
        if (m_ms < 0) {
            while (pause(1000)) {
            }
        } else {
            pause(m_ms);
        }
        break;
    case Script::ClosesAtOnce:
        break;
    case Script::ConfirmsSlowly:
        confirmSlowly(connection);
        break;
    }
}

void HostilePeer::neverRead(int connection)
{
    QByteArray hello = telnet({IAC, DO, comPort});
    for (int command = 1; command <= 4; ++command)
        hello += confirmation(command);
    QByteArray asking;
    for (int i = 0; i < 1000; ++i)
        asking += telnet({IAC, DO, status, IAC, WILL, status});
    if (!sendAll(connection, hello))
        return;
    while (sendAll(connection, asking)) {
    }
}

void HostilePeer::confirmSlowly(int connection)
{
    if (!sendAll(connection, telnet({IAC, DO, comPort})))
        return;
    for (int command = 1; command <= 4; ++command) {
        if (!receiveFor(connection, m_ms) || !sendAll(connection, confirmation(command)))
            return;
    }
    m_lastConfirmationAt = m_sinceAccept.elapsed();
    while (receiveFor(connection, 100)) {
    }
}

bool HostilePeer::sendAll(int connection, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        if (m_stop)
            return false;
        pollfd peer{connection, POLLOUT, 0};
        if (::poll(&peer, 1, 20) <= 0)
            continue;
        if (peer.revents & (POLLHUP | POLLERR))
            return false;
        const ssize_t n = ::send(connection, bytes.constData() + done, size_t(bytes.size() - done),
                                 MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

bool HostilePeer::receiveFor(int connection, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!m_stop && clock.elapsed() < ms) {
        pollfd peer{connection, POLLIN, 0};
        if (::poll(&peer, 1, 10) <= 0)
            continue;
        char buffer[4096];
        const ssize_t n = ::recv(connection, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        if (n <= 0)
            return false;
        const QMutexLocker lock(&m_mutex);
        m_received.append(buffer, n);
        const qint64 now = m_sinceAccept.elapsed();
        for (ssize_t i = 0; i < n; ++i)
            m_receivedAt.append(now);
    }
    return !m_stop;
}

bool HostilePeer::pause(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!m_stop && clock.elapsed() < ms)
        ::usleep(10000);
    return !m_stop;
}

SlowDevice::SlowDevice(PtyPair &line, int bytesPerSecond)
    : m_line(line), m_bytesPerTick(bytesPerSecond / 50), m_timer(new QTimer(this))
{
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &SlowDevice::readSome);
    m_timer->start(20);
}

void SlowDevice::stop()
{
    m_timer->stop();
}

void SlowDevice::readSome()
{
    QByteArray buffer(m_bytesPerTick, Qt::Uninitialized);
    const ssize_t n = ::read(m_line.masterFd(), buffer.data(), size_t(buffer.size()));
    if (n > 0)
        m_received.append(buffer.constData(), n);
}
