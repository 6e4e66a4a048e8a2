// SPDX-License-Identifier: MIT
#pragma once

// What the MQTT client makes of a connection that failed or ended: try again later, try again
// at once with MQTT 3.1.1 (a broker that does not speak MQTT 5), or never (the broker refuses
// who we are, the host does not exist, its certificate is not trusted). A broker that is down,
// a name server that cannot answer yet, a broker that is busy or sends what is not MQTT are all
// tried again, with a growing wait: a service started before the network is up gets its
// broker back.

#include <QString>
#include <QtGlobal>

namespace mqtt {

enum class Retry { Later, AtOnceWithMqtt311, Never };

struct Outcome
{
    Retry retry = Retry::Later;
    QString why; // one line, without the host
    // The broker let another client with the same id take the session, or closed it right
    // after accepting it, as brokers do when another client takes the id.
    bool anotherClientLikely = false;
};

// What the client knows after a failure:
struct Failure
{
    int code = 0;          // libmosquitto's result of the connect or the loop (MOSQ_ERR_...)
    int error = 0;         // errno after it (with MOSQ_ERR_EAI, getaddrinfo's EAI_... code)
    int refusal = 0;       // the broker's CONNACK code, 0 when it did not refuse
    int disconnect = 0;    // the reason in the broker's DISCONNECT (MQTT 5), 0 when none
    bool mqtt5 = true;     // the connection spoke MQTT 5
    bool reached = false;  // the connection was made (TCP, and TLS when asked)
    bool accepted = false; // the broker had accepted the connection (CONNACK 0)
    qint64 upMs = 0;       // how long it stayed accepted
};

// A connection that ends this soon after the broker accepted it was most likely taken over.
inline constexpr qint64 briefConnectionMs = 5000;

Outcome outcomeOf(const Failure &failure);

} // namespace mqtt
