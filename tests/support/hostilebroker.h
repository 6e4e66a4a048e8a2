// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QObject>
#include <QTcpServer>

#include <map>

class QTcpSocket;

// A fake MQTT broker on 127.0.0.1 that accepts the panel's connection and then misbehaves in
// one way, for the MQTT client's tests. It runs in the test's event loop and serves as many
// connections as come, counting them. It reads every packet, knows CONNECT and PINGREQ, and
// answers in the protocol the client speaks (MQTT 5 or 3.1.1).
class HostileBroker : public QObject
{
    Q_OBJECT

public:
    enum class Misbehaviour {
        Garbage,            // after CONNACK, bytes that are no MQTT packet
        EmptyTopic,         // after CONNACK, a PUBLISH with an empty topic
        QosThree,           // after CONNACK, a PUBLISH with QoS 3
        ClosesAfterConnack, // closes right after accepting
        Refuses,            // CONNACK with the reason code given
        NotMqtt,            // an HTTP server: answers the CONNECT with a 400 and closes
        Mqtt311Only,        // refuses MQTT 5 as an unsupported version, accepts MQTT 3.1.1
        TakesNothing,       // accepts, answers pings, acknowledges nothing
        NobodyListens,      // a port where nothing listens: every connection is refused
    };

    explicit HostileBroker(Misbehaviour how, int reason = 0);

    quint16 port() const { return m_port; }
    int connections() const { return m_connections; }
    int accepted() const { return m_accepted; } // connections that got CONNACK 0

private:
    void onConnection();
    void onReadable(QTcpSocket *socket);
    void onPacket(QTcpSocket *socket, quint8 header, const QByteArray &body);
    void onConnect(QTcpSocket *socket, const QByteArray &body);

    Misbehaviour m_how;
    int m_reason;
    quint16 m_port = 0;
    int m_connections = 0;
    int m_accepted = 0;
    std::map<QTcpSocket *, QByteArray> m_pending;
    std::map<QTcpSocket *, int> m_level; // the protocol level each client spoke
    QTcpServer m_server; // last: its sockets, as they go, still find the maps above
};
