// SPDX-License-Identifier: MIT
#include "controlcommand.h"

#include "fixedaddress.h"

#include <QList>

namespace {

using Action = ControlCommand::Action;
using Border = ControlCommand::Border;

ParsedControlCommand refuse(QByteArray reason)
{
    ParsedControlCommand parsed;
    parsed.error = std::move(reason);
    return parsed;
}

ParsedControlCommand accept(const ControlCommand &command)
{
    ParsedControlCommand parsed;
    parsed.ok = true;
    parsed.command = command;
    return parsed;
}

// A single digit first..last, or -1: "02", "+2" and " 2" are not numbers here.
int digit(const QByteArray &word, int first, int last)
{
    if (word.size() != 1 || word[0] < '0' || word[0] > '9')
        return -1;
    const int value = word[0] - '0';
    return value >= first && value <= last ? value : -1;
}

const struct
{
    const char *word;
    Action action;
} plainCommands[] = {{"reset", Action::Reset},     {"update", Action::Update},
                     {"connect", Action::Connect}, {"disconnect", Action::Disconnect},
                     {"state", Action::State},     {"watch", Action::Watch},
                     {"monitor", Action::Monitor}, {"help", Action::Help}};

const struct
{
    const char *word;
    Border border;
} borderWords[] = {
    {"up", Border::Up}, {"down", Border::Down}, {"left", Border::Left}, {"right", Border::Right}};

QByteArray resolutionUsage()
{
    QByteArray usage = "usage: resolution 0-8|CAPTION (";
    for (int i = 0; i < vocabulary::resolutionCount; ++i)
        usage += QByteArray(i ? " " : "") + vocabulary::resolutionCaption[i];
    return usage + ")";
}

// The commands with arguments; words[0] is the command word. Each refuses with its usage
// what it cannot read.
using Words = QList<QByteArray>;

qsizetype argumentCount(const Words &words)
{
    return words.size() - 1;
}

ParsedControlCommand parseRoute(const Words &words)
{
    ControlCommand command;
    command.action = Action::Route;
    command.output = argumentCount(words) == 2 && words[1] == "all"
                         ? ControlCommand::allOutputs
                         : digit(words.value(1), 1, vocabulary::outputCount);
    command.value = digit(words.value(2), 1, vocabulary::inputCount);
    if (argumentCount(words) != 2 || command.output < 0 || command.value < 0)
        return refuse("usage: route OUT|all IN (OUT and IN 1-4)");
    return accept(command);
}

ParsedControlCommand parseWall(const Words &words)
{
    ControlCommand command;
    command.action = Action::Wall;
    command.value = digit(words.value(1), 1, vocabulary::inputCount);
    if (argumentCount(words) != 1 || command.value < 0)
        return refuse("usage: wall IN (1-4)");
    return accept(command);
}

ParsedControlCommand parseMode(const Words &words)
{
    ControlCommand command;
    command.action = Action::Mode;
    if (argumentCount(words) != 1 || (words[1] != "matrix" && words[1] != "wall"))
        return refuse("usage: mode matrix|wall");
    command.value = words[1] == "wall" ? 1 : 0;
    return accept(command);
}

ParsedControlCommand parseResolution(const Words &words)
{
    ControlCommand command;
    command.action = Action::Resolution;
    const bool one = argumentCount(words) == 1;
    command.value = one ? digit(words[1], 0, vocabulary::resolutionCount - 1) : -1;
    for (int i = 0; one && command.value < 0 && i < vocabulary::resolutionCount; ++i) {
        if (words[1] == QByteArray(vocabulary::resolutionCaption[i]).toLower())
            command.value = i;
    }
    if (command.value < 0)
        return refuse(resolutionUsage());
    return accept(command);
}

ParsedControlCommand parseBorder(const Words &words)
{
    ControlCommand command;
    command.action = Action::Border;
    for (const auto &entry : borderWords) {
        if (argumentCount(words) == 1 && words[1] == entry.word) {
            command.border = entry.border;
            return accept(command);
        }
    }
    return refuse("usage: border up|down|left|right");
}

ParsedControlCommand parseAddress(const Words &words)
{
    ControlCommand command;
    command.action = Action::Address;
    const bool one = argumentCount(words) == 1;
    if (one && words[1] == "auto")
        return accept(command);
    const auto octets = one ? fixedAddressOctets(QString::fromLatin1(words[1])) : std::nullopt;
    if (!octets)
        return refuse("usage: address auto|A.B.C.D (four numbers 0-255)");
    command.automaticAddress = false;
    command.address = *octets;
    return accept(command);
}

const struct
{
    const char *word;
    ParsedControlCommand (*parse)(const Words &words);
} commandsWithArguments[] = {{"route", parseRoute},   {"wall", parseWall},
                             {"mode", parseMode},     {"resolution", parseResolution},
                             {"border", parseBorder}, {"address", parseAddress}};

} // namespace

ParsedControlCommand parseControlCommand(QByteArrayView line)
{
    for (const char c : line) {
        if ((c < 0x20 || c > 0x7e) && c != '\t')
            return refuse("not a text command (only printable ASCII)");
    }
    const Words words = line.toByteArray().toLower().simplified().split(' ');
    const QByteArray &verb = words.first();
    if (verb.isEmpty())
        return refuse("empty command (try help)");

    for (const auto &plain : plainCommands) {
        if (verb != plain.word)
            continue;
        if (argumentCount(words) != 0)
            return refuse(verb + " takes no arguments");
        ControlCommand command;
        command.action = plain.action;
        return accept(command);
    }
    for (const auto &entry : commandsWithArguments) {
        if (verb == entry.word)
            return entry.parse(words);
    }

    // The word is printable ASCII; a long one is cut so the answer stays short.
    const QByteArray shown = verb.size() > 32 ? verb.left(32) + "..." : verb;
    return refuse("unknown command \"" + shown + "\" (try help)");
}

QByteArray controlCommandText(const ControlCommand &command)
{
    const QByteArray value = QByteArray::number(command.value);
    switch (command.action) {
    case Action::Route:
        return "route " +
               (command.output == ControlCommand::allOutputs ? QByteArray("all")
                                                             : QByteArray::number(command.output)) +
               ' ' + value;
    case Action::Wall:
        return "wall " + value;
    case Action::Mode:
        return command.value == 1 ? "mode wall" : "mode matrix";
    case Action::Resolution:
        return "resolution " + value;
    case Action::Border:
        for (const auto &entry : borderWords) {
            if (entry.border == command.border)
                return QByteArray("border ") + entry.word;
        }
        break;
    case Action::Address: {
        if (command.automaticAddress)
            return "address auto";
        QByteArray text = "address ";
        for (int i = 0; i < 4; ++i)
            text += (i ? "." : "") + QByteArray::number(command.address[i]);
        return text;
    }
    default:
        for (const auto &plain : plainCommands) {
            if (plain.action == command.action)
                return plain.word;
        }
    }
    return {};
}

QByteArray controlCommandSummary()
{
    return "route OUT|all IN; wall IN; mode matrix|wall; resolution 0-8|CAPTION; "
           "border up|down|left|right; reset; update; address auto|A.B.C.D; connect; "
           "disconnect; state; watch; monitor; help";
}
