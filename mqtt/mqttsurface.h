// SPDX-License-Identifier: MIT
#pragma once

// The panel on an MQTT broker: what the window shows goes out as retained state topics (and,
// with discovery on, the Home Assistant configs that describe them), and commands published to
// the panel's command topics are carried out through the adapter, as the control socket's are
// (mqtttopics.h has the topics, mqttdiscovery.h the configs).
//
// Only what changed is published, configs before the states that use them, so that a renamed
// input is an option before a route shows it. Everything is published again each time the
// connection is made, and when Home Assistant says it is back (online on its birth topic):
// at most one such republish waits for the broker and one more is queued, however many come.
// While the broker has not taken what waits (MqttClient::maxWaiting), only the newest value of
// each topic is kept, and sent when it has.

#include "mqttclient.h"
#include "mqttsettings.h"
#include "mqtttopics.h"

#include <QObject>

#include <map>

class PanelControl;

class MqttSurface : public QObject
{
    Q_OBJECT

public:
    MqttSurface(PanelControl &control, const MqttSettings &settings, QObject *parent = nullptr);
    // Says offline on the status topic before the orderly end.
    ~MqttSurface() override;

    // Starts connecting; false, with *why, when the client cannot start at all.
    bool start(QString *why);
    const MqttSettings &settings() const { return m_settings; }

signals:
    // One line each: a message ignored, a command the window refused, the client giving up.
    void warning(const QString &line);
    // MQTT gave up for good (after its warning): nothing is tried again this run.
    void off();
    // One line each: connected, no connection and when the next try is.
    void note(const QString &line);
    // Every topic has been published since the connection was made (for tests and benches).
    void republished();

private:
    void onConnected();
    void onRetrying(const QString &why, int seconds, bool anotherClientLikely);
    void onMessage(const QByteArray &topic, const QByteArray &payload, bool retained);
    void publishAll();
    // Publishes what differs from what was published last.
    void publishChanges();
    void publish(const mqtt::Publication &publication);
    // The broker took everything: what was held back goes, then a queued republish.
    void onDrained();
    void republish();
    // The answer to a control socket line on <base>/command.
    QByteArray answerLine(const QByteArray &line);
    QByteArray topic(const char *rest) const;

    PanelControl &m_control;
    MqttSettings m_settings;
    MqttClient m_client;
    bool m_online = false;
    bool m_namedTakeover = false;                 // the likely cause of a taken session was named
    std::map<QByteArray, QByteArray> m_published; // retained, by topic, since connected
    // Held back while the client is full, the newest by topic; configs go before states.
    std::map<QByteArray, QByteArray> m_heldConfigs;
    std::map<QByteArray, QByteArray> m_heldStates;
    bool m_republishing = false; // a republish waits for the broker's acknowledgements
    bool m_republishQueued = false;
    bool m_saidFull = false;
    bool m_deviceReported = false; // in this run
    QStringList m_configNames;     // the names the configs were made from, when published
};
