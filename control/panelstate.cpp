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
        {QStringLiteral("outputs"), outputs}};
    if (state.connecting)
        object.insert(QStringLiteral("connecting"), true);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}
