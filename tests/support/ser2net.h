// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QtGlobal>

// A TCP port on 127.0.0.1 that nothing listens on at the moment.
quint16 freeLoopbackPort();

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
    // waits until both accepters listen.
    bool start();
    void stop();
    // The port map entry that reaches the terminal through it.
    QString entry(bool rfc2217) const;
    QByteArray log() { return m_process.readAll(); }

private:
    QString m_config;
    quint16 m_rawPort;
    quint16 m_telnetPort;
    QProcess m_process;
};
