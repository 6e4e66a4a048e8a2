// SPDX-License-Identifier: MIT
#include "mqttdiscovery.h"

#include "presetrules.h"
#include "vocabulary.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace mqtt {

namespace {

class Configs
{
public:
    Configs(const MqttSettings &settings) : m_settings(settings) {}

    QJsonObject device() const
    {
        return {{QStringLiteral("identifiers"), QJsonArray{m_settings.id}},
                {QStringLiteral("name"), QStringLiteral("Velquor panel %1").arg(m_settings.id)},
                {QStringLiteral("model"), QLatin1String(deviceModel)},
                {QStringLiteral("manufacturer"), QStringLiteral("Velquor")},
                {QStringLiteral("sw_version"), QStringLiteral(VELQUOR_VERSION)}};
    }

    // What this program is, in every config, so that Home Assistant can say where an entity
    // comes from.
    static QJsonObject origin()
    {
        return {{QStringLiteral("name"), QStringLiteral("Velquor panel")},
                {QStringLiteral("sw"), QStringLiteral(VELQUOR_VERSION)}};
    }

    // The entity is available while every topic says online: the panel's status, and the
    // further topics given.
    QJsonObject availability(const QStringList &more) const
    {
        QJsonArray topics{QJsonObject{{QStringLiteral("topic"), topic(u"status")}}};
        for (const QString &rest : more)
            topics.append(QJsonObject{{QStringLiteral("topic"), topic(rest)}});
        return {{QStringLiteral("availability"), topics},
                {QStringLiteral("availability_mode"), QStringLiteral("all")},
                {QStringLiteral("payload_available"), QStringLiteral("online")},
                {QStringLiteral("payload_not_available"), QStringLiteral("offline")}};
    }

    QString topic(QStringView rest) const { return m_settings.base + u'/' + rest.toString(); }

    // By default an entity is available while the port is open (link).
    void add(const char *component, const QString &object, const QString &name, QJsonObject config,
             const QStringList &available = {QStringLiteral("link")})
    {
        config.insert(QStringLiteral("name"), name);
        config.insert(QStringLiteral("unique_id"), m_settings.id + u'_' + object);
        config.insert(QStringLiteral("device"), device());
        config.insert(QStringLiteral("o"), origin());
        const QJsonObject availableWhen = availability(available);
        for (auto it = availableWhen.begin(); it != availableWhen.end(); ++it)
            config.insert(it.key(), it.value());
        m_list.append(
            {configTopic(component, object), QJsonDocument(config).toJson(QJsonDocument::Compact)});
    }

    void remove(const char *component, const QString &object)
    {
        m_list.append({configTopic(component, object), {}});
    }

    void addSelect(const QString &object, const QString &name, const QString &stateTopic,
                   const QStringList &options,
                   const QStringList &available = {QStringLiteral("link")})
    {
        add("select", object, name,
            {{QStringLiteral("state_topic"), topic(stateTopic)},
             {QStringLiteral("command_topic"), topic(stateTopic + QStringLiteral("/set"))},
             {QStringLiteral("options"), QJsonArray::fromStringList(options)}},
            available);
    }

    QList<Publication> list() const { return m_list; }

private:
    QByteArray configTopic(const char *component, const QString &object) const
    {
        return (m_settings.discovery + u'/' + QLatin1String(component) + u'/' + m_settings.id +
                u'/' + object + QStringLiteral("/config"))
            .toUtf8();
    }

    const MqttSettings &m_settings;
    QList<Publication> m_list;
};

} // namespace

QList<Publication> discoveryConfigs(const MqttSettings &settings, const PanelState &state,
                                    const QStringList &presets)
{
    Configs configs(settings);
    const QStringList inputs = inputChoices(state);
    for (int o = 0; o < vocabulary::outputCount; ++o) {
        const int output = vocabulary::outputAt(o);
        const QString &name = state.outputs[o].name;
        configs.addSelect(QStringLiteral("output%1").arg(output),
                          name.isEmpty() ? sideCaption(Side::Output, output) : name,
                          QStringLiteral("output/%1/route").arg(output), inputs,
                          {QStringLiteral("link"), QLatin1String(routesAvailable)});
    }
    configs.addSelect(QStringLiteral("mode"), QLatin1String(presets::entity::mode),
                      QStringLiteral("mode"), modeChoices());
    configs.addSelect(QStringLiteral("resolution"), QLatin1String(presets::entity::resolution),
                      QStringLiteral("resolution"), resolutionChoices());
    configs.addSelect(QStringLiteral("wall"), QLatin1String(presets::entity::wall),
                      QStringLiteral("wall"), inputs,
                      {QStringLiteral("link"), QLatin1String(wallAvailable)});
    if (presets.isEmpty())
        configs.remove("select", QStringLiteral("preset"));
    else
        configs.addSelect(QStringLiteral("preset"), QLatin1String(presets::entity::preset),
                          QStringLiteral("preset"), presets);
    configs.add("button", QStringLiteral("update"), QLatin1String(presets::entity::update),
                {{QStringLiteral("command_topic"), configs.topic(u"update/set")},
                 {QStringLiteral("payload_press"), QStringLiteral("PRESS")}});
    configs.add("binary_sensor", QStringLiteral("link"), QLatin1String(presets::entity::link),
                {{QStringLiteral("state_topic"), configs.topic(u"link")},
                 {QStringLiteral("payload_on"), QStringLiteral("online")},
                 {QStringLiteral("payload_off"), QStringLiteral("offline")},
                 {QStringLiteral("device_class"), QStringLiteral("connectivity")},
                 {QStringLiteral("entity_category"), QStringLiteral("diagnostic")}},
                {});
    return configs.list();
}

} // namespace mqtt
