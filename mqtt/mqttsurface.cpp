// SPDX-License-Identifier: MIT
#include "mqttsurface.h"

#include "controlcommand.h"
#include "mqttdiscovery.h"
#include "panelcontrol.h"
#include "panelstate.h"

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
    connect(&m_client, &MqttClient::disconnected, this, [this] {
        m_online = false;
        emit note(QStringLiteral("MQTT connection to %1:%2 lost; reconnecting")
                      .arg(m_settings.host)
                      .arg(m_settings.port));
    });
    connect(&m_client, &MqttClient::failed, this, [this](const QString &why) {
        m_online = false;
        emit warning(QStringLiteral("MQTT is off: %1").arg(why));
    });
    connect(&m_client, &MqttClient::message, this, &MqttSurface::onMessage);
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

void MqttSurface::onConnected()
{
    m_online = true;
    emit note(QStringLiteral("MQTT connected to %1:%2 as %3, topics under %4/")
                  .arg(m_settings.host)
                  .arg(m_settings.port)
                  .arg(m_settings.id, m_settings.base));
    QStringList filters = mqtt::commandFilters(m_settings.base);
    if (!m_settings.discovery.isEmpty())
        filters.append(m_settings.discovery + QStringLiteral("/status"));
    m_client.subscribe(filters);
    publishAll();
}

void MqttSurface::publishAll()
{
    m_published.clear();
    m_configNames.clear();
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
    for (const mqtt::Publication &publication :
         mqtt::statePublications(m_settings.base, state, panelStateJson(state)))
        publish(publication);
}

void MqttSurface::publish(const mqtt::Publication &publication)
{
    const auto found = m_published.find(publication.topic);
    if (found != m_published.end() && found->second == publication.payload)
        return;
    if (m_client.publish(publication.topic, publication.payload, true))
        m_published[publication.topic] = publication.payload;
}

void MqttSurface::onMessage(const QByteArray &topic, const QByteArray &payload, bool retained)
{
    if (!m_settings.discovery.isEmpty() &&
        topic == (m_settings.discovery + QStringLiteral("/status")).toUtf8()) {
        // Home Assistant is back: it has forgotten what it was told. A retained "online" came
        // with the subscription, right after everything was published.
        if (payload == "online" && !retained && m_online)
            publishAll();
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
