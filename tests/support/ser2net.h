// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QtGlobal>

#include <functional>

// A TCP port on 127.0.0.1 that nothing listens on at the moment. Another program may take it
// before the caller does: a peer started on it must be checked with listensOnLoopback().
quint16 freeLoopbackPort();

// Starts a peer on ports chosen free: startOnce() up to five times, with choosePorts() between
// tries, since another program may take a port between choosing and listening. Once a start
// has worked (*started), a later start keeps its ports, as the clients expect: no retry.
bool startOnFreePorts(bool *started, const std::function<bool()> &startOnce,
                      const std::function<void()> &choosePorts);

// A port of 127.0.0.1 bound here and never listened on, for as long as this lives: a connection
// to it is refused, and no other program can take the port meanwhile.
class RefusingLoopbackPort
{
public:
    RefusingLoopbackPort();
    ~RefusingLoopbackPort();
    RefusingLoopbackPort(const RefusingLoopbackPort &) = delete;
    RefusingLoopbackPort &operator=(const RefusingLoopbackPort &) = delete;
    quint16 port() const { return m_port; } // 0 when no port could be bound

private:
    int m_socket = -1;
    quint16 m_port = 0;
};

// Whether process pid itself listens on 127.0.0.1:port, read from the kernel's tables: the
// listening socket on that port is one of the process's open descriptors. (Connecting to find
// out would open the line at the far end, and would take somebody else's listener for it.)
bool listensOnLoopback(qint64 pid, quint16 port);

// Ends a peer the test started: asks it to stop, and kills it when it has not within 5 s.
void endPeerProcess(QProcess &process);

// ser2net on loopback serving a terminal: one raw accepter and one telnet(rfc2217) accepter.
// The rfc2217 one starts the line at 4800 7E2, so that the panel's own settings are seen to
// arrive. Its configuration file lives in the folder given.
class Ser2net
{
public:
    Ser2net(const QString &folder, const QString &device);
    ~Ser2net();
    Ser2net(const Ser2net &) = delete;
    Ser2net &operator=(const Ser2net &) = delete;

    // Starts it in the foreground (no fork, log to standard output, no UUCP lock files) and
    // waits until both accepters listen. The first start takes other ports when another
    // program took one of the chosen ones meanwhile; a start after stop() keeps them.
    bool start();
    void stop();
    // The port map entry that reaches the terminal through it.
    QString entry(bool rfc2217) const;
    QByteArray log() { return m_process.readAll(); }

private:
    bool startOnce();
    void writeConfig();

    QString m_config;
    QString m_device;
    bool m_started = false;
    quint16 m_rawPort;
    quint16 m_telnetPort;
    QProcess m_process;
};
