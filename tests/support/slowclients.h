// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>

class QTcpSocket;
class QTimer;

// A crowd of connections to a server on 127.0.0.1, held as a hostile client holds them: idle
// (connected, saying nothing), or dribbling a request's head one byte every gapMs and never
// ending it. Each connection counts as closed once the server has closed it.
class SlowClients : public QObject
{
    Q_OBJECT

public:
    enum class Kind { Idle, Dribbling };

    SlowClients(quint16 port, int count, Kind kind, int gapMs = 100);
    ~SlowClients() override;

    // Waits until every connection is made or has failed.
    bool waitForConnected(int timeoutMs = 10000);
    int connected() const { return m_connected; }
    int closedByServer() const { return m_closed; }

private:
    void dribble();

    QList<QTcpSocket *> m_sockets;
    QTimer *m_timer = nullptr;
    QByteArray m_head;
    qsizetype m_sent = 0;
    int m_count = 0;
    int m_connected = 0;
    int m_closed = 0;
};

// A page's WebSocket that sends pings as fast as it can and reads nothing: neither the pongs
// nor anything else. It opens the socket with the cookie and the origin given, then sends up
// to maxBytes of pings while the server keeps the connection.
class PingFlood : public QObject
{
    Q_OBJECT

public:
    PingFlood(quint16 port, const QByteArray &cookie, qint64 maxBytes);
    ~PingFlood() override;

    // The server answered the upgrade with 101.
    bool waitForUpgrade(int timeoutMs = 5000);
    bool closedByServer() const { return m_closed; }
    qint64 sent() const { return m_sent; }

private:
    void readHandshake();
    void sendMore();

    QTcpSocket *m_socket = nullptr;
    QByteArray m_answer;
    bool m_upgraded = false;
    bool m_closed = false;
    qint64 m_sent = 0;
    qint64 m_maxBytes;
};
