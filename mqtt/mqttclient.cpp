// SPDX-License-Identifier: MIT
#include "mqttclient.h"

#include <QMetaObject>

#include <mosquitto.h>

#include <chrono>
#include <mutex>

namespace {

constexpr int keepAliveSeconds = 30;
constexpr unsigned reconnectFirst = 1;
constexpr unsigned reconnectLast = 30;

void initialiseLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

QString connackReason(int code)
{
    return QString::fromUtf8(mosquitto_connack_string(code));
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
    if (m_starter.joinable())
        m_starter.join();
    if (m_mosq && m_looping) {
        // Connected, the loop sends what is queued and the DISCONNECT, then ends; otherwise it
        // may be waiting out a back-off of up to 30 s, and is stopped where it is.
        const bool orderly = m_connected;
        // What was published last (such as "offline" on the status) is taken by the broker
        // before the DISCONNECT, however busy the machine; half a second at most.
        for (int i = 0; orderly && m_unacknowledged > 0 && i < 100; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        mosquitto_disconnect(m_mosq);
        mosquitto_loop_stop(m_mosq, !orderly);
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
    mosquitto_reconnect_delay_set(m_mosq, reconnectFirst, reconnectLast, true);
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
    m_starter = std::thread([this] { connectAndLoop(); });
    return true;
}

void MqttClient::connectAndLoop()
{
    const int rc = mosquitto_connect_async(m_mosq, m_settings.host.toUtf8().constData(),
                                           m_settings.port, keepAliveSeconds);
    // A broker that is down (refused, unreachable) is tried again by the loop; a name that
    // does not resolve, or settings the library refuses, are not.
    if (rc != MOSQ_ERR_SUCCESS && rc != MOSQ_ERR_ERRNO) {
        if (rc == MOSQ_ERR_EAI)
            giveUp(QStringLiteral("cannot find the host %1").arg(m_settings.host));
        else if (rc == MOSQ_ERR_TLS)
            giveUp(tlsFailure());
        else
            giveUp(QString::fromUtf8(mosquitto_strerror(rc)));
        return;
    }
    m_looping = mosquitto_loop_start(m_mosq) == MOSQ_ERR_SUCCESS;
    if (!m_looping)
        giveUp(QStringLiteral("the MQTT thread cannot start"));
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
    // No reconnecting to a broker that cannot be used.
    QMetaObject::invokeMethod(
        this,
        [this, why] {
            mosquitto_disconnect(m_mosq);
            emit failed(why);
        },
        Qt::QueuedConnection);
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
        // Refused by the broker (a wrong password, an id it will not take): trying again
        // every 30 s would change nothing.
        client->giveUp(
            QStringLiteral("the broker refused the connection: %1").arg(connackReason(code)));
        return;
    }
    client->m_connected = true;
    // The log formats a line for every packet, which costs the state's way to the broker
    // time; only its errors before a connection are needed.
    mosquitto_log_callback_set(mosq, nullptr);
    QMetaObject::invokeMethod(
        client, [client] { emit client->connected(); }, Qt::QueuedConnection);
}

void MqttClient::onDisconnect(mosquitto *mosq, void *self, int code)
{
    auto *client = static_cast<MqttClient *>(self);
    const bool was = client->m_connected.exchange(false);
    mosquitto_log_callback_set(mosq, &MqttClient::onLog);
    if (was && code != 0)
        QMetaObject::invokeMethod(
            client, [client] { emit client->disconnected(); }, Qt::QueuedConnection);
}

void MqttClient::onPublish(mosquitto *, void *self, int)
{
    auto *client = static_cast<MqttClient *>(self);
    if (client->m_unacknowledged > 0)
        --client->m_unacknowledged;
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
    if (!m_connected)
        return false;
    ++m_unacknowledged;
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
