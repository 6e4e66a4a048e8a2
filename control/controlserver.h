// SPDX-License-Identifier: MIT
#pragma once

// The control socket: a TCP or local server that takes command lines from other programs and
// answers each with one line. It knows the panel only through a ControlTarget, which carries
// the commands out; it never touches the window.
//
// Everything runs in the GUI thread's event loop and nothing in it blocks: answers are queued
// on the client's socket and written as the client takes them. What waits for one client is
// bounded (ClientOutput): past a window of bytes the system has not taken, the client's
// commands wait until it reads, and a watcher that lags is sent only the latest state. A
// client whose output the system has taken none of for stallMs is dropped, and the window and
// the other clients carry on. Each client's commands are carried out in the order they came,
// at most linesPerTurn of them before the event loop gets its turn again, and a client's
// socket holds at most readBuffer bytes it has sent but the panel has not yet read, so a flood
// from one client neither stalls the window nor fills the memory. The system keeps at most
// about sendBuffer bytes (twice that on Linux) for a client on top of what is queued here.
//
// At most maxClients are connected. A client that watches neither the state nor the line
// monitor and has sent no complete line for idleMs is closed with "error idle". When every
// place is taken, the client idle longest of those not watching is closed the same way at
// once, and the newcomer takes its place; only when all of them watch does a newcomer get
// "error busy".

#include "controltarget.h"
#include "listenaddress.h"

#include <QByteArray>
#include <QList>
#include <QLoggingCategory>
#include <QObject>

#include <functional>

class QIODevice;
class QLocalServer;
class QTcpServer;
class QTimer;

Q_DECLARE_LOGGING_CATEGORY(lcControl)

class ControlServer : public QObject
{
    Q_OBJECT

public:
    // Milliseconds on a steady clock: what idle and stalled clients are judged by.
    using Clock = std::function<qint64()>;

    static constexpr int maxClients = 16;
    static constexpr int linesPerTurn = 16;
    static constexpr qint64 readBuffer = 4096;
    static constexpr qint64 sendBuffer = 16 * 1024;
    static constexpr qint64 idleMs = 60'000;
    static constexpr qint64 stallMs = 30'000;
    static constexpr int checkMs = 1000; // how often the clients are looked at

    explicit ControlServer(ControlTarget &target, QObject *parent = nullptr);
    // With another clock, such as a test's.
    ControlServer(ControlTarget &target, Clock clock, QObject *parent = nullptr);
    ~ControlServer() override;

    // Starts listening; false and a one-line reason in *error when that is not possible. A
    // socket file left behind by a panel that ended without removing it is replaced; a file
    // of another kind, or a socket another program answers on, is left alone.
    bool listen(const ListenAddress &address, QString *error = nullptr);
    // Where it listens, with the port the system chose for port 0.
    ListenAddress address() const { return m_address; }

    int clientCount() const { return int(m_clients.size()); }
    // Bytes of answers and watch lines that wait for the clients to take them.
    qint64 queuedBytes() const;

signals:
    // A client was dropped because the system took none of what was queued for it.
    void clientDropped();

private:
    class ClientSession;

    void acceptTcp();
    void acceptLocal();
    void accept(QIODevice *socket);
    static void refuse(QIODevice *socket);
    ClientSession *longestIdle() const;
    void checkClients();
    void broadcast(const QByteArray &json);
    void relayLineEntry(const QByteArray &line);
    void forget(ClientSession *client);

    ControlTarget &m_target;
    Clock m_clock;
    ListenAddress m_address;
    QTcpServer *m_tcp = nullptr;
    QLocalServer *m_local = nullptr;
    QTimer *m_check = nullptr; // runs while there are clients
    QList<ClientSession *> m_clients;
};
