// SPDX-License-Identifier: MIT
#include "panelstate.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QJsonValue numberOrNull(int value)
{
    return value > 0 ? QJsonValue(value) : QJsonValue(QJsonValue::Null);
}

QJsonValue textOrNull(const QString &text)
{
    return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

QJsonArray inputsJson(const std::array<QString, vocabulary::inputCount> &names)
{
    QJsonArray inputs;
    for (int k = 0; k < int(names.size()); ++k)
        inputs.append(QJsonObject{{QStringLiteral("input"), vocabulary::inputAt(k)},
                                  {QStringLiteral("name"), textOrNull(names[k])}});
    return inputs;
}

QString colourName(PanelState::Colour colour)
{
    switch (colour) {
    case PanelState::Colour::Green:
        return QStringLiteral("green");
    case PanelState::Colour::Red:
        return QStringLiteral("red");
    case PanelState::Colour::None:
        break;
    }
    return QStringLiteral("none");
}

} // namespace

QByteArray panelStateJson(const PanelState &state)
{
    QJsonArray outputs;
    for (int o = 0; o < int(state.outputs.size()); ++o) {
        outputs.append(
            QJsonObject{{QStringLiteral("output"), vocabulary::outputAt(o)},
                        {QStringLiteral("colour"), colourName(state.outputs[o].colour)},
                        {QStringLiteral("name"), textOrNull(state.outputs[o].name)},
                        {QStringLiteral("route"), numberOrNull(state.outputs[o].route)}});
    }
    const bool hasPort = state.port > 0;
    const QJsonValue null(QJsonValue::Null);
    QJsonObject object{
        {QStringLiteral("connected"), state.connected},
        {QStringLiteral("port"),
         hasPort ? QJsonValue(QStringLiteral("COM%1").arg(state.port)) : null},
        {QStringLiteral("device"), hasPort ? QJsonValue(state.device) : null},
        {QStringLiteral("mode"), state.mode == 0   ? QJsonValue(QStringLiteral("matrix"))
                                 : state.mode == 1 ? QJsonValue(QStringLiteral("wall"))
                                                   : null},
        {QStringLiteral("wall"), numberOrNull(state.wall)},
        {QStringLiteral("resolution"),
         vocabulary::isResolution(state.resolution)
             ? QJsonValue(QLatin1String(vocabulary::resolutionCaption[state.resolution]))
             : null},
        {QStringLiteral("outputs"), outputs},
        {QStringLiteral("inputs"), inputsJson(state.inputNames)},
        {QStringLiteral("preset"), textOrNull(state.preset)}};
    if (state.connecting)
        object.insert(QStringLiteral("connecting"), true);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray namesJson(const Names &names)
{
    QJsonArray outputs;
    for (int o = 0; o < int(names.outputs.size()); ++o)
        outputs.append(QJsonObject{{QStringLiteral("output"), vocabulary::outputAt(o)},
                                   {QStringLiteral("name"), textOrNull(names.outputs[o])}});
    const QJsonObject object{{QStringLiteral("inputs"), inputsJson(names.inputs)},
                             {QStringLiteral("outputs"), outputs}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray presetListJson(const QList<Preset> &presets, int active)
{
    QJsonArray list;
    for (const Preset &preset : presets) {
        QJsonArray routes;
        for (const int input : preset.routes)
            routes.append(input);
        list.append(
            QJsonObject{{QStringLiteral("name"), preset.name}, {QStringLiteral("routes"), routes}});
    }
    const QJsonObject object{{QStringLiteral("active"), active >= 0 && active < presets.size()
                                                            ? QJsonValue(presets[active].name)
                                                            : QJsonValue(QJsonValue::Null)},
                             {QStringLiteral("presets"), list}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}
