// SPDX-License-Identifier: MIT
#pragma once

// What one client of the control socket is sent, and the bound on it.
//
// Lines go to the client's socket as long as it holds less than window bytes that the system
// has not taken yet; past that they wait here, and the client's commands wait too (the session
// carries none out while isFull()). Every answer is sent, in order. A stream of lines that each
// tell the whole of the moment, such as the watch's states, keeps only its newest line waiting:
// a client that lags is sent the latest, never a backlog of old ones, and it is not cut off
// however many lines one turn of the event loop brings. So what waits for a client that does
// not read is at most about a window, one answer and one line of each stream. The line
// monitor's entries are a log: each one counts, so they wait in order, up to a window of them;
// entries that find no room are left out and counted, and the next one that fits is preceded by
// one line saying how many were left out.

#include <QByteArray>
#include <QList>

class QIODevice;

class ClientOutput
{
public:
    enum class Stream {
        Answer, // every line is sent
        State,  // the watch's states: only the newest waits
        Log,    // the line monitor's entries: a window of them waits, the rest are counted
    };

    static constexpr qint64 window = 64 * 1024;

    explicit ClientOutput(QIODevice &socket) : m_socket(socket) {}

    void send(const QByteArray &line, Stream stream);
    // Hands what waits to the socket, as far as the window allows: when the system took some.
    void pump();

    // The socket holds a window's worth or more that the system has not taken.
    bool isFull() const;
    // Bytes the system has not taken yet: in the socket and waiting here.
    qint64 queued() const;

private:
    struct Waiting
    {
        QByteArray line; // with its line end
        Stream stream;
    };

    QIODevice &m_socket;
    void sendLog(const QByteArray &line);

    QList<Waiting> m_waiting;
    qint64 m_waitingBytes = 0;
    qint64 m_waitingLogBytes = 0;
    qint64 m_logLeftOut = 0;
};
