// SPDX-License-Identifier: MIT
#include "mqttoutcome.h"

#include <mosquitto.h>

#include <netdb.h>

#include <cstring>

namespace mqtt {

namespace {

// CONNACK codes of MQTT 3.1.1, and the reason codes of MQTT 5 that mean the same.
constexpr int v3ProtocolVersion = 1;
constexpr int v3ServerUnavailable = 3;
constexpr int v5UnsupportedProtocolVersion = 0x84;
constexpr int v5ServerUnavailable = 0x88;
constexpr int v5ServerBusy = 0x89;
constexpr int v5QuotaExceeded = 0x97;
constexpr int v5ConnectionRateExceeded = 0x9F;
constexpr int v5SessionTakenOver = 0x8E;

bool refusedForNow(int refusal, bool mqtt5)
{
    if (!mqtt5)
        return refusal == v3ServerUnavailable;
    return refusal == v5ServerUnavailable || refusal == v5ServerBusy ||
           refusal == v5QuotaExceeded || refusal == v5ConnectionRateExceeded;
}

QString refusalText(int refusal, bool mqtt5)
{
    return QString::fromUtf8(mqtt5 ? mosquitto_reason_string(refusal)
                                   : mosquitto_connack_string(refusal));
}

Outcome ofRefusal(const Failure &f)
{
    if (f.mqtt5 && (f.refusal == v5UnsupportedProtocolVersion || f.refusal == v3ProtocolVersion))
        return {Retry::AtOnceWithMqtt311, QStringLiteral("the broker does not speak MQTT 5")};
    const QString text = refusalText(f.refusal, f.mqtt5);
    if (refusedForNow(f.refusal, f.mqtt5))
        return {Retry::Later,
                QStringLiteral("the broker cannot take the connection now: %1").arg(text)};
    return {Retry::Never, QStringLiteral("the broker refused the connection: %1").arg(text)};
}

Outcome ofLostConnection(const Failure &f)
{
    if (f.disconnect == v5SessionTakenOver)
        return {Retry::Later, QStringLiteral("another client took the session"), true};
    const QString how = f.code == MOSQ_ERR_PROTOCOL || f.code == MOSQ_ERR_MALFORMED_PACKET
                            ? QStringLiteral("the broker sent what is not MQTT")
                        : f.disconnect != 0
                            ? QStringLiteral("the broker ended it: %1")
                                  .arg(QString::fromUtf8(mosquitto_reason_string(f.disconnect)))
                            : QString::fromUtf8(mosquitto_strerror(f.code));
    if (f.upMs < briefConnectionMs)
        return {Retry::Later, QStringLiteral("%1 right after accepting the connection").arg(how),
                true};
    return {Retry::Later, how};
}

} // namespace

Outcome outcomeOf(const Failure &f)
{
    if (f.refusal != 0)
        return ofRefusal(f);
    if (f.accepted)
        return ofLostConnection(f);
    if (f.reached && f.code != MOSQ_ERR_TLS) {
        if (f.code == MOSQ_ERR_PROTOCOL || f.code == MOSQ_ERR_MALFORMED_PACKET)
            return {Retry::Later, QStringLiteral("what answers is not an MQTT broker")};
        return {Retry::Later, QStringLiteral("the connection closed before the broker accepted "
                                             "it (is it an MQTT broker?)")};
    }
    switch (f.code) {
    case MOSQ_ERR_EAI:
        // EAI_AGAIN: the name server did not answer, as before the network is up.
        if (f.error == EAI_AGAIN)
            return {Retry::Later, QStringLiteral("the host's name cannot be looked up now")};
        return {Retry::Never, QStringLiteral("cannot find the host")};
    case MOSQ_ERR_TLS:
        return {Retry::Never, QStringLiteral("no TLS connection")};
    case MOSQ_ERR_ERRNO:
        return {Retry::Later, QString::fromLocal8Bit(strerror(f.error))};
    default:
        return {Retry::Later, QString::fromUtf8(mosquitto_strerror(f.code))};
    }
}

} // namespace mqtt
