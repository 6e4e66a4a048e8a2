// SPDX-License-Identifier: MIT
#pragma once

// The control socket: a TCP or local server that takes command lines from other programs and
// answers each with one line. It knows the panel only through a ControlTarget, which carries
// the commands out; it never touches the window.
//
// Everything runs in the GUI thread's event loop and nothing in it blocks: answers are queued
// on the client's socket and written as the client takes them. A client may queue up to
// maxQueued bytes of answers and watch lines it has not read; past that it is dropped, and
// the window and the other clients carry on. Each client's commands are carried out in the
// order they came, at most linesPerTurn of them before the event loop gets its turn again,
// and a client's socket holds at most readBuffer bytes it has sent but the panel has not yet
// read, so a flood from one client neither stalls the window nor fills the memory. The system
// keeps at most about sendBuffer bytes (twice that on Linux) for a client on top of what is
// queued here, so a client that stops reading is noticed soon.

#include "listenaddress.h"

#include <QByteArray>
#include <QList>
#include <QLoggingCategory>
#include <QObject>
#include <QPointer>

class QIODevice;
class QLocalServer;
class QTcpServer;
struct ControlCommand;

Q_DECLARE_LOGGING_CATEGORY(lcControl)

// What the control socket drives.
class ControlTarget : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Carries out one command other than watch, monitor and help and answers it in one line,
    // without a line end: "ok", "error <reason>", or for state the JSON object.
    virtual QByteArray execute(const ControlCommand &command) = 0;

signals:
    // What the panel shows has changed; json is its state as one line.
    void changed(const QByteArray &json);
    // One entry of the line monitor, as one line: for the clients that sent "monitor".
    void lineEntry(const QByteArray &line);
};

class ControlServer : public QObject
{
    Q_OBJECT

public:
    static constexpr int maxClients = 16;
    static constexpr qint64 maxQueued = 64 * 1024;
    static constexpr int linesPerTurn = 16;
    static constexpr qint64 readBuffer = 4096;
    static constexpr qint64 sendBuffer = 16 * 1024;

    explicit ControlServer(ControlTarget &target, QObject *parent = nullptr);
    ~ControlServer() override;

    // Starts listening; false and a one-line reason in *error when that is not possible. A
    // socket file left behind by a panel that ended without removing it is replaced; a file
    // of another kind, or a socket another program answers on, is left alone.
    bool listen(const ListenAddress &address, QString *error = nullptr);
    // Where it listens, with the port the system chose for port 0.
    ListenAddress address() const { return m_address; }

    int clientCount() const { return int(m_clients.size()); }

signals:
    // A client was dropped because it did not read what was queued for it.
    void clientDropped();

private:
    class ClientSession;

    void acceptTcp();
    void acceptLocal();
    void accept(QIODevice *socket);
    void broadcast(const QByteArray &json);
    void relayLineEntry(const QByteArray &line);
    void forget(ClientSession *client);

    ControlTarget &m_target;
    ListenAddress m_address;
    QTcpServer *m_tcp = nullptr;
    QLocalServer *m_local = nullptr;
    QList<ClientSession *> m_clients;
};
