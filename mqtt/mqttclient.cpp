// SPDX-License-Identifier: MIT
#include "mqttclient.h"

#include "mqttoutcome.h"

#include <QMetaObject>

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <sys/socket.h>

#include <chrono>
#include <mutex>
#ifdef Q_OS_UNIX
#include <pthread.h>
#endif

namespace {

constexpr int keepAliveSeconds = 30;
constexpr int loopTimeoutMs = 1000;

qint64 steadyMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void initialiseLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

} // namespace

MqttClient::MqttClient(const MqttSettings &settings, const Will &will, QObject *parent)
    : QObject(parent), m_settings(settings), m_will(will)
{
    initialiseLibrary();
    m_mosq = mosquitto_new(m_settings.id.toUtf8().constData(), true, this);
}

MqttClient::~MqttClient()
{
    if (m_thread.joinable()) {
        // What was published last (such as "offline" on the status) is taken by the broker
        // before the DISCONNECT, however busy the machine; half a second at most.
        for (int i = 0; m_connected && m_unacknowledged > 0 && i < 100; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        {
            const std::lock_guard lock(m_waitMutex);
            m_stopping = true;
        }
        m_wake.notify_all();
        // Connected, the loop sends what is queued and the DISCONNECT (so the will is not
        // sent), then ends; otherwise it ends where it waits.
        mosquitto_disconnect(m_mosq);
        for (int i = 0; !m_finished && i < 400; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
#ifdef Q_OS_UNIX
        // Still in a connect to a host that does not answer, which may take minutes: ended
        // there, as the library ends its own thread.
        if (!m_finished)
            pthread_cancel(m_thread.native_handle());
#endif
        m_thread.join();
    }
    mosquitto_destroy(m_mosq);
}

bool MqttClient::start(QString *why)
{
    if (!m_mosq) {
        *why = QStringLiteral("the MQTT library cannot make a client");
        return false;
    }
    mosquitto_connect_callback_set(m_mosq, &MqttClient::onConnect);
    mosquitto_disconnect_callback_set(m_mosq, &MqttClient::onDisconnect);
    mosquitto_message_callback_set(m_mosq, &MqttClient::onMessage);
    mosquitto_publish_callback_set(m_mosq, &MqttClient::onPublish);
    mosquitto_log_callback_set(m_mosq, &MqttClient::onLog);
    // The loop runs in a thread of ours: publish() only queues and wakes it.
    mosquitto_threaded_set(m_mosq, true);
    mosquitto_int_option(m_mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    // A command's answer and the states that follow are small packets sent back to back:
    // Nagle's algorithm would hold each after the first until the broker's acknowledgement.
    mosquitto_int_option(m_mosq, MOSQ_OPT_TCP_NODELAY, 1);
    if (!m_settings.user.isEmpty())
        mosquitto_username_pw_set(
            m_mosq, m_settings.user.toUtf8().constData(),
            m_settings.password.isEmpty() ? nullptr : m_settings.password.toUtf8().constData());
    if (!m_will.topic.isEmpty())
        mosquitto_will_set(m_mosq, m_will.topic.constData(), int(m_will.payload.size()),
                           m_will.payload.constData(), 1, true);
    if (m_settings.tls) {
        const QByteArray cafile = m_settings.cafile.toLocal8Bit();
        if (cafile.isEmpty())
            mosquitto_int_option(m_mosq, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
        const int rc = mosquitto_tls_set(m_mosq, cafile.isEmpty() ? nullptr : cafile.constData(),
                                         cafile.isEmpty() ? "/etc/ssl/certs" : nullptr, nullptr,
                                         nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            *why =
                QStringLiteral("cannot use the CA certificates %1: %2")
                    .arg(cafile.isEmpty() ? QStringLiteral("in /etc/ssl/certs") : m_settings.cafile,
                         QString::fromUtf8(mosquitto_strerror(rc)));
            return false;
        }
    }
    m_thread = std::thread([this] { run(); });
    return true;
}

// What one connection came to, from the connect to its end.
struct MqttClient::Ended
{
    mqtt::Failure failure;
    mqtt::Outcome outcome;
};

void MqttClient::run()
{
    bool mqtt5 = true;
    bool fresh = true; // the library has not been given the host yet, or the protocol changed
    int waitMs = firstWaitMs;
    while (!stopping()) {
        const Ended ended = serveOnce(fresh, mqtt5);
        fresh = false;
        if (stopping())
            break;
        if (ended.outcome.retry == mqtt::Retry::AtOnceWithMqtt311) {
            mqtt5 = false;
            fresh = true;
            mosquitto_int_option(m_mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
            continue;
        }
        if (ended.outcome.retry == mqtt::Retry::Never) {
            giveUp(ended.outcome.why);
            break;
        }
        if (ended.failure.upMs >= stableMs)
            waitMs = firstWaitMs;
        const int seconds = waitMs / 1000;
        QMetaObject::invokeMethod(
            this,
            [this, why = ended.outcome.why, seconds, likely = ended.outcome.anotherClientLikely] {
                emit retrying(why, seconds, likely);
            },
            Qt::QueuedConnection);
        if (waitOrStop(waitMs))
            break;
        waitMs = std::min(waitMs * 2, lastWaitMs);
    }
    m_finished = true;
}

MqttClient::Ended MqttClient::serveOnce(bool fresh, bool mqtt5)
{
    m_refusal = 0;
    m_disconnectReason = 0;
    Ended ended;
    mqtt::Failure &failure = ended.failure;
    failure.mqtt5 = mqtt5;
    bool silent = false;
    bool stalled = false;
    failure.reached = connectOnce(fresh, mqtt5, failure.code, failure.error);
    if (failure.reached) {
        QElapsedTimer answer;
        answer.start();
        stalled = loopConnection(failure.code, failure.error);
        silent = !m_connected && m_refusal == 0 && answer.elapsed() >= answerTimeoutMs;
    }
    // Ended here, not by the broker, the library may not have said so.
    if (m_connected.exchange(false))
        QMetaObject::invokeMethod(
            this, [this] { emit disconnected(); }, Qt::QueuedConnection);
    failure.accepted = m_acceptedAt.isValid();
    failure.upMs = failure.accepted ? m_acceptedAt.elapsed() : 0;
    failure.refusal = m_refusal;
    failure.disconnect = m_disconnectReason;
    m_acceptedAt.invalidate();

    mqtt::Outcome &outcome = ended.outcome;
    outcome = mqtt::outcomeOf(failure);
    if (silent)
        outcome = {
            mqtt::Retry::Later,
            QStringLiteral("the broker did not answer within %1 s").arg(answerTimeoutMs / 1000)};
    if (stalled)
        outcome = {
            mqtt::Retry::Later,
            QStringLiteral("the broker took nothing for %1 s").arg(m_stallTimeoutMs / 1000.0)};
    // The lines that end MQTT name the host and the certificates.
    if (outcome.retry == mqtt::Retry::Never && failure.code == MOSQ_ERR_TLS)
        outcome.why = tlsFailure();
    else if (outcome.retry == mqtt::Retry::Never && failure.code == MOSQ_ERR_EAI)
        outcome.why = QStringLiteral("cannot find the host %1").arg(m_settings.host);
    return ended;
}

bool MqttClient::connectOnce(bool fresh, bool mqtt5, int &code, int &error)
{
    if (fresh) {
        mosquitto_property *properties = nullptr;
        if (mqtt5)
            mosquitto_property_add_int32(&properties, MQTT_PROP_MAXIMUM_PACKET_SIZE,
                                         maxPacketBytes);
        code = mosquitto_connect_bind_v5(m_mosq, m_settings.host.toUtf8().constData(),
                                         m_settings.port, keepAliveSeconds, nullptr, properties);
        error = errno;
        mosquitto_property_free_all(&properties);
    } else {
        code = mosquitto_reconnect(m_mosq);
        error = errno;
    }
    return code == MOSQ_ERR_SUCCESS;
}

bool MqttClient::loopConnection(int &code, int &error)
{
    QElapsedTimer since;
    since.start();
    QElapsedTimer stopAsked;
    for (;;) {
        code = mosquitto_loop(m_mosq, loopTimeoutMs, 1);
        error = errno;
        if (code != MOSQ_ERR_SUCCESS || m_gaveUp)
            return false;
        // Publications wait and nothing moves: the broker answers pings and takes nothing.
        if (m_connected && m_unacknowledged > 0 && steadyMs() - m_lastMoveMs > m_stallTimeoutMs) {
            ::shutdown(mosquitto_socket(m_mosq), SHUT_RDWR);
            code = mosquitto_loop(m_mosq, loopTimeoutMs, 1);
            return true;
        }
        // Asked to stop, the loop goes on until the DISCONNECT is out, but not for ever.
        if (m_stopping && !stopAsked.isValid())
            stopAsked.start();
        const bool stopOverdue = stopAsked.isValid() && stopAsked.elapsed() > 1000;
        const bool unanswered = !m_connected && since.elapsed() >= answerTimeoutMs;
        if (stopOverdue || unanswered) {
            // Ends the connection in the library's own way: its next read fails.
            ::shutdown(mosquitto_socket(m_mosq), SHUT_RDWR);
        }
    }
}

bool MqttClient::waitOrStop(int ms)
{
    std::unique_lock lock(m_waitMutex);
    return m_wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping(); });
}

QString MqttClient::tlsFailure() const
{
    return QStringLiteral("no TLS connection to %1:%2 (is its certificate for that name, and "
                          "signed by %3?)")
        .arg(m_settings.host)
        .arg(m_settings.port)
        .arg(m_settings.cafile.isEmpty() ? QStringLiteral("the system's CA store")
                                         : m_settings.cafile);
}

void MqttClient::giveUp(const QString &why)
{
    if (m_gaveUp.exchange(true))
        return;
    // No trying again with a broker that cannot be used: the client's thread ends.
    m_wake.notify_all();
    QMetaObject::invokeMethod(
        this, [this, why] { emit failed(why); }, Qt::QueuedConnection);
}

// The callbacks run in the library's thread; what they report is handed to this object's.
void MqttClient::onLog(mosquitto *, void *self, int level, const char *text)
{
    auto *client = static_cast<MqttClient *>(self);
    // The library holds its own locks here: the connection is ended from the event loop.
    if ((level & MOSQ_LOG_ERR) && QByteArrayView(text).startsWith("OpenSSL Error"))
        client->giveUp(client->tlsFailure());
}

void MqttClient::onConnect(mosquitto *mosq, void *self, int code)
{
    auto *client = static_cast<MqttClient *>(self);
    if (code != 0) {
        // Refused by the broker: run() decides whether waiting could change that.
        client->m_refusal = code;
        return;
    }
    client->m_connected = true;
    client->m_acceptedAt.start();
    // What waited on the last connection is published again by the surface, whether the
    // library sends it again or not: the count starts afresh.
    client->m_unacknowledged = 0;
    client->m_lastMoveMs = steadyMs();
    // The log formats a line for every packet, which costs the state's way to the broker
    // time; only its errors before a connection are needed.
    mosquitto_log_callback_set(mosq, nullptr);
    QMetaObject::invokeMethod(
        client, [client] { emit client->connected(); }, Qt::QueuedConnection);
}

void MqttClient::onDisconnect(mosquitto *mosq, void *self, int code)
{
    auto *client = static_cast<MqttClient *>(self);
    // The broker's own reason (MQTT 5 DISCONNECT) comes as a reason code, 0x80 and above;
    // below that it is the library's own MOSQ_ERR_ code.
    if (code >= 0x80)
        client->m_disconnectReason = code;
    const bool was = client->m_connected.exchange(false);
    mosquitto_log_callback_set(mosq, &MqttClient::onLog);
    if (was)
        QMetaObject::invokeMethod(
            client, [client] { emit client->disconnected(); }, Qt::QueuedConnection);
}

void MqttClient::onPublish(mosquitto *, void *self, int)
{
    auto *client = static_cast<MqttClient *>(self);
    client->m_lastMoveMs = steadyMs();
    if (client->m_unacknowledged > 0 && --client->m_unacknowledged == 0)
        QMetaObject::invokeMethod(
            client, [client] { emit client->drained(); }, Qt::QueuedConnection);
}

void MqttClient::onMessage(mosquitto *, void *self, const mosquitto_message *message)
{
    auto *client = static_cast<MqttClient *>(self);
    QByteArray topic(message->topic);
    QByteArray payload(static_cast<const char *>(message->payload), message->payloadlen);
    const bool retained = message->retain;
    QMetaObject::invokeMethod(
        client,
        [client, topic = std::move(topic), payload = std::move(payload), retained] {
            emit client->message(topic, payload, retained);
        },
        Qt::QueuedConnection);
}

bool MqttClient::publish(const QByteArray &topic, const QByteArray &payload, bool retained)
{
    if (!m_connected || isFull())
        return false;
    if (m_unacknowledged++ == 0)
        m_lastMoveMs = steadyMs();
    if (mosquitto_publish(m_mosq, nullptr, topic.constData(), int(payload.size()),
                          payload.constData(), 1, retained) == MOSQ_ERR_SUCCESS)
        return true;
    --m_unacknowledged;
    return false;
}

bool MqttClient::subscribe(const QStringList &filters)
{
    if (!m_connected || filters.isEmpty())
        return false;
    QList<QByteArray> bytes;
    std::vector<char *> pointers;
    for (const QString &filter : filters)
        bytes.append(filter.toUtf8());
    for (QByteArray &filter : bytes)
        pointers.push_back(filter.data());
    return mosquitto_subscribe_multiple(m_mosq, nullptr, int(pointers.size()), pointers.data(), 1,
                                        0, nullptr) == MOSQ_ERR_SUCCESS;
}
