// SPDX-License-Identifier: MIT
#pragma once

#include "commandlines.h"
#include "controlserver.h"

class QIODevice;

// One connected program of the control socket: its socket, the command lines it sent, and
// whether it watches the state or the line monitor. It carries out the client's lines through
// the server's target, in the order they came and a few at a time, and leaves the server's list
// once it is done: the client went away and every line it sent before has been answered, or it
// was dropped for not reading.
class ControlServer::ClientSession : public QObject
{
public:
    ClientSession(ControlServer &server, QIODevice *socket);

    bool isWatching() const { return m_watching && !m_closing; }
    bool isMonitoring() const { return m_monitoring && !m_closing; }

    // Queues one line for the client; drops the client once too much waits unread.
    void send(const QByteArray &line);

    // Carries out what the client sent, a few lines at a time.
    void serve();

private:
    void handle(const CommandLines::Line &line);
    // The client went away: what it sent before is still carried out, in order.
    void onDisconnected();
    void drop();
    void finish();

    ControlServer &m_server;
    QIODevice *m_socket = nullptr;
    CommandLines m_lines;
    bool m_watching = false;
    bool m_monitoring = false;
    bool m_closing = false;
    bool m_dropped = false;
    bool m_turnPosted = false;
    bool m_finished = false;
};
