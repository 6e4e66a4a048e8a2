// SPDX-License-Identifier: MIT
#pragma once

#include "clientoutput.h"
#include "commandlines.h"
#include "controlserver.h"

class QIODevice;

// One connected program of the control socket: its socket, the command lines it sent, what it
// is sent, and whether it watches the state or the line monitor. It carries out the client's lines
// through the server's target, in the order they came and a few at a time, and none while the
// client leaves its answers unread. It leaves the server's list once it is done: the client went
// away and every line it sent before has been answered, or the server closed it as idle or dropped
// it.
class ControlServer::ClientSession : public QObject
{
public:
    ClientSession(ControlServer &server, QIODevice *socket);

    bool isWatching() const { return m_watching && !m_peerGone; }
    bool isMonitoring() const { return m_monitoring && !m_peerGone; }
    // Connected and following neither stream: closed once idle for idleMs.
    bool mayBeIdle() const { return !m_watching && !m_monitoring && !m_peerGone; }
    // On the server's clock: when its last complete line came, or when it connected.
    qint64 lastLineAt() const { return m_lastLineAt; }
    // Output waits, and the system has taken none of it for stallMs.
    bool isStalled(qint64 now) const;
    qint64 queuedBytes() const { return m_output.queued(); }

    // One line of the watch; while the client lags only the latest waits.
    void sendState(const QByteArray &json) { send(json, ClientOutput::Stream::State); }
    // One entry of the line monitor; while the client lags, entries past a window are counted.
    void sendLogEntry(const QByteArray &line) { send(line, ClientOutput::Stream::Log); }

    // Carries out what the client sent, a few lines at a time.
    void serve();

    // Tells the client why with a last line and closes; its place is free at once.
    void close(const QByteArray &farewell);
    // Cuts the client off: the system has taken none of its output for stallMs.
    void drop();

private:
    void send(const QByteArray &line, ClientOutput::Stream stream = ClientOutput::Stream::Answer);
    void handle(const CommandLines::Line &line);
    bool hasInput() const;
    void serveLater();
    void onBytesWritten();
    // The client went away: what it sent before is still carried out, in order.
    void onDisconnected();
    void finish();

    ControlServer &m_server;
    QIODevice *m_socket = nullptr;
    CommandLines m_lines;
    ClientOutput m_output;
    qint64 m_lastLineAt = 0;
    qint64 m_progressAt = 0; // when the system last took output, or output began to wait
    bool m_watching = false;
    bool m_monitoring = false;
    bool m_peerGone = false;
    bool m_ended = false; // closed or dropped by the server: nothing more is carried out
    bool m_turnPosted = false;
};
