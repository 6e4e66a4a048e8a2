// SPDX-License-Identifier: MIT
#pragma once

// One connection to an MQTT broker through libmosquitto, for the panel's MQTT surface (and the
// tests and benchmarks that stand in for Home Assistant).
//
// The library runs in a thread of its own (mosquitto_loop_start): it connects, keeps the
// connection alive and reconnects after a loss, waiting 1 s, then longer, up to 30 s. Its
// callbacks are handed to the thread this object lives in as queued calls, so the signals
// below arrive in the event loop like any other. Connecting resolves the broker's name, which
// may take seconds: the first connect is made in a short-lived thread, so start() returns at
// once and the window never waits on the broker. publish() and subscribe() only queue.

#include "mqttsettings.h"

#include <QByteArray>
#include <QObject>
#include <QStringList>

#include <atomic>
#include <thread>

struct mosquitto;
struct mosquitto_message;

class MqttClient : public QObject
{
    Q_OBJECT

public:
    struct Will
    {
        QByteArray topic; // none when empty
        QByteArray payload;
    };

    explicit MqttClient(const MqttSettings &settings, const Will &will = {},
                        QObject *parent = nullptr);
    // An orderly end: what was published is sent, then a DISCONNECT, so the will is not.
    ~MqttClient() override;
    MqttClient(const MqttClient &) = delete;
    MqttClient &operator=(const MqttClient &) = delete;

    // Starts connecting in the background. False, with *why, when the library refuses what
    // the settings ask for (a CA file it cannot use); nothing is started then.
    bool start(QString *why);

    // Quality of service 1. False when the client is not connected; nothing is queued then.
    bool publish(const QByteArray &topic, const QByteArray &payload, bool retained);
    bool subscribe(const QStringList &filters);

signals:
    void connected();
    // The connection was lost; the library is reconnecting.
    void disconnected();
    // It gave up for good: the broker refused who we are, or the host cannot be found.
    void failed(const QString &why);
    void message(const QByteArray &topic, const QByteArray &payload, bool retained);

private:
    static void onConnect(mosquitto *mosq, void *self, int code);
    static void onDisconnect(mosquitto *mosq, void *self, int code);
    static void onMessage(mosquitto *, void *self, const mosquitto_message *message);
    static void onPublish(mosquitto *, void *self, int mid);
    // The library's errors: a TLS handshake that fails in its thread ends that thread, and
    // its log line is the only word of it.
    static void onLog(mosquitto *, void *self, int level, const char *text);
    // Reports failed() once, from any thread.
    void giveUp(const QString &why);
    QString tlsFailure() const;
    // In the starter thread: the first connect, then the library's own thread.
    void connectAndLoop();

    MqttSettings m_settings;
    Will m_will;
    mosquitto *m_mosq = nullptr;
    std::thread m_starter;
    std::atomic<bool> m_looping{false};
    std::atomic<bool> m_connected{false};
    std::atomic<bool> m_gaveUp{false};
    std::atomic<int> m_unacknowledged{0}; // publications the broker has not taken yet
};
