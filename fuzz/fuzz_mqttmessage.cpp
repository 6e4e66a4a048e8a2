// SPDX-License-Identifier: MIT
// What arrives from an MQTT broker: a message on one of the panel's command topics, and the
// broker's address as typed into the settings file.
//
// The first byte picks the topic (one of the command topics, or the rest of the input as a
// topic of its own) and whether the message was retained; the rest is the payload. Checked:
// a message is either ignored with a warning of one line, or carried out as exactly one
// command or control line and never both; a retained message and a payload over the limit or
// not UTF-8 are never carried out; a command names an option the window has (an input 1..4,
// an output 1..4, a mode, a resolution, a preset given); the address reader either refuses
// with one line or gives a host, and a base topic without wildcards.

#include "mqttsettings.h"
#include "mqtttopics.h"
#include "vocabulary.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

const char *const topics[] = {
    "output/1/route/set", "output/4/route/set", "mode/set",   "resolution/set",
    "wall/set",           "preset/set",         "update/set", "command"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const unsigned pick = data[0];
    const QByteArray payload(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    const bool retained = pick & 0x80;
    const unsigned which = pick & 0x0F;
    const QString base = QStringLiteral("velquor/fuzz");
    const QByteArray topic = which < std::size(topics) ? base.toUtf8() + '/' + topics[which]
                                                       : base.toUtf8() + '/' + payload.left(40);

    PanelState state;
    state.inputNames[2] = QStringLiteral("Camera");
    const mqtt::TopicCommand read =
        mqtt::readCommand(base, topic, payload, retained, state, {QStringLiteral("Lecture")});
    const int outcomes =
        int(!read.warning.isEmpty()) + int(read.command.has_value()) + int(read.line.has_value());
    require(outcomes == 1);
    require(!read.warning.contains(u'\n') && !read.warning.contains(u'\r'));
    if (read.warning.isEmpty()) {
        require(!retained && payload.size() <= mqtt::maxPayload);
        require(QString::fromUtf8(payload).toUtf8() == payload);
    }
    if (read.line)
        require(*read.line == payload);
    if (const auto &c = read.command) {
        using Action = ControlCommand::Action;
        switch (c->action) {
        case Action::Route:
            require(vocabulary::isOutput(c->output) && vocabulary::isInput(c->value));
            break;
        case Action::Wall:
            require(vocabulary::isInput(c->value));
            break;
        case Action::Mode:
            require(c->value == 0 || c->value == 1);
            break;
        case Action::Resolution:
            require(vocabulary::isResolution(c->value));
            break;
        case Action::PresetRecall:
            require(c->text == QStringLiteral("Lecture"));
            break;
        case Action::Update:
            break;
        default:
            require(false);
        }
    }

    MqttSources sources;
    sources.url = QString::fromUtf8(payload);
    sources.topic = QString::fromUtf8(payload.left(20));
    sources.hostName = QStringLiteral("fuzz");
    const MqttChoice choice = readMqttSettings(sources);
    require(choice.settings.has_value() != !choice.error.isEmpty() ||
            (sources.url.isEmpty() && !choice.settings && choice.error.isEmpty()));
    if (choice.settings) {
        require(!choice.settings->host.isEmpty() && choice.settings->port > 0);
        require(isTopicPrefix(choice.settings->base));
    }
    return 0;
}
