// SPDX-License-Identifier: MIT
#pragma once

// One connection to an MQTT broker through libmosquitto, for the panel's MQTT surface (and the
// tests and benchmarks that stand in for Home Assistant).
//
// The library runs in a thread of this object's (run()): it connects, keeps the connection
// alive, and after any failure (a lost connection, a broker that sends what is not MQTT, a
// name server that cannot answer yet) tries again, 1 s later, then twice as long each time up
// to 30 s; the wait begins again at 1 s once a connection has stayed up for 30 s. Only what
// cannot change by waiting ends it (mqttoutcome.h). Its callbacks are handed to the thread
// this object lives in as queued calls, so the signals below arrive in the event loop like any
// other; start() returns at once and the window never waits on the broker. publish() and
// subscribe() only queue.
//
// It speaks MQTT 5 and tells the broker the largest packet it takes (maxPacketBytes), so that
// a broker never sends it more; a broker that speaks only MQTT 3.1.1 is spoken to in that.

#include "mqttsettings.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

struct mosquitto;
struct mosquitto_message;

class MqttClient : public QObject
{
    Q_OBJECT

public:
    // Far more than any command or state the panel takes, far less than memory can hold.
    static constexpr int maxPacketBytes = 64 * 1024;
    // A broker that takes the connection and says nothing is left after this long.
    static constexpr int answerTimeoutMs = 10000;
    static constexpr int firstWaitMs = 1000;
    static constexpr int lastWaitMs = 30000;
    static constexpr int stableMs = 30000;
    // Publications the broker has not acknowledged yet, at most: past that publish() refuses,
    // so that a broker that takes nothing cannot make the panel hold more and more.
    static constexpr int maxWaiting = 100;
    // A broker that acknowledges nothing for this long while publications wait is left, and
    // the connection made again.
    static constexpr int stallTimeoutMs = 30000;

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

    // Quality of service 1. False when the client is not connected, or maxWaiting
    // publications wait for the broker (isFull()); nothing is queued then.
    bool publish(const QByteArray &topic, const QByteArray &payload, bool retained);
    bool isFull() const { return m_unacknowledged >= maxWaiting; }
    // For tests: how long a broker may take nothing (before start()).
    void setStallTimeout(int ms) { m_stallTimeoutMs = ms; }
    bool subscribe(const QStringList &filters);

signals:
    void connected();
    // The connection was lost.
    void disconnected();
    // No connection now, for the reason given (one line); the next try is in seconds.
    // anotherClientLikely: the broker ended a connection it had just accepted, as when
    // another client uses the same id.
    void retrying(const QString &why, int seconds, bool anotherClientLikely);
    // It gave up for good: the broker refused who we are, or the host cannot be found.
    void failed(const QString &why);
    void message(const QByteArray &topic, const QByteArray &payload, bool retained);
    // The broker has acknowledged every publication.
    void drained();

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
    struct Ended;
    // The client's thread: connects, runs the library's loop, waits and tries again.
    void run();
    Ended serveOnce(bool fresh, bool mqtt5);
    // Runs one connection until it ends; false when it could not be made. error is errno.
    bool connectOnce(bool fresh, bool mqtt5, int &code, int &error);
    // True when it ended the connection because the broker took nothing.
    bool loopConnection(int &code, int &error);
    // Waits ms unless told to stop; true when told.
    bool waitOrStop(int ms);
    bool stopping() const { return m_stopping || m_gaveUp; }

    MqttSettings m_settings;
    Will m_will;
    mosquitto *m_mosq = nullptr;
    std::thread m_thread;
    std::mutex m_waitMutex;
    std::condition_variable m_wake;
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_finished{false};
    std::atomic<bool> m_connected{false};
    std::atomic<bool> m_gaveUp{false};
    // Of the connection under way, written in the library's callbacks (the client's thread).
    int m_refusal = 0;
    int m_disconnectReason = 0;
    QElapsedTimer m_acceptedAt;           // invalid until the broker accepts
    std::atomic<int> m_unacknowledged{0}; // publications the broker has not taken yet
    // Milliseconds on the steady clock when the broker last took one, or when the first of
    // those waiting was published.
    std::atomic<qint64> m_lastMoveMs{0};
    int m_stallTimeoutMs = stallTimeoutMs;
};
