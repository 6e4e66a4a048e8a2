// SPDX-License-Identifier: MIT
#include "mqttsurface.h"

#include "controlcommand.h"
#include "mqttdiscovery.h"
#include "panelcontrol.h"
#include "panelstate.h"

#include <utility>

using Action = ControlCommand::Action;

namespace {

MqttClient::Will willOf(const MqttSettings &settings)
{
    return {(settings.base + QStringLiteral("/status")).toUtf8(), "offline"};
}

} // namespace

MqttSurface::MqttSurface(PanelControl &control, const MqttSettings &settings, QObject *parent)
    : QObject(parent), m_control(control), m_settings(settings),
      m_client(settings, willOf(settings))
{
    connect(&m_client, &MqttClient::connected, this, &MqttSurface::onConnected);
    connect(&m_client, &MqttClient::disconnected, this, [this] { m_online = false; });
    connect(&m_client, &MqttClient::retrying, this, &MqttSurface::onRetrying);
    connect(&m_client, &MqttClient::failed, this, [this](const QString &why) {
        m_online = false;
        emit warning(QStringLiteral("MQTT is off: %1").arg(why));
        emit off();
    });
    connect(&m_client, &MqttClient::message, this, &MqttSurface::onMessage);
    connect(&m_client, &MqttClient::drained, this, &MqttSurface::onDrained);
    connect(&m_control, &PanelControl::changed, this, &MqttSurface::publishChanges);
    connect(&m_control, &PanelControl::presetsChanged, this, &MqttSurface::publishChanges);
}

MqttSurface::~MqttSurface()
{
    if (m_online)
        m_client.publish(topic("status"), "offline", true);
}

bool MqttSurface::start(QString *why)
{
    return m_client.start(why);
}

QByteArray MqttSurface::topic(const char *rest) const
{
    return m_settings.base.toUtf8() + '/' + rest;
}

void MqttSurface::onRetrying(const QString &why, int seconds, bool anotherClientLikely)
{
    QString line = QStringLiteral("no MQTT connection to %1:%2: %3")
                       .arg(m_settings.host)
                       .arg(m_settings.port)
                       .arg(why);
    // The likely cause is named once; the lines that follow say only when the next try is.
    if (anotherClientLikely && !m_namedTakeover) {
        line += QStringLiteral(" (another client uses the id %1?)").arg(m_settings.id);
        m_namedTakeover = true;
    }
    emit note(line + QStringLiteral("; trying again in %1 s").arg(seconds));
}

void MqttSurface::onConnected()
{
    m_online = true;
    emit note(QStringLiteral("MQTT connected to %1:%2 as %3, topics under %4/")
                  .arg(m_settings.host)
                  .arg(m_settings.port)
                  .arg(m_settings.id, m_settings.base));
    QStringList filters = mqtt::commandFilters(m_settings.base);
    if (!m_settings.discovery.isEmpty())
        filters.append(m_settings.birthTopic);
    m_client.subscribe(filters);
    m_heldConfigs.clear();
    m_heldStates.clear();
    m_republishQueued = false;
    m_saidFull = false;
    publishAll();
}

void MqttSurface::republish()
{
    if (m_republishing) {
        m_republishQueued = true;
        return;
    }
    publishAll();
}

void MqttSurface::onDrained()
{
    m_republishing = false;
    m_saidFull = false;
    for (auto *held : {&m_heldConfigs, &m_heldStates}) {
        const std::map<QByteArray, QByteArray> waiting = std::exchange(*held, {});
        for (const auto &[topic, payload] : waiting)
            publish({topic, payload});
    }
    if (m_republishQueued) {
        m_republishQueued = false;
        publishAll();
    }
}

void MqttSurface::publishAll()
{
    m_published.clear();
    m_configNames.clear();
    m_republishing = true;
    publish({topic("status"), "online"});
    publishChanges();
    emit republished();
}

void MqttSurface::publishChanges()
{
    if (!m_online)
        return;
    const PanelState state = m_control.state();
    if (!m_settings.discovery.isEmpty()) {
        // The configs hold only names: most changes (a route, a colour) leave them as they are.
        const QStringList presets = m_control.presetNames();
        QStringList names = mqtt::inputChoices(state) + presets;
        for (const PanelState::Output &output : state.outputs)
            names.append(output.name);
        if (names != m_configNames) {
            for (const mqtt::Publication &config :
                 mqtt::discoveryConfigs(m_settings, state, presets))
                publish(config);
            m_configNames = names;
        }
    }
    // Until the device has told the panel anything, what the broker holds from before stays:
    // "unknown" is published over nothing the panel knew.
    m_deviceReported = m_deviceReported || mqtt::deviceHasReported(state);
    for (const mqtt::Publication &publication :
         mqtt::statePublications(m_settings.base, state, panelStateJson(state))) {
        if (m_deviceReported || !mqtt::isUnknown(publication.payload))
            publish(publication);
    }
}

void MqttSurface::publish(const mqtt::Publication &publication)
{
    const bool config = !m_settings.discovery.isEmpty() &&
                        publication.topic.startsWith(m_settings.discovery.toUtf8() + '/');
    auto &held = config ? m_heldConfigs : m_heldStates;
    // What is published now replaces what was held back for the topic.
    held.erase(publication.topic);
    const auto found = m_published.find(publication.topic);
    if (found != m_published.end() && found->second == publication.payload)
        return;
    if (m_client.publish(publication.topic, publication.payload, true)) {
        m_published[publication.topic] = publication.payload;
        return;
    }
    if (!m_online || !m_client.isFull())
        return;
    held[publication.topic] = publication.payload;
    if (!std::exchange(m_saidFull, true))
        emit note(QStringLiteral("MQTT: the broker at %1:%2 takes nothing now; the newest state "
                                 "of each topic waits for it")
                      .arg(m_settings.host)
                      .arg(m_settings.port));
}

void MqttSurface::onMessage(const QByteArray &topic, const QByteArray &payload, bool retained)
{
    if (!m_settings.discovery.isEmpty() && topic == m_settings.birthTopic.toUtf8()) {
        // Home Assistant is back: it has forgotten what it was told. A retained "online" came
        // with the subscription, right after everything was published.
        if (payload == "online" && !retained && m_online)
            republish();
        return;
    }
    const mqtt::TopicCommand command = mqtt::readCommand(
        m_settings.base, topic, payload, retained, m_control.state(), m_control.presetNames());
    if (!command.warning.isEmpty()) {
        emit warning(command.warning);
        return;
    }
    if (command.line) {
        m_client.publish(this->topic("command/answer"), answerLine(*command.line), false);
        return;
    }
    const ControlAnswer answer = m_control.execute(*command.command);
    if (answer.isError())
        emit warning(QStringLiteral("%1: the window refused it: %2")
                         .arg(QString::fromUtf8(topic), QString::fromUtf8(answer.line())));
}

QByteArray MqttSurface::answerLine(const QByteArray &line)
{
    auto follow = Action::Help;
    const ControlAnswer answer = runCommandLine(m_control, line, &follow);
    if (follow == Action::Watch || follow == Action::Monitor)
        return "error watch and monitor belong to the control socket; subscribe to " +
               topic("state") + " for the state";
    return answer.line();
}
