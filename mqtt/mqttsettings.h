// SPDX-License-Identifier: MIT
#pragma once

// Where the panel's MQTT surface connects and under which topics it appears, read from
// --mqtt and the settings file's [mqtt] group:
//
//   url       = mqtt://[USER[:PASSWORD]@]HOST[:PORT]   (1883), or mqtts://... for TLS (8883)
//   password  = the password, when the address holds none
//   cafile    = the CA certificates a TLS broker is checked against (else the system's store)
//   id        = the client id and the device's identifier, default velquor-<host name>
//   topic     = the base topic, default velquor/<id>
//   discovery = the Home Assistant discovery prefix, default homeassistant, or off
//   birth_topic = where Home Assistant says it is back (online), default homeassistant/status,
//               whatever the discovery prefix: Home Assistant keeps it unless told otherwise
//
// --mqtt replaces url= for one run; the other keys still apply. A password belongs in
// password=: on the command line every local user can read it in the process list, which
// earns a warning. The base topic and the discovery prefix may not overlap (one equal to or
// under the other), nor may the birth topic lie under the base topic: the panel would read
// its own publications as Home Assistant's and publish again, for ever. Nothing here touches
// the network: the reader only checks that what is written can be used, and no line it
// writes holds a password.

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <optional>

struct MqttSettings
{
    QString host;
    quint16 port = 1883;
    bool tls = false;
    QString cafile; // empty: the system's CA store (with tls)
    QString user;   // empty: none
    QString password;
    QString id;
    QString base;                                                // no trailing '/'
    QString discovery;                                           // empty: off
    QString birthTopic = QStringLiteral("homeassistant/status"); // with discovery on

    bool operator==(const MqttSettings &) const = default;
};

// What the reader was given: the entries as written, and what it needs to know about the file.
struct MqttSources
{
    QString commandLineUrl; // --mqtt; empty when not given
    QString url;            // the settings file's entries, empty when not set
    QString password;
    QString cafile;
    QString id;
    QString topic;
    QString discovery;
    QString birthTopic;
    QString settingsPath;
    bool settingsReadableByOthers = false; // the file's group or others may read it
    QString hostName;                      // this computer's, for the default id
};

struct MqttChoice
{
    std::optional<MqttSettings> settings; // none: no MQTT this run
    QString error;                        // one line, when an address was given and is unusable
    QStringList warnings;                 // one line each
};

// No address anywhere gives no settings and no error.
MqttChoice readMqttSettings(const MqttSources &sources);

// The default id for a host name: "velquor-" and the name, with anything but letters, digits,
// '-' and '_' made '-'.
QString defaultMqttId(const QString &hostName);

// Whether text can be one level or several levels of a topic the panel publishes under: not
// empty, no wildcard (+ #), no NUL, no empty level, not a broker's own ($...), at most 128 bytes.
bool isTopicPrefix(const QString &text);

// Whether one topic is the other or lies under it ("a/b" and "a/b/c", not "a/b" and "a/bc").
bool topicsOverlap(const QString &a, const QString &b);

// The address as it may be shown: any password in it replaced by "***".
QString withoutPassword(const QString &address);
