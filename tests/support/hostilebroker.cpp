// SPDX-License-Identifier: MIT
#include "hostilebroker.h"

#include <QHostAddress>
#include <QTcpSocket>

namespace {

constexpr quint8 connectPacket = 0x10;
constexpr quint8 pingRequest = 0xC0;
constexpr int mqtt5 = 5;
constexpr int unsupportedVersion = 0x84;

QByteArray connack(int level, int reason)
{
    // MQTT 5 adds an empty property list.
    if (level == mqtt5)
        return QByteArray("\x20\x03\x00", 3) + char(reason) + QByteArray(1, '\0');
    return QByteArray("\x20\x02\x00", 3) + char(reason);
}

// A packet's remaining length at data[from...]: its value and the bytes it took, or -1 while
// incomplete (or malformed: the connection is dropped then).
std::pair<qsizetype, qsizetype> remainingLength(const QByteArray &data, qsizetype from)
{
    qsizetype value = 0;
    for (qsizetype i = 0; i < 4; ++i) {
        if (from + i >= data.size())
            return {-1, 0};
        const auto byte = quint8(data[from + i]);
        value |= qsizetype(byte & 0x7F) << (7 * i);
        if ((byte & 0x80) == 0)
            return {value, i + 1};
    }
    return {-1, -1};
}

} // namespace

HostileBroker::HostileBroker(Misbehaviour how, int reason) : m_how(how), m_reason(reason)
{
    connect(&m_server, &QTcpServer::newConnection, this, &HostileBroker::onConnection);
    m_server.listen(QHostAddress::LocalHost);
    m_port = m_server.serverPort();
    if (how == Misbehaviour::NobodyListens)
        m_server.close();
}

void HostileBroker::onConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        ++m_connections;
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadable(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_pending.erase(socket);
            m_level.erase(socket);
            socket->deleteLater();
        });
    }
}

void HostileBroker::onReadable(QTcpSocket *socket)
{
    QByteArray &data = m_pending[socket];
    data += socket->readAll();
    while (data.size() >= 2) {
        const auto [length, bytes] = remainingLength(data, 1);
        if (bytes < 0) {
            socket->abort();
            return;
        }
        if (length < 0 || data.size() < 1 + bytes + length)
            return;
        const auto header = quint8(data[0]);
        const QByteArray body = data.mid(1 + bytes, length);
        data.remove(0, 1 + bytes + length);
        onPacket(socket, header, body);
        if (socket->state() != QAbstractSocket::ConnectedState)
            return;
    }
}

void HostileBroker::onPacket(QTcpSocket *socket, quint8 header, const QByteArray &body)
{
    if (header == connectPacket)
        onConnect(socket, body);
    else if (header == pingRequest)
        socket->write(QByteArray("\xD0\x00", 2));
    // Everything else (PUBLISH, SUBSCRIBE) is read and never acknowledged.
}

void HostileBroker::onConnect(QTcpSocket *socket, const QByteArray &body)
{
    // Protocol name (two length bytes and "MQTT"), then the level: 4 for 3.1.1, 5 for 5.
    const int level = body.size() > 6 ? int(quint8(body[6])) : 4;
    m_level[socket] = level;
    const auto closeAfter = [socket](const QByteArray &bytes) {
        socket->write(bytes);
        socket->flush();
        socket->disconnectFromHost();
    };
    switch (m_how) {
    case Misbehaviour::NotMqtt:
        return closeAfter("HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n");
    case Misbehaviour::Refuses:
        return closeAfter(connack(level, m_reason));
    case Misbehaviour::Mqtt311Only:
        if (level == mqtt5)
            return closeAfter(connack(level, unsupportedVersion));
        break;
    default:
        break;
    }
    ++m_accepted;
    socket->write(connack(level, 0));
    const QByteArray properties = level == mqtt5 ? QByteArray(1, '\0') : QByteArray();
    switch (m_how) {
    case Misbehaviour::Garbage:
        socket->write(QByteArray("\x00\x00\xff\xfe", 4));
        break;
    case Misbehaviour::EmptyTopic:
        socket->write(QByteArray("\x30", 1) + char(2 + properties.size()) +
                      QByteArray(2, '\0') + properties);
        break;
    case Misbehaviour::QosThree:
        socket->write(QByteArray("\x36", 1) + char(5 + properties.size()) +
                      QByteArray("\x00\x01t\x00\x01", 5) + properties);
        break;
    case Misbehaviour::ClosesAfterConnack:
        closeAfter({});
        break;
    default:
        break;
    }
}
