// SPDX-License-Identifier: MIT
#include "console.h"

#include "linenoise.h"

#include <QStringList>

namespace {

// A number first..last, or -1.
int number(const QString &text, int first, int last)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value >= first && value <= last ? value : -1;
}

int resolutionIndex(const QString &text)
{
    const int index = number(text, 0, MatrixModel::resolutionCount - 1);
    if (index >= 0)
        return index;
    for (int i = 0; i < MatrixModel::resolutionCount; ++i) {
        if (text.compare(QLatin1String(vocabulary::resolutionCaption[i]), Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

std::optional<ConsoleCommand> fail(QString *error, const QString &reason)
{
    if (error)
        *error = reason;
    return std::nullopt;
}

using Action = ConsoleCommand::Action;

std::optional<ConsoleCommand> usage(QString *error, const char *form)
{
    return fail(error, QStringLiteral("usage: %1").arg(QLatin1String(form)));
}

bool isWord(const QString &text, const char *word)
{
    return text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

// The commands with arguments. verb is the command word in lower case, words[0] as typed.
using Parse = std::optional<ConsoleCommand> (*)(const QString &verb, const QStringList &words,
                                                QString *error);

std::optional<ConsoleCommand> parseRoute(const QString &, const QStringList &words, QString *error)
{
    if (words.size() != 3)
        return usage(error, "route <output 1-4 | all> <input 1-4>");
    const int output = isWord(words.at(1), "all") ? vocabulary::allOutputs
                                                  : number(words.at(1), 1, vocabulary::outputCount);
    const int input = number(words.at(2), 1, vocabulary::inputCount);
    if (output < 0 || input < 0)
        return usage(error, "route <output 1-4 | all> <input 1-4>");
    return ConsoleCommand{Action::Route, vocabulary::routeRow(output),
                          vocabulary::inputIndex(input)};
}

std::optional<ConsoleCommand> parseDisplay(const QString &verb, const QStringList &words,
                                           QString *error)
{
    const int output = words.size() == 2 ? number(words.at(1), 1, vocabulary::outputCount) : -1;
    if (output < 0)
        return fail(error, QStringLiteral("usage: %1 <output 1-4>").arg(verb));
    return ConsoleCommand{verb == QLatin1String("attach") ? Action::Attach : Action::Detach,
                          vocabulary::outputIndex(output)};
}

std::optional<ConsoleCommand> parseMode(const QString &, const QStringList &words, QString *error)
{
    const bool one = words.size() == 2;
    int mode = one ? number(words.at(1), 0, 1) : -1;
    if (one && isWord(words.at(1), "matrix"))
        mode = 0;
    if (one && isWord(words.at(1), "wall"))
        mode = 1;
    if (mode < 0)
        return usage(error, "mode <0 matrix | 1 wall>");
    return ConsoleCommand{Action::Mode, 0, mode};
}

std::optional<ConsoleCommand> parseResolution(const QString &, const QStringList &words,
                                              QString *error)
{
    const int index = words.size() == 2 ? resolutionIndex(words.at(1)) : -1;
    if (index < 0)
        return usage(error, "resolution <0-8 | 720P@60 ... 1920X1200>");
    return ConsoleCommand{Action::Resolution, 0, index};
}

std::optional<ConsoleCommand> parseWall(const QString &, const QStringList &words, QString *error)
{
    const int input = words.size() == 2 ? number(words.at(1), 1, vocabulary::inputCount) : -1;
    if (input < 0)
        return usage(error, "wall <input 1-4>");
    return ConsoleCommand{Action::Wall, 0, vocabulary::inputIndex(input)};
}

std::optional<ConsoleCommand> parseDelivery(const QString &, const QStringList &words,
                                            QString *error)
{
    const bool one = words.size() == 2;
    QString why;
    const auto delivery = one ? LineDelivery::parse(words.at(1), &why) : std::nullopt;
    if (!delivery)
        return one ? fail(error, why)
                   : usage(error, "delivery <usb | instant | bytes | chunks:N/M>[+gap:MS]");
    ConsoleCommand command{Action::Delivery};
    command.delivery = *delivery;
    return command;
}

// "on" 1, "off" 0, anything else -1.
int onOff(const QString &word)
{
    return isWord(word, "on") ? 1 : isWord(word, "off") ? 0 : -1;
}

std::optional<ConsoleCommand> parseSilence(const QString &, const QStringList &words,
                                           QString *error)
{
    const int on = words.size() == 2 ? onOff(words.at(1)) : -1;
    if (on < 0)
        return usage(error, "silence <on | off>");
    return ConsoleCommand{Action::Silence, 0, on};
}

std::optional<ConsoleCommand> parseJunk(const QString &, const QStringList &words, QString *error)
{
    constexpr int defaultCount = 7;
    if (words.size() == 1)
        return ConsoleCommand{Action::Junk, 0, defaultCount};
    const int on = words.size() == 2 ? onOff(words.at(1)) : -1;
    if (on >= 0)
        return ConsoleCommand{Action::Garble, 0, on};
    const int count = words.size() == 2 ? number(words.at(1), 1, linenoise::maxJunk) : -1;
    if (count < 0)
        return usage(error, "junk [<bytes 1-4096> | on | off]");
    return ConsoleCommand{Action::Junk, 0, count};
}

const struct
{
    const char *name;
    Action action;
} plainCommands[] = {{"state", Action::State},
                     {"hangup", Action::Hangup},
                     {"quit", Action::Quit},
                     {"exit", Action::Quit},
                     {"help", Action::Help}};

const struct
{
    const char *name;
    Parse parse;
} commandsWithArguments[] = {
    {"route", parseRoute},       {"attach", parseDisplay},        {"detach", parseDisplay},
    {"mode", parseMode},         {"resolution", parseResolution}, {"wall", parseWall},
    {"delivery", parseDelivery}, {"silence", parseSilence},       {"junk", parseJunk}};

} // namespace

std::optional<ConsoleCommand> parseConsoleCommand(const QString &line, QString *error)
{
    const QStringList words = line.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty())
        return ConsoleCommand{};

    const QString verb = words.first().toLower();
    for (const auto &entry : plainCommands) {
        if (verb == QLatin1String(entry.name)) {
            if (words.size() != 1)
                return fail(error, QStringLiteral("%1 takes no arguments").arg(verb));
            return ConsoleCommand{entry.action};
        }
    }
    for (const auto &entry : commandsWithArguments) {
        if (verb == QLatin1String(entry.name))
            return entry.parse(verb, words, error);
    }
    return fail(error, QStringLiteral("unknown command \"%1\" (try \"help\")").arg(words.first()));
}

MatrixModel::Replies applyConsoleCommand(MatrixModel &model, const ConsoleCommand &command)
{
    switch (command.action) {
    case Action::Route:
        return model.setRoute(command.output, command.value);
    case Action::Attach:
        return model.setDisplayAttached(command.output, true);
    case Action::Detach:
        return model.setDisplayAttached(command.output, false);
    case Action::Mode:
        return model.setMode(command.value);
    case Action::Resolution:
        return model.setResolution(command.value);
    case Action::Wall:
        return model.setWallInput(command.value);
    case Action::None:
    case Action::Delivery:
    case Action::Silence:
    case Action::Junk:
    case Action::Garble:
    case Action::State:
    case Action::Hangup:
    case Action::Quit:
    case Action::Help:
        break;
    }
    return {};
}

QString consoleHelp()
{
    return QStringLiteral(
        "Commands (outputs and inputs numbered 1-4 as the panel shows them):\n"
        "  route <output|all> <input>  switch an output as another controller would and report it\n"
        "  attach <output>             plug a display into an output (reports s<o><i>)\n"
        "  detach <output>             unplug the display of an output (reports p<o>0)\n"
        "  mode <0|1>                  0 matrix, 1 video wall (reports MD<m>)\n"
        "  resolution <0-8|name>       output resolution, e.g. 8 or 1920X1200 (reports RS<r>)\n"
        "  wall <input>                video-wall input (reports MP<i>)\n"
        "  delivery <how>              how replies reach the panel: usb (line pace, every 16 ms),\n"
        "                              instant, bytes (one at a time at line pace) or\n"
        "                              chunks:N/M (N bytes every M ms); +gap:MS after any of\n"
        "                              them adds a pause after each reply\n"
        "  silence <on|off>            on: nothing the device sends reaches the panel, as with\n"
        "                              a cut wire (it still takes every frame)\n"
        "  junk [<bytes>]              send that many bytes of noise (7 without a number)\n"
        "  junk <on|off>               on: every reply arrives as noise, as from a device at\n"
        "                              another baud rate\n"
        "  state                       print the matrix's state\n"
        "  hangup                      drop the line, then serve a fresh terminal\n"
        "  quit                        end the emulator\n"
        "  help                        this list\n");
}

QString describeState(const MatrixModel &model)
{
    QStringList outputs;
    for (int o = 0; o < MatrixModel::outputCount; ++o) {
        const int output = vocabulary::outputAt(o);
        const int input = vocabulary::inputAt(model.route(o));
        outputs << (model.displayAttached(o)
                        ? QStringLiteral("out%1=IN%2").arg(output).arg(input)
                        : QStringLiteral("out%1=IN%2 (no display)").arg(output).arg(input));
    }
    const auto address = model.fixedAddress();
    const QString addressText = model.addressMode() == MatrixModel::AddressMode::Automatic
                                    ? QStringLiteral("automatic")
                                    : QStringLiteral("fixed %1.%2.%3.%4")
                                          .arg(address[0])
                                          .arg(address[1])
                                          .arg(address[2])
                                          .arg(address[3]);
    return QStringLiteral("routes: %1\n"
                          "mode: %2, resolution: %3, video-wall input: IN%4\n"
                          "address: %5, border: horizontal %6 vertical %7, selected output: %8\n")
        .arg(outputs.join(QLatin1String(", ")),
             model.mode() == 0 ? QStringLiteral("matrix") : QStringLiteral("video wall"),
             QLatin1String(vocabulary::resolutionCaption[model.resolution()]))
        .arg(vocabulary::inputAt(model.wallInput()))
        .arg(addressText)
        .arg(model.borderHorizontal())
        .arg(model.borderVertical())
        .arg(vocabulary::outputAt(model.selectedOutput()));
}
