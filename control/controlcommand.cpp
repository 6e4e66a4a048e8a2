// SPDX-License-Identifier: MIT
#include "controlcommand.h"

#include "fixedaddress.h"

#include <QList>
#include <QStringDecoder>

#include <optional>

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

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

using Words = QList<QString>;

// The words of a line: blanks separate them, double quotes hold blanks, \" is a quote and \\ a
// backslash (any other backslash stands for itself). Nothing when a quote is left open.
std::optional<Words> splitWords(QStringView line)
{
    Words words;
    QString word;
    bool inWord = false;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (c == QLatin1Char('\\') && i + 1 < line.size() &&
            (line[i + 1] == QLatin1Char('"') || line[i + 1] == QLatin1Char('\\'))) {
            word += line[++i];
            inWord = true;
        } else if (c == QLatin1Char('"')) {
            quoted = !quoted;
            inWord = true;
        } else if (isBlank(c) && !quoted) {
            if (inWord)
                words.append(std::exchange(word, QString()));
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (quoted)
        return std::nullopt;
    if (inWord)
        words.append(word);
    return words;
}

// "12", "+1", "-3": a word a command reads as a number, which must then be in range.
bool isNumber(const QString &word)
{
    const QStringView digits =
        word.startsWith(QLatin1Char('+')) || word.startsWith(QLatin1Char('-'))
            ? QStringView(word).sliced(1)
            : QStringView(word);
    return !digits.isEmpty() && std::all_of(digits.begin(), digits.end(), [](QChar c) {
        return c >= QLatin1Char('0') && c <= QLatin1Char('9');
    });
}

// A single digit first..last, or -1: "02", "+2" and " 2" are not numbers here.
int digit(const QString &word, int first, int last)
{
    if (word.size() != 1 || word[0] < QLatin1Char('0') || word[0] > QLatin1Char('9'))
        return -1;
    const int value = word[0].unicode() - '0';
    return value >= first && value <= last ? value : -1;
}

bool is(const QString &word, const char *keyword)
{
    return word.compare(QLatin1String(keyword), Qt::CaseInsensitive) == 0;
}

// An output or input where a command takes one: its number first..last, or byName with the
// word as *name; nothing for a number out of range.
std::optional<int> numberOrName(const QString &word, int first, int last, QString *name)
{
    if (!isNumber(word)) {
        *name = word;
        return ControlCommand::byName;
    }
    const int number = digit(word, first, last);
    return number < 0 ? std::nullopt : std::optional<int>(number);
}

// The words after the first skip joined by one blank: a name that is the rest of the line.
QString rest(const Words &words, qsizetype skip)
{
    return words.mid(skip).join(QLatin1Char(' '));
}

const struct
{
    const char *word;
    Action action;
} plainCommands[] = {{"reset", Action::Reset},     {"update", Action::Update},
                     {"connect", Action::Connect}, {"disconnect", Action::Disconnect},
                     {"state", Action::State},     {"watch", Action::Watch},
                     {"monitor", Action::Monitor}, {"help", Action::Help},
                     {"names", Action::Names}};

const struct
{
    const char *word;
    Border border;
} borderWords[] = {
    {"up", Border::Up}, {"down", Border::Down}, {"left", Border::Left}, {"right", Border::Right}};

const struct
{
    const char *word;
    Action action;
} presetWords[] = {{"save", Action::PresetSave},
                   {"recall", Action::PresetRecall},
                   {"delete", Action::PresetDelete}};

QByteArray resolutionUsage()
{
    QByteArray usage = "usage: resolution 0-8|CAPTION (";
    for (int i = 0; i < vocabulary::resolutionCount; ++i)
        usage += QByteArray(i ? " " : "") + vocabulary::resolutionCaption[i];
    return usage + ")";
}

// The commands with arguments; words[0] is the command word. Each refuses with its usage
// what it cannot read.
qsizetype argumentCount(const Words &words)
{
    return words.size() - 1;
}

ParsedControlCommand parseRoute(const Words &words)
{
    ControlCommand command;
    command.action = Action::Route;
    const bool two = argumentCount(words) == 2;
    const std::optional<int> output =
        !two ? std::nullopt
        : is(words[1], "all")
            ? ControlCommand::allOutputs
            : numberOrName(words[1], 1, vocabulary::outputCount, &command.outputName);
    const std::optional<int> input =
        two ? numberOrName(words[2], 1, vocabulary::inputCount, &command.inputName) : std::nullopt;
    if (!output || !input)
        return refuse("usage: route OUT|all IN (OUT and IN 1-4 or a name)");
    command.output = *output;
    command.value = *input;
    return accept(command);
}

ParsedControlCommand parseWall(const Words &words)
{
    ControlCommand command;
    command.action = Action::Wall;
    const std::optional<int> input =
        argumentCount(words) == 1
            ? numberOrName(words[1], 1, vocabulary::inputCount, &command.inputName)
            : std::nullopt;
    if (!input)
        return refuse("usage: wall IN (1-4 or a name)");
    command.value = *input;
    return accept(command);
}

ParsedControlCommand parseMode(const Words &words)
{
    ControlCommand command;
    command.action = Action::Mode;
    if (argumentCount(words) != 1 || (!is(words[1], "matrix") && !is(words[1], "wall")))
        return refuse("usage: mode matrix|wall");
    command.value = is(words[1], "wall") ? 1 : 0;
    return accept(command);
}

ParsedControlCommand parseResolution(const Words &words)
{
    ControlCommand command;
    command.action = Action::Resolution;
    const bool one = argumentCount(words) == 1;
    command.value = one ? digit(words[1], 0, vocabulary::resolutionCount - 1) : -1;
    for (int i = 0; one && command.value < 0 && i < vocabulary::resolutionCount; ++i) {
        if (is(words[1], vocabulary::resolutionCaption[i]))
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
        if (argumentCount(words) == 1 && is(words[1], entry.word)) {
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
    if (one && is(words[1], "auto"))
        return accept(command);
    const auto octets = one ? fixedAddressOctets(words[1]) : std::nullopt;
    if (!octets)
        return refuse("usage: address auto|A.B.C.D (four numbers 0-255)");
    command.automaticAddress = false;
    command.address = *octets;
    return accept(command);
}

// name in|out N TEXT: TEXT is the rest of the line, none to clear the name.
ParsedControlCommand parseName(const Words &words)
{
    ControlCommand command;
    command.action = Action::Name;
    const bool input = argumentCount(words) >= 2 && is(words[1], "in");
    const bool output = argumentCount(words) >= 2 && is(words[1], "out");
    command.side = output ? Side::Output : Side::Input;
    command.value = input || output ? digit(words[2], 1, sideCount(command.side)) : -1;
    if (command.value == -1)
        return refuse("usage: name in|out N TEXT (N 1-4; no TEXT clears the name)");
    command.text = rest(words, 3);
    return accept(command);
}

// preset list, preset save|recall|delete NAME: NAME is the rest of the line.
ParsedControlCommand parsePreset(const Words &words)
{
    ControlCommand command;
    if (argumentCount(words) == 1 && is(words[1], "list")) {
        command.action = Action::PresetList;
        return accept(command);
    }
    for (const auto &entry : presetWords) {
        if (argumentCount(words) >= 2 && is(words[1], entry.word) && !rest(words, 2).isEmpty()) {
            command.action = entry.action;
            command.text = rest(words, 2);
            return accept(command);
        }
    }
    return refuse("usage: preset list|save NAME|recall NAME|delete NAME");
}

const struct
{
    const char *word;
    ParsedControlCommand (*parse)(const Words &words);
} commandsWithArguments[] = {{"route", parseRoute},   {"wall", parseWall},
                             {"mode", parseMode},     {"resolution", parseResolution},
                             {"border", parseBorder}, {"address", parseAddress},
                             {"name", parseName},     {"preset", parsePreset}};

// The line as text: UTF-8 with no control character other than the tab.
std::optional<QString> textOf(QByteArrayView line)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(line);
    if (decoder.hasError())
        return std::nullopt;
    for (const QChar c : text) {
        if (c != QLatin1Char('\t') && (c.category() == QChar::Other_Control ||
                                       c == QChar::LineSeparator || c == QChar::ParagraphSeparator))
            return std::nullopt;
    }
    return text;
}

} // namespace

ParsedControlCommand parseControlCommand(QByteArrayView line)
{
    const std::optional<QString> text = textOf(line);
    if (!text)
        return refuse("not a text command (only UTF-8 text without control characters)");
    const std::optional<Words> split = splitWords(*text);
    if (!split)
        return refuse("a double quote is left open");
    const Words &words = *split;
    if (words.isEmpty() || words.first().isEmpty())
        return refuse("empty command (try help)");
    const QString &verb = words.first();

    for (const auto &plain : plainCommands) {
        if (!is(verb, plain.word))
            continue;
        if (argumentCount(words) != 0)
            return refuse(QByteArray(plain.word) + " takes no arguments");
        ControlCommand command;
        command.action = plain.action;
        return accept(command);
    }
    for (const auto &entry : commandsWithArguments) {
        if (is(verb, entry.word))
            return entry.parse(words);
    }

    // The answer repeats a word of printable ASCII only, and a long one cut, so that it stays
    // one short line.
    const bool ascii = std::all_of(
        verb.begin(), verb.end(), [](QChar c) { return c.unicode() > 0x20 && c.unicode() < 0x7f; });
    if (!ascii)
        return refuse("unknown command (try help)");
    const QByteArray word = verb.toLatin1().toLower();
    const QByteArray shown = word.size() > 32 ? word.left(32) + "..." : word;
    return refuse("unknown command \"" + shown + "\" (try help)");
}

QString quotedWord(const QString &word)
{
    const bool plain = !word.isEmpty() && std::none_of(word.begin(), word.end(), [](QChar c) {
        return isBlank(c) || c == QLatin1Char('"') || c == QLatin1Char('\\');
    });
    if (plain)
        return word;
    QString quoted = word;
    quoted.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    quoted.replace(QLatin1Char('"'), QLatin1String("\\\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QByteArray controlCommandText(const ControlCommand &command)
{
    const QByteArray value = QByteArray::number(command.value);
    const auto output = [&] {
        return command.output == ControlCommand::byName ? quotedWord(command.outputName).toUtf8()
               : command.output == ControlCommand::allOutputs ? QByteArray("all")
                                                              : QByteArray::number(command.output);
    };
    const QByteArray input =
        command.value == ControlCommand::byName ? quotedWord(command.inputName).toUtf8() : value;
    switch (command.action) {
    case Action::Route:
        return "route " + output() + ' ' + input;
    case Action::Wall:
        return "wall " + input;
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
    case Action::Name:
        return QByteArray(command.side == Side::Input ? "name in " : "name out ") + value + ' ' +
               quotedWord(command.text).toUtf8();
    case Action::PresetList:
        return "preset list";
    case Action::PresetSave:
    case Action::PresetRecall:
    case Action::PresetDelete:
        for (const auto &entry : presetWords) {
            if (entry.action == command.action)
                return QByteArray("preset ") + entry.word + ' ' + quotedWord(command.text).toUtf8();
        }
        break;
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
           "disconnect; state; watch; monitor; names; name in|out N TEXT; preset list; "
           "preset save|recall|delete NAME; help (OUT and IN may be names; double quotes "
           "hold blanks)";
}
