// SPDX-License-Identifier: MIT
#include "slowclients.h"

#include <QDeadlineTimer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <algorithm>

namespace {

// A head that never ends: the filler header goes on for longer than any test waits.
QByteArray endlessHead(quint16 port)
{
    return "GET / HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port) +
           "\r\nX-Filler: " + QByteArray(100000, 'a');
}

} // namespace

SlowClients::SlowClients(quint16 port, int count, Kind kind, int gapMs)
{
    // Twenty every 20 ms: the server's queue of connections not yet taken stays short. A burst
    // would overflow it, and the system would then drop the connections the client thinks made.
    auto *opener = new QTimer(this);
    connect(opener, &QTimer::timeout, this, [this, opener, port, count] {
        for (int i = 0; i < 20 && m_sockets.size() < count; ++i) {
            auto *socket = new QTcpSocket(this);
            connect(socket, &QTcpSocket::connected, this, [this] { ++m_connected; });
            connect(socket, &QTcpSocket::disconnected, this, [this] { ++m_closed; });
            socket->connectToHost(QStringLiteral("127.0.0.1"), port);
            m_sockets.append(socket);
        }
        if (m_sockets.size() == count)
            opener->stop();
    });
    opener->start(20);
    m_count = count;
    if (kind == Kind::Dribbling) {
        m_timer = new QTimer(this);
        connect(m_timer, &QTimer::timeout, this, &SlowClients::dribble);
        m_head = endlessHead(port);
        m_timer->start(gapMs);
    }
}

SlowClients::~SlowClients()
{
    for (QTcpSocket *socket : std::as_const(m_sockets))
        socket->disconnect(this);
}

bool SlowClients::waitForConnected(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    const auto pending = [this] {
        return std::any_of(m_sockets.cbegin(), m_sockets.cend(), [](const QTcpSocket *socket) {
            return socket->state() == QAbstractSocket::HostLookupState ||
                   socket->state() == QAbstractSocket::ConnectingState;
        });
    };
    while ((m_sockets.size() < m_count || pending()) && !deadline.hasExpired())
        QTest::qWait(10);
    return m_connected == m_count;
}

void SlowClients::dribble()
{
    if (m_sent >= m_head.size())
        return;
    for (QTcpSocket *socket : std::as_const(m_sockets)) {
        if (socket->state() == QAbstractSocket::ConnectedState)
            socket->write(m_head.mid(m_sent, 1));
    }
    ++m_sent;
}

PingFlood::PingFlood(quint16 port, const QByteArray &cookie, qint64 maxBytes)
    : m_socket(new QTcpSocket(this)), m_maxBytes(maxBytes)
{
    // What it takes in stays small, so that what it leaves unread stays with the server.
    m_socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
    connect(m_socket, &QTcpSocket::readyRead, this, &PingFlood::readHandshake);
    connect(m_socket, &QTcpSocket::bytesWritten, this, &PingFlood::sendMore);
    connect(m_socket, &QTcpSocket::disconnected, this, [this] { m_closed = true; });
    connect(m_socket, &QTcpSocket::connected, this, [this, port, cookie] {
        const QByteArray host = "127.0.0.1:" + QByteArray::number(port);
        m_socket->write("GET /ws HTTP/1.1\r\nHost: " + host +
                        "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                        "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                        "Sec-WebSocket-Version: 13\r\nOrigin: http://" +
                        host + "\r\nCookie: " + cookie + "\r\n\r\n");
    });
    m_socket->connectToHost(QStringLiteral("127.0.0.1"), port);
}

PingFlood::~PingFlood()
{
    m_socket->disconnect(this);
}

bool PingFlood::waitForUpgrade(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!m_upgraded && !m_closed && !deadline.hasExpired())
        QTest::qWait(10);
    return m_upgraded;
}

void PingFlood::readHandshake()
{
    // Only the answer to the upgrade, a byte at a time so as to take nothing after it.
    while (!m_upgraded && m_socket->bytesAvailable() > 0) {
        m_answer += m_socket->read(1);
        if (m_answer.endsWith("\r\n\r\n")) {
            m_upgraded = m_answer.startsWith("HTTP/1.1 101");
            if (m_upgraded) {
                m_socket->setReadBufferSize(1); // from now on Qt takes in nothing more
                sendMore();
            }
        }
    }
}

void PingFlood::sendMore()
{
    if (!m_upgraded || m_sent >= m_maxBytes || m_socket->bytesToWrite() > 256 * 1024)
        return;
    // A masked ping with 125 bytes: FIN and opcode 9, the mask bit and the length, the mask.
    QByteArray ping("\x89\xfd\x00\x00\x00\x00", 6);
    ping += QByteArray(125, 'p');
    QByteArray batch;
    for (int i = 0; i < 4096; ++i)
        batch += ping;
    m_sent += batch.size();
    m_socket->write(batch);
}
