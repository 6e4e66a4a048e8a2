// SPDX-License-Identifier: MIT
#include "commandline.h"

#include "comportfile.h"
#include "findmatrix.h"
#include "logline.h"
#include "serialdevices.h"
#include "servicestate.h"
#include "webaccess.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSysInfo>
#include <QUrl>

#include <cstdio>

namespace {

QStringList argumentList(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return arguments;
}

// Without a display Qt would abort while starting up; say so in one line instead.
bool displayAvailable()
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    return qEnvironmentVariableIsSet("QT_QPA_PLATFORM") || qEnvironmentVariableIsSet("DISPLAY") ||
           qEnvironmentVariableIsSet("WAYLAND_DISPLAY");
#else
    return true;
#endif
}

// --list-ports: the serial devices found now, one a line.
int listPorts()
{
    for (const SerialDevice &device : findSerialDevices())
        std::printf("%s\n", qPrintable(listingLine(device)));
    return 0;
}

// Started from the menu the working directory is whatever the desktop chose, usually the home
// folder; COMPORT is kept in the program's own state folder instead.
void enterMenuDirectory()
{
    const QString folder = comport::menuDirectory();
    if (!QDir().mkpath(folder) || !QDir::setCurrent(folder))
        logline::warning(
            QStringLiteral("cannot use %1; COMPORT stays in %2").arg(folder, QDir::currentPath()));
}

// The control socket's address: the command line's, else the settings file's.
struct ControlChoice
{
    QString text;
    QString origin;
};

ControlChoice controlChoice(const QCommandLineParser &parser, const QCommandLineOption &option,
                            const UserSettings &settings)
{
    if (parser.isSet(option))
        return {parser.value(option), QStringLiteral("--control")};
    return {settings.controlListen(),
            QStringLiteral("listen= in the [control] group of %1").arg(settings.path())};
}

QCommandLineOption configOption()
{
    return QCommandLineOption(
        QStringLiteral("config"),
        QStringLiteral("Read the settings from FILE instead of the user's settings file, as "
                       "the service velquor@NAME does with /etc/velquor/NAME.conf. An error in "
                       "it ends the program with status 78. Under systemd with a state "
                       "directory, the remembered port, the web page's key and the names and "
                       "presets saved are kept there."),
        QStringLiteral("FILE"));
}

QCommandLineOption portOption()
{
    return QCommandLineOption(
        QStringLiteral("port"),
        QStringLiteral("Open DEVICE for COMn (n = 1 to 255), for example COM1=/dev/ttyUSB0 or "
                       "COM2=/dev/serial/by-id/...; DEVICE may also be a serial device server, "
                       "tcp://HOST:PORT (raw) or rfc2217://HOST:PORT (Telnet, sets the line to "
                       "9600 8N1); may be given more than once. Overrides the "
                       "settings file for this run. Unmapped ports open the platform's own COMn "
                       "(/dev/ttyS<n-1> on Linux)."),
        QStringLiteral("COMn=DEVICE"));
}

QCommandLineOption listPortsOption()
{
    return QCommandLineOption(
        QStringLiteral("list-ports"),
        QStringLiteral("Print the serial devices found, one a line: stable path, system path, "
                       "description, manufacturer, serial number (tab-separated, \"-\" when "
                       "unknown). Needs no display."));
}

QCommandLineOption fromMenuOption()
{
    return QCommandLineOption(
        QStringLiteral("from-menu"),
        QStringLiteral("Keep the COMPORT file in ${XDG_STATE_HOME:-~/.local/state}/velquor/ "
                       "instead of the working directory (the desktop entry passes this)."));
}

QCommandLineOption reconnectOption()
{
    return QCommandLineOption(
        QStringLiteral("reconnect"),
        QStringLiteral("After a lost link (adapter unplugged, server gone), and after start-up "
                       "when the port did not open, open the same port again by itself: every "
                       "second, every 5 seconds after half a minute, until a link has stayed up "
                       "30 s. Also [connection] reconnect=true in the settings file."));
}

QCommandLineOption traceOption()
{
    return QCommandLineOption(
        QStringLiteral("trace"),
        QStringLiteral("Trace every frame written to and every reply read from the serial "
                       "line, as hex, on standard error."));
}

QCommandLineOption demoOption()
{
    return QCommandLineOption(
        QStringLiteral("demo"),
        QStringLiteral(
            "Run against the built-in emulated matrix: the remembered COM port opens "
            "the emulator's pseudo-terminal, and the window connects to it at start-up."));
}

QCommandLineOption findOption()
{
    return QCommandLineOption(
        QStringLiteral("find"),
        QStringLiteral("Find the matrix: ask every serial device found and every device the "
                       "port map names (settings file, --port) whether the matrix answers, all "
                       "at once, writing four bytes (04 55 20 77, a status request) to each; then "
                       "print one line for each, the path, a tab and the verdict. Asks before "
                       "it writes. Exit status 0 when some device answers as a matrix, else 1. "
                       "Needs no display."));
}

QCommandLineOption yesOption()
{
    return QCommandLineOption(QStringLiteral("yes"),
                              QStringLiteral("With --find: write without asking first."));
}

QCommandLineOption controlOption()
{
    return QCommandLineOption(
        QStringLiteral("control"),
        QStringLiteral("Take commands from other programs on a control socket: PORT (on "
                       "127.0.0.1), HOST:PORT or unix:PATH. velquor-ctl sends them."),
        QStringLiteral("ADDRESS"));
}

QCommandLineOption headlessOption()
{
    return QCommandLineOption(
        QStringLiteral("headless"),
        QStringLiteral("Run without a window, driven through the control socket, the web page "
                       "or MQTT only; message boxes become lines on standard error. Needs "
                       "--control, --web or --mqtt."));
}

QCommandLineOption webOption()
{
    return QCommandLineOption(
        QStringLiteral("web"),
        QStringLiteral("Serve the panel as a web page, for a phone or a browser: PORT (on "
                       "127.0.0.1) or HOST:PORT (0.0.0.0:8080 for the phones of this network). "
                       "On any address but a loopback one the page needs the access key: the "
                       "address printed at start carries it, and \"Open on a phone...\" in the "
                       "Switch page's menu shows it as a QR code. Also listen= in the [web] "
                       "group of the settings file; require_key=true asks for the key on "
                       "127.0.0.1 too."),
        QStringLiteral("ADDRESS"));
}

QCommandLineOption mqttOption()
{
    return QCommandLineOption(
        QStringLiteral("mqtt"),
        QStringLiteral("Publish the panel's state on an MQTT broker and take commands there, "
                       "with Home Assistant discovery: mqtt://[USER[:PASSWORD]@]HOST[:PORT] "
                       "(1883) or mqtts://... (TLS, 8883). Overrides url= in the [mqtt] group "
                       "of the settings file, whose password=, cafile=, id=, topic= and "
                       "discovery= still apply."),
        QStringLiteral("URL"));
}

} // namespace

CommandLine::CommandLine()
    : m_help(m_parser.addHelpOption()), m_version(m_parser.addVersionOption()),
      m_config(configOption()), m_port(portOption()), m_listPorts(listPortsOption()),
      m_fromMenu(fromMenuOption()), m_reconnect(reconnectOption()), m_trace(traceOption()),
      m_demo(demoOption()), m_find(findOption()), m_yes(yesOption()), m_control(controlOption()),
      m_headless(headlessOption()), m_web(webOption()), m_mqtt(mqttOption())
{
    m_parser.setApplicationDescription(
        QStringLiteral("Control panel for a four-input, four-output HDMI matrix switcher "
                       "on an RS-232 line."));
    addRunOptions();
    addControlOptions();
}

void CommandLine::addRunOptions()
{
    m_parser.addOption(m_config);
    m_parser.addOption(m_port);
    m_parser.addOption(m_listPorts);
    m_parser.addOption(m_fromMenu);
    m_parser.addOption(m_reconnect);
    m_parser.addOption(m_trace);
#ifdef Q_OS_UNIX
    m_parser.addOption(m_demo);
#endif
    m_parser.addOption(m_find);
    m_parser.addOption(m_yes);
}

void CommandLine::addControlOptions()
{
    m_parser.addOption(m_control);
    m_parser.addOption(m_headless);
    m_parser.addOption(m_web);
    m_parser.addOption(m_mqtt);
}

// The usage text names the program; QCommandLineParser can only do that once an application
// object exists, and the command line is read before one does.
QString CommandLine::usage() const
{
    return m_parser.helpText().replace(QStringLiteral("<executable_name>"),
                                       QCoreApplication::applicationName());
}

int CommandLine::usageError(const QString &message) const
{
    if (logline::toJournal())
        logline::error(message + QStringLiteral("\n\n") + usage().trimmed());
    else
        std::fprintf(stderr, "velquor: %s\n\n%s", qPrintable(message), qPrintable(usage()));
    return 2;
}

int CommandLine::settingsError(const QString &message) const
{
    if (!m_parser.isSet(m_config))
        return usageError(message);
    logline::error(message);
    return configurationError;
}

std::optional<int> CommandLine::read(int argc, char **argv)
{
    if (!m_parser.parse(argumentList(argc, argv)))
        return usageError(m_parser.errorText());
    if (m_parser.isSet(m_help) || m_parser.isSet(QStringLiteral("help-all"))) {
        std::fputs(qPrintable(usage()), stdout);
        return 0;
    }
    if (m_parser.isSet(m_version)) {
        std::printf("velquor %s\n", VELQUOR_VERSION);
        return 0;
    }
    if (!m_parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("unexpected argument \"%1\"")
                              .arg(m_parser.positionalArguments().constFirst()));
    if (m_parser.isSet(m_yes) && !m_parser.isSet(m_find))
        return usageError(QStringLiteral("--yes goes with --find"));
    if (m_parser.isSet(m_listPorts))
        return listPorts();
    return std::nullopt;
}

// Under --config every entry the file holds must be usable: a service whose file has a typo
// stops and says so, where a user's panel leaves the entry out with a warning.
std::optional<int> CommandLine::readSettingsFile(RunChoices &run) const
{
    if (m_parser.isSet(m_config)) {
        // Absolute: the working directory may become the state directory.
        run.settings = UserSettings(QFileInfo(m_parser.value(m_config)).absoluteFilePath());
        run.configured = true;
    }
    run.settings.load();
    if (!run.configured) {
        for (const QString &warning : run.settings.warnings())
            logline::warning(warning);
        return std::nullopt;
    }
    const QFileInfo file(run.settings.path());
    if (!file.isFile() || !file.isReadable()) {
        logline::error(QStringLiteral("cannot read the settings file %1").arg(run.settings.path()));
        return configurationError;
    }
    if (run.settings.warnings().isEmpty())
        return std::nullopt;
    for (const QString &warning : run.settings.warnings())
        logline::error(QString(warning).replace(QStringLiteral(", ignored"), QString()));
    logline::error(QStringLiteral("%1: the panel does not start with errors in its settings")
                       .arg(run.settings.path()));
    return configurationError;
}

std::optional<int> CommandLine::readPortsAndSettings(RunChoices &run) const
{
    if (const std::optional<int> status = readSettingsFile(run))
        return status;
    run.ports = run.settings.ports();
    for (const QString &mapping : m_parser.values(m_port)) {
        QString why;
        if (!run.ports.addMapping(mapping, &why))
            return usageError(QStringLiteral("invalid --port: %1").arg(why));
    }
    if (m_parser.isSet(m_fromMenu))
        enterMenuDirectory();
    run.stateDirectory = servicestate::directory();
    QString why;
    if (!run.stateDirectory.isEmpty() && !servicestate::enter(run.stateDirectory, &why)) {
        logline::error(why);
        return 1;
    }
    if (m_parser.isSet(m_trace))
        QLoggingCategory::setFilterRules(QStringLiteral("velquor.serial.debug=true"));
    run.reconnect = m_parser.isSet(m_reconnect) || run.settings.reconnect();
#ifdef Q_OS_UNIX
    run.demo = m_parser.isSet(m_demo);
#endif
    return std::nullopt;
}

std::optional<int> CommandLine::findMatrix(int &argc, char **argv, const RunChoices &run) const
{
    if (!m_parser.isSet(m_find))
        return std::nullopt;
    return findmatrix::run(argc, argv, run.ports, m_parser.isSet(m_yes));
}

std::optional<int> CommandLine::readControlSocket(RunChoices &run) const
{
    run.headless = m_parser.isSet(m_headless);
    if (const ControlChoice choice = controlChoice(m_parser, m_control, run.settings);
        !choice.text.isEmpty()) {
        QString why;
        run.control = ListenAddress::parse(choice.text, &why);
        if (!run.control) {
            const QString message = QStringLiteral("invalid %1: %2").arg(choice.origin, why);
            return m_parser.isSet(m_control) ? usageError(message) : settingsError(message);
        }
    }
    if (run.headless && !run.control && !run.web && run.mqttAsked && !run.mqtt) {
        // The line above says why MQTT is off; without it nothing would drive the panel.
        std::fputs("velquor: --headless with MQTT off has nothing to drive the panel\n", stderr);
        return 1;
    }
    if (run.headless && !run.control && !run.web && !run.mqttAsked)
        return settingsError(QStringLiteral("--headless needs --control, --web or --mqtt (or "
                                            "listen= in the [control] or [web] group, or url= in "
                                            "[mqtt] of %1)")
                                 .arg(run.settings.path()));
    if (run.headless)
        qputenv("QT_QPA_PLATFORM", "offscreen");

    if (!run.headless && !displayAvailable()) {
        std::fputs("velquor: no display found (DISPLAY is not set); the window cannot be shown\n",
                   stderr);
        return 1;
    }
    return std::nullopt;
}

std::optional<int> CommandLine::readWebPage(RunChoices &run) const
{
    const QString origin =
        m_parser.isSet(m_web)
            ? QStringLiteral("--web")
            : QStringLiteral("listen= in the [web] group of %1").arg(run.settings.path());
    const QString text =
        m_parser.isSet(m_web)
            ? m_parser.value(m_web)
            : run.settings.surfaceValue(QStringLiteral("web"), QStringLiteral("listen"));
    bool ok = true;
    run.webRequireKey = webaccess::readRequireKey(
        run.settings.surfaceValue(QStringLiteral("web"), QStringLiteral("require_key")), &ok);
    if (!ok)
        return settingsError(QStringLiteral("invalid require_key= in the [web] group of %1: "
                                            "true or false")
                                 .arg(run.settings.path()));
    if (text.isEmpty())
        return std::nullopt;
    QString why;
    run.web = ListenAddress::parse(text, &why);
    if (run.web && run.web->kind != ListenAddress::Kind::Tcp) {
        run.web.reset();
        why = QStringLiteral("the web page is served on PORT or HOST:PORT, not on a local "
                             "socket");
    }
    if (!run.web) {
        const QString message = QStringLiteral("invalid %1: %2").arg(origin, why);
        return m_parser.isSet(m_web) ? usageError(message) : settingsError(message);
    }
    return std::nullopt;
}

std::optional<int> CommandLine::readMqtt(RunChoices &run) const
{
    const UserSettings &file = run.settings;
    const auto entry = [&](const char *key) {
        return file.surfaceValue(QStringLiteral("mqtt"), QLatin1String(key));
    };
    MqttSources sources;
    sources.commandLineUrl = m_parser.value(m_mqtt);
    sources.url = entry("url");
    sources.password = entry("password");
    sources.cafile = entry("cafile");
    sources.id = entry("id");
    sources.topic = entry("topic");
    sources.discovery = entry("discovery");
    sources.birthTopic = entry("birth_topic");
    sources.settingsPath = file.path();
    const QFileInfo info(file.path());
    sources.settingsReadableByOthers =
        info.exists() && (info.permissions() & (QFile::ReadGroup | QFile::ReadOther));
    sources.hostName = QSysInfo::machineHostName();
    // Two services on one computer: one id each, after the file (velquor-HOST-hall).
    if (run.configured)
        sources.hostName += QLatin1Char('-') + QFileInfo(file.path()).completeBaseName();

    const MqttChoice choice = readMqttSettings(sources);
    run.mqttAsked = !sources.commandLineUrl.isEmpty() || !sources.url.isEmpty();
    // Never in a line of the journal, even in a message about an address it cannot use.
    logline::hide(sources.password);
    logline::hide(QUrl(sources.url).password());
    logline::hide(QUrl(sources.commandLineUrl).password());
    for (const QString &warning : choice.warnings)
        logline::warning(warning);
    if (!choice.error.isEmpty() && run.configured && sources.commandLineUrl.isEmpty())
        return settingsError(choice.error);
    if (!choice.error.isEmpty())
        logline::warning(choice.error);
    run.mqtt = choice.settings;
    return std::nullopt;
}
