#pragma once

// A pseudo-terminal for the benchmarks: the benchmark holds the master as "the device", the
// window opens the slave as its COM port. Raw line, non-blocking master.

#include <QByteArray>
#include <QString>

#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

class BenchPty
{
public:
    BenchPty()
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
            return;
        char name[128];
        if (::ptsname_r(m_master, name, sizeof name) != 0)
            return;
        m_slavePath = QString::fromLocal8Bit(name);
        const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (slave >= 0) {
            termios tio;
            if (::tcgetattr(slave, &tio) == 0) {
                ::cfmakeraw(&tio);
                ::tcsetattr(slave, TCSANOW, &tio);
            }
            ::close(slave);
        }
        ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    }
    ~BenchPty()
    {
        if (m_master >= 0)
            ::close(m_master);
    }
    BenchPty(const BenchPty &) = delete;
    BenchPty &operator=(const BenchPty &) = delete;

    bool isValid() const { return m_master >= 0 && !m_slavePath.isEmpty(); }
    QString slavePath() const { return m_slavePath; }
    int masterFd() const { return m_master; }

    bool write(const QByteArray &bytes)
    {
        return ::write(m_master, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }
    // Everything the window has sent and not yet read.
    QByteArray drain()
    {
        QByteArray bytes;
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(m_master, buffer, sizeof buffer)) > 0)
            bytes.append(buffer, n);
        return bytes;
    }

private:
    int m_master = -1;
    QString m_slavePath;
};
