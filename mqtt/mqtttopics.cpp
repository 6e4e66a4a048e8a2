// SPDX-License-Identifier: MIT
#include "mqtttopics.h"

#include "presetrules.h"
#include "vocabulary.h"

#include <QStringDecoder>

namespace mqtt {

namespace {

using Action = ControlCommand::Action;

QByteArray orNone(const QString &text)
{
    return text.isEmpty() ? QByteArray(none) : text.toUtf8();
}

QString inputChoice(const PanelState &state, int input)
{
    const QString &name = state.inputNames[vocabulary::inputIndex(input)];
    return name.isEmpty() ? sideCaption(Side::Input, input) : name;
}

QByteArray reported(PanelState::Colour colour)
{
    switch (colour) {
    case PanelState::Colour::Green:
        return "on";
    case PanelState::Colour::Red:
        return "off";
    case PanelState::Colour::None:
        break;
    }
    return "unknown";
}

// For a warning line: control characters shown as '?', at most 80 characters.
QString shown(const QString &text)
{
    QString line = text.left(80);
    for (QChar &c : line) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            c = u'?';
    }
    return text.size() > 80 ? line + QStringLiteral("...") : line;
}

// An input by its name, IN<k> or k; 0 when the text is none of them.
int inputOf(const PanelState &state, const QString &text)
{
    Names names;
    names.inputs = state.inputNames;
    if (const int byName = findName(names, Side::Input, text))
        return byName;
    for (int k = 1; k <= vocabulary::inputCount; ++k) {
        if (text.compare(sideCaption(Side::Input, k), Qt::CaseInsensitive) == 0 ||
            text == QString::number(k))
            return k;
    }
    return 0;
}

int modeOf(const QString &text)
{
    return int(modeChoices().indexOf(text.toLower()));
}

int resolutionOf(const QString &text)
{
    for (int i = 0; i < vocabulary::resolutionCount; ++i) {
        if (text.compare(QLatin1String(vocabulary::resolutionCaption[i]), Qt::CaseInsensitive) ==
                0 ||
            text == QString::number(i))
            return i;
    }
    return -1;
}

ControlCommand commandOf(Action action, int value, int output = 0)
{
    ControlCommand command;
    command.action = action;
    command.value = value;
    command.output = output;
    return command;
}

// The output n of "output/<n>/route/set", 0 when the level is no output.
int outputOfLevel(QStringView level)
{
    // Only the ASCII digits: a full-width "１" is no output number here.
    if (level.size() != 1 || level[0] < u'0' || level[0] > u'9')
        return 0;
    const int output = level[0].digitValue();
    return vocabulary::isOutput(output) ? output : 0;
}

} // namespace

QStringList inputChoices(const PanelState &state)
{
    QStringList choices;
    for (int k = 1; k <= vocabulary::inputCount; ++k)
        choices.append(inputChoice(state, k));
    return choices;
}

QStringList modeChoices()
{
    return {QStringLiteral("matrix"), QStringLiteral("wall")};
}

QStringList resolutionChoices()
{
    QStringList choices;
    for (const char *caption : vocabulary::resolutionCaption)
        choices.append(QLatin1String(caption));
    return choices;
}

bool deviceHasReported(const PanelState &state)
{
    for (const PanelState::Output &output : state.outputs) {
        if (output.colour != PanelState::Colour::None || output.route > 0)
            return true;
    }
    return state.mode >= 0 || state.wall > 0 || vocabulary::isResolution(state.resolution);
}

bool isUnknown(const QByteArray &payload)
{
    return payload == none || payload == "unknown";
}

QList<Publication> statePublications(const QString &base, const PanelState &state,
                                     const QByteArray &json)
{
    const QByteArray b = base.toUtf8();
    QList<Publication> list;
    list.append({b + "/link", state.connected ? "online" : "offline"});
    for (int o = 0; o < vocabulary::outputCount; ++o) {
        const QByteArray output = b + "/output/" + QByteArray::number(vocabulary::outputAt(o));
        const int route = state.outputs[o].route;
        list.append(
            {output + "/route", route > 0 ? inputChoice(state, route).toUtf8() : QByteArray(none)});
        list.append({output + "/reported", reported(state.outputs[o].colour)});
    }
    list.append({b + "/mode",
                 state.mode >= 0 ? modeChoices().value(state.mode).toUtf8() : QByteArray(none)});
    list.append(
        {b + "/resolution", vocabulary::isResolution(state.resolution)
                                ? QByteArray(vocabulary::resolutionCaption[state.resolution])
                                : QByteArray(none)});
    list.append(
        {b + "/wall", state.wall > 0 ? inputChoice(state, state.wall).toUtf8() : QByteArray(none)});
    // A mode not reported yet leaves both choices open.
    const int mode = state.mode;
    const auto available = [](bool yes) { return QByteArray(yes ? "online" : "offline"); };
    list.append({b + '/' + routesAvailable, available(modeChoices().value(mode) != u"wall")});
    list.append({b + '/' + wallAvailable, available(modeChoices().value(mode) != u"matrix")});
    list.append({b + "/preset", orNone(state.preset)});
    list.append({b + "/state", json});
    return list;
}

QStringList commandFilters(const QString &base)
{
    QStringList filters{base + QStringLiteral("/output/+/route/set"),
                        base + QStringLiteral("/command")};
    for (const char *topic : {"mode", "resolution", "wall", "preset", "update"})
        filters.append(base + u'/' + QLatin1String(topic) + QStringLiteral("/set"));
    return filters;
}

namespace {

// Why a command's payload is not carried out (a retained message, too long, not UTF-8 text);
// empty when it may be, with value set to its text without the blanks around it.
QString refusalOfPayload(const QByteArray &payload, bool retained, QString &value)
{
    if (retained)
        return QStringLiteral("a retained command is stale; commands are not retained");
    if (payload.size() > maxPayload)
        return QStringLiteral("%1 bytes, more than %2").arg(payload.size()).arg(maxPayload);
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder(payload);
    if (decoder.hasError() || text.contains(QChar(0)))
        return QStringLiteral("the payload is not UTF-8 text");
    value = text.trimmed();
    return {};
}

// The preset of that name in any case, as the presets spell it; empty when there is none.
QString presetNamed(const QStringList &presets, const QString &name)
{
    if (name.isEmpty())
        return {};
    const auto found = std::find_if(presets.cbegin(), presets.cend(), [&](const QString &preset) {
        return preset.compare(name, Qt::CaseInsensitive) == 0;
    });
    return found == presets.cend() ? QString() : *found;
}

} // namespace

namespace {

// The command a value on a command topic (rest: the topic without the base) asks for, or why
// it asks for none.
struct Choice
{
    std::optional<ControlCommand> command;
    QString why;
};

Choice choiceOf(const QString &rest, const QString &value, const PanelState &state,
                const QStringList &presets)
{
    const auto noChoice = [&](const QStringList &choices) {
        return Choice{
            std::nullopt,
            QStringLiteral("\"%1\" is none of %2").arg(shown(value), shown(choices.join(u", ")))};
    };
    if (rest == u"update/set")
        return {commandOf(Action::Update, 0), {}};
    if (rest == u"mode/set") {
        const int mode = modeOf(value);
        return mode < 0 ? noChoice(modeChoices()) : Choice{commandOf(Action::Mode, mode), {}};
    }
    if (rest == u"resolution/set") {
        const int resolution = resolutionOf(value);
        return resolution < 0 ? noChoice(resolutionChoices())
                              : Choice{commandOf(Action::Resolution, resolution), {}};
    }
    if (rest == u"wall/set") {
        const int input = inputOf(state, value);
        return input == 0 ? noChoice(inputChoices(state))
                          : Choice{commandOf(Action::Wall, input), {}};
    }
    if (rest == u"preset/set") {
        const QString preset = presetNamed(presets, value);
        if (preset.isEmpty())
            return presets.isEmpty() ? Choice{std::nullopt, QStringLiteral("there are no presets")}
                                     : noChoice(presets);
        Choice choice{commandOf(Action::PresetRecall, 0), {}};
        choice.command->text = preset;
        return choice;
    }
    const QStringList levels = rest.split(u'/');
    const int output = levels.size() == 4 ? outputOfLevel(levels[1]) : 0;
    if (output == 0 || levels[0] != u"output" || levels[2] != u"route" || levels[3] != u"set")
        return {std::nullopt, QStringLiteral("no such command topic")};
    const int input = inputOf(state, value);
    return input == 0 ? noChoice(inputChoices(state))
                      : Choice{commandOf(Action::Route, input, output), {}};
}

} // namespace

TopicCommand readCommand(const QString &base, const QByteArray &topic, const QByteArray &payload,
                         bool retained, const PanelState &state, const QStringList &presets)
{
    TopicCommand result;
    const QString where = QString::fromUtf8(topic);
    if (!where.startsWith(base + u'/')) {
        result.warning = QStringLiteral("ignored %1: not a topic of this panel").arg(shown(where));
        return result;
    }
    const QString rest = where.mid(base.size() + 1);
    QString value;
    QString why = refusalOfPayload(payload, retained, value);
    if (why.isEmpty() && rest == u"command") {
        result.line = payload;
        return result;
    }
    if (why.isEmpty()) {
        Choice choice = choiceOf(rest, value, state, presets);
        result.command = std::move(choice.command);
        why = choice.why;
    }
    if (!why.isEmpty())
        result.warning = QStringLiteral("ignored %1: %2").arg(shown(where), why);
    return result;
}

} // namespace mqtt
