// SPDX-License-Identifier: MIT
// velquor-ctl: sends one command to the control socket of a running panel and prints the
// answer. "state" is printed as indented JSON; "watch" prints one JSON line for each change,
// and "monitor" one line for each frame and reply on the serial line, until it is interrupted
// or the panel goes away.
//
// Exit status: 0 the panel answered ok; 1 it answered with an error, or no panel listens, or
// the connection broke; 2 the command line is not understood.

#include "controlcommand.h"
#include "listenaddress.h"
#include "usersettings.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QJsonDocument>
#include <QLocalSocket>
#include <QTcpSocket>

#include <cstdio>
#include <memory>

namespace {

constexpr int connectTimeoutMs = 3000;
constexpr int answerTimeoutMs = 10000;

const char description[] =
    "Sends one command to a running velquor panel and prints its answer.\n"
    "The panel must listen on a control socket (velquor --control).\n"
    "\n"
    "Commands:\n"
    "  route OUT|all IN      route input IN (1-4) to output OUT (1-4) or to all\n"
    "  wall IN               choose the video-wall input (1-4)\n"
    "  mode matrix|wall      switch between matrix and video-wall mode\n"
    "  resolution 0-8|CAPTION  choose the output resolution, e.g. 1080P@60\n"
    "  border up|down|left|right  step the picture border\n"
    "  reset                 reset the border\n"
    "  update                ask the device for its state\n"
    "  address auto|A.B.C.D  give the device an automatic or a fixed address\n"
    "  connect               open the serial port\n"
    "  disconnect            close the serial port\n"
    "  state                 print what the window shows, as JSON\n"
    "  watch                 print a JSON line for each change until interrupted\n"
    "  monitor               print each frame written and each reply read on the serial\n"
    "                        line until interrupted: milliseconds since the port opened,\n"
    "                        out/in/echo, hex and meaning, separated by tabs\n"
    "  names                 print the names of the inputs and outputs, as JSON\n"
    "  name in|out N TEXT    name input or output N (1-4); no TEXT clears the name\n"
    "  preset list           print the presets and the active one, as JSON\n"
    "  preset save NAME      keep the routes the window shows as preset NAME\n"
    "  preset recall NAME    bring the routes onto preset NAME\n"
    "  preset delete NAME    delete preset NAME\n"
    "  help                  print the panel's list of commands\n"
    "\n"
    "OUT and IN may be names, as in: route Projector \"Blu-ray\". Each word given\n"
    "is one word of the command, blanks and all; a command given as one argument\n"
    "is sent as it is.\n";

int usageError(const QCommandLineParser &parser, const QString &message)
{
    std::fprintf(stderr, "velquor-ctl: %s\n\n%s", qPrintable(message),
                 qPrintable(parser.helpText()));
    return 2;
}

int failure(const QString &message)
{
    std::fprintf(stderr, "velquor-ctl: %s\n", qPrintable(message));
    return 1;
}

// The connection to the panel, a TCP or a local socket.
std::unique_ptr<QIODevice> connectTo(const ListenAddress &address, QString *why)
{
    if (address.kind == ListenAddress::Kind::Local) {
        auto socket = std::make_unique<QLocalSocket>();
        socket->connectToServer(address.path);
        if (socket->waitForConnected(connectTimeoutMs))
            return socket;
        *why = socket->errorString();
        return nullptr;
    }
    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(address.connectHost(), address.port);
    if (socket->waitForConnected(connectTimeoutMs))
        return socket;
    *why = socket->errorString();
    return nullptr;
}

bool waitForReadyRead(QIODevice &socket, int timeoutMs)
{
    if (auto *local = qobject_cast<QLocalSocket *>(&socket))
        return local->waitForReadyRead(timeoutMs);
    return static_cast<QTcpSocket &>(socket).waitForReadyRead(timeoutMs);
}

// The next line from the panel without its line end; nullopt once the panel has closed the
// connection or nothing came within timeoutMs (-1: wait as long as it takes).
std::optional<QByteArray> readLine(QIODevice &socket, int timeoutMs)
{
    while (!socket.canReadLine()) {
        if (!waitForReadyRead(socket, timeoutMs))
            return std::nullopt;
    }
    return socket.readLine().trimmed();
}

// The options; --help and --version are QCommandLineParser's own.
struct Options
{
    QCommandLineOption help;
    QCommandLineOption version;
    QCommandLineOption control;
};

Options addOptions(QCommandLineParser &parser, const UserSettings &settings)
{
    parser.setApplicationDescription(QString::fromLatin1(description));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption controlOption(
        QStringLiteral("control"),
        QStringLiteral("The panel's control socket: PORT (on 127.0.0.1), HOST:PORT or "
                       "unix:PATH. Without it, listen= in the [control] group of %1.")
            .arg(settings.path()),
        QStringLiteral("ADDRESS"));
    parser.addOption(controlOption);
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("The command."),
                                 QStringLiteral("COMMAND..."));
    // Options stop at the command, so that nothing of the command is read as an option.
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    return {helpOption, versionOption, controlOption};
}

// Reads the arguments; the exit status when the program ends here: --help, --version, or
// a command line that is not understood.
std::optional<int> readOptions(QCommandLineParser &parser, const Options &options)
{
    if (!parser.parse(QCoreApplication::arguments()))
        return usageError(parser, parser.errorText());
    if (parser.isSet(options.help) || parser.isSet(QStringLiteral("help-all"))) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (parser.isSet(options.version)) {
        std::printf("velquor-ctl %s\n", VELQUOR_VERSION);
        return 0;
    }
    return std::nullopt;
}

// The command the words after the options make, as the line that goes to the panel.
std::optional<int> readCommand(const QCommandLineParser &parser, QByteArray &line,
                               ParsedControlCommand &parsed)
{
    QStringList words = parser.positionalArguments();
    if (words.isEmpty())
        return usageError(parser, QStringLiteral("no command given"));
    // A word with blanks is one word of the command ("All on camera" as a preset's name); a
    // whole command in one argument goes as it is.
    if (words.size() > 1) {
        for (QString &word : words)
            word = quotedWord(word);
    }
    line = words.join(QLatin1Char(' ')).toUtf8();
    parsed = parseControlCommand(line);
    if (!parsed.ok) {
        std::fprintf(stderr, "velquor-ctl: %s\n(velquor-ctl --help lists the commands)\n",
                     parsed.error.constData());
        return 2;
    }
    return std::nullopt;
}

// Where the panel listens: --control, else listen= in the settings file.
std::optional<int> readAddress(const QCommandLineParser &parser, const Options &options,
                               const UserSettings &settings, std::optional<ListenAddress> &address)
{
    const QString listen =
        parser.isSet(options.control) ? parser.value(options.control) : settings.controlListen();
    if (listen.isEmpty()) {
        // The file's warnings may say why it gave no address.
        for (const QString &warning : settings.warnings())
            std::fprintf(stderr, "velquor-ctl: %s\n", qPrintable(warning));
        return usageError(parser, QStringLiteral("no panel given: use --control, or set listen= "
                                                 "in the [control] group of %1")
                                      .arg(settings.path()));
    }
    QString why;
    address = ListenAddress::parse(listen, &why);
    if (!address)
        return usageError(parser, QStringLiteral("invalid control socket: %1").arg(why));
    return std::nullopt;
}

// An answer of "ok" or the state: "state" is printed as indented JSON, "watch" and "monitor"
// go on with a line for each change or entry, everything else prints the answer as it came.
int showAnswer(QIODevice &socket, const ControlCommand &command, const QByteArray &answer)
{
    switch (command.action) {
    case ControlCommand::Action::State: {
        const QJsonDocument json = QJsonDocument::fromJson(answer);
        if (!json.isObject())
            return failure(QStringLiteral("the panel's answer is not a JSON object"));
        std::fputs(json.toJson(QJsonDocument::Indented).constData(), stdout);
        return 0;
    }
    case ControlCommand::Action::Watch:
    case ControlCommand::Action::Monitor:
        // One line for each change, handed on at once: the reader may be a script on a pipe.
        while (const std::optional<QByteArray> change = readLine(socket, -1)) {
            std::printf("%s\n", change->constData());
            std::fflush(stdout);
        }
        return failure(QStringLiteral("the panel closed the connection"));
    default:
        std::printf("%s\n", answer.constData());
        return 0;
    }
}

int sendCommand(const ListenAddress &address, const QByteArray &line, const ControlCommand &command)
{
    QString why;
    const std::unique_ptr<QIODevice> socket = connectTo(address, &why);
    if (!socket)
        return failure(QStringLiteral("no panel listening on %1 (%2)").arg(address.text(), why));
    socket->write(line + '\n');

    const std::optional<QByteArray> answer = readLine(*socket, answerTimeoutMs);
    if (!answer)
        return failure(QStringLiteral("no answer from the panel on %1").arg(address.text()));
    if (!answer->startsWith("ok") && !answer->startsWith('{')) {
        std::fprintf(stderr, "velquor-ctl: %s\n", answer->constData());
        return 1;
    }
    return showAnswer(*socket, command, *answer);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velquor-ctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELQUOR_VERSION));

    // The panel's settings file may say where it listens; what else it says is the panel's.
    UserSettings settings;
    settings.load();

    QCommandLineParser parser;
    const Options options = addOptions(parser, settings);
    if (const std::optional<int> status = readOptions(parser, options))
        return *status;
    QByteArray line;
    ParsedControlCommand parsed;
    if (const std::optional<int> status = readCommand(parser, line, parsed))
        return *status;
    std::optional<ListenAddress> address;
    if (const std::optional<int> status = readAddress(parser, options, settings, address))
        return *status;
    return sendCommand(*address, line, parsed.command);
}
