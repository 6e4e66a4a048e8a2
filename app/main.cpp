// SPDX-License-Identifier: MIT
#include "appearance.h"
#include "comportfile.h"
#include "form1.h"
#include "listenaddress.h"
#include "panelcontrol.h"
#include "serialdevices.h"
#include "usersettings.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QLoggingCategory>

#include <cstdio>
#include <memory>
#include <optional>

#ifdef Q_OS_UNIX
#include "demo.h"
#include "ptyhost.h"
#include "terminationsignals.h"
#endif

namespace {

QStringList argumentList(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return arguments;
}

// The usage text names the program; QCommandLineParser can only do that once an application
// object exists, and the command line is read before one does.
QString usage(const QCommandLineParser &parser)
{
    return parser.helpText().replace(QStringLiteral("<executable_name>"),
                                     QCoreApplication::applicationName());
}

int usageError(const QCommandLineParser &parser, const QString &message)
{
    std::fprintf(stderr, "velquor: %s\n\n%s", qPrintable(message), qPrintable(usage(parser)));
    return 2;
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
        std::fprintf(stderr, "velquor: cannot use %s; COMPORT stays in %s\n", qPrintable(folder),
                     qPrintable(QDir::currentPath()));
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

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication::setApplicationName(QStringLiteral("velquor"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELQUOR_VERSION));

    // The command line is read before the window system is reached, so that --help,
    // --version and usage errors work without a display.
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Control panel for a four-input, four-output HDMI matrix switcher "
                       "on an RS-232 line."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption portOption(
        QStringLiteral("port"),
        QStringLiteral("Open DEVICE for COMn (n = 1 to 255), for example COM1=/dev/ttyUSB0 or "
                       "COM2=/dev/serial/by-id/...; DEVICE may also be a serial device server, "
                       "tcp://HOST:PORT (raw) or rfc2217://HOST:PORT (Telnet, sets the line to "
                       "9600 8N1); may be given more than once. Overrides the "
                       "settings file for this run. Unmapped ports open the platform's own COMn "
                       "(/dev/ttyS<n-1> on Linux)."),
        QStringLiteral("COMn=DEVICE"));
    parser.addOption(portOption);
    const QCommandLineOption listPortsOption(
        QStringLiteral("list-ports"),
        QStringLiteral("Print the serial devices found, one a line: stable path, system path, "
                       "description, manufacturer, serial number (tab-separated, \"-\" when "
                       "unknown). Needs no display."));
    parser.addOption(listPortsOption);
    const QCommandLineOption fromMenuOption(
        QStringLiteral("from-menu"),
        QStringLiteral("Keep the COMPORT file in ${XDG_STATE_HOME:-~/.local/state}/velquor/ "
                       "instead of the working directory (the desktop entry passes this)."));
    parser.addOption(fromMenuOption);
    const QCommandLineOption reconnectOption(
        QStringLiteral("reconnect"),
        QStringLiteral("After a lost link (adapter unplugged, server gone), open the same port "
                       "again by itself: every second, every 5 seconds after half a minute. "
                       "Also [connection] reconnect=true in the settings file."));
    parser.addOption(reconnectOption);
    const QCommandLineOption traceOption(
        QStringLiteral("trace"),
        QStringLiteral("Trace every frame written to and every reply read from the serial "
                       "line, as hex, on standard error."));
    parser.addOption(traceOption);
#ifdef Q_OS_UNIX
    const QCommandLineOption demoOption(
        QStringLiteral("demo"),
        QStringLiteral(
            "Run against the built-in emulated matrix: the remembered COM port opens "
            "the emulator's pseudo-terminal, and the window connects to it at start-up."));
    parser.addOption(demoOption);
#endif

    const QCommandLineOption controlOption(
        QStringLiteral("control"),
        QStringLiteral("Take commands from other programs on a control socket: PORT (on "
                       "127.0.0.1), HOST:PORT or unix:PATH. velquor-ctl sends them."),
        QStringLiteral("ADDRESS"));
    parser.addOption(controlOption);
    const QCommandLineOption headlessOption(
        QStringLiteral("headless"),
        QStringLiteral("Run without a window, driven through the control socket only; message "
                       "boxes become lines on standard error. Needs --control."));
    parser.addOption(headlessOption);

    if (!parser.parse(argumentList(argc, argv)))
        return usageError(parser, parser.errorText());
    if (parser.isSet(helpOption) || parser.isSet(QStringLiteral("help-all"))) {
        std::fputs(qPrintable(usage(parser)), stdout);
        return 0;
    }
    if (parser.isSet(versionOption)) {
        std::printf("velquor %s\n", VELQUOR_VERSION);
        return 0;
    }
    if (!parser.positionalArguments().isEmpty())
        return usageError(parser, QStringLiteral("unexpected argument \"%1\"")
                                      .arg(parser.positionalArguments().constFirst()));

    if (parser.isSet(listPortsOption))
        return listPorts();

    // The settings file first, --port over it for this run.
    UserSettings settings;
    settings.load();
    PortMap ports = settings.ports();
    for (const QString &mapping : parser.values(portOption)) {
        QString why;
        if (!ports.addMapping(mapping, &why))
            return usageError(parser, QStringLiteral("invalid --port: %1").arg(why));
    }
    for (const QString &warning : settings.warnings())
        std::fprintf(stderr, "velquor: %s\n", qPrintable(warning));
    if (parser.isSet(fromMenuOption))
        enterMenuDirectory();
    if (parser.isSet(traceOption))
        QLoggingCategory::setFilterRules(QStringLiteral("velquor.serial.debug=true"));

    // The control socket: --control, else listen= in the settings file.
    const bool headless = parser.isSet(headlessOption);
    std::optional<ListenAddress> control;
    if (const ControlChoice choice = controlChoice(parser, controlOption, settings);
        !choice.text.isEmpty()) {
        QString why;
        control = ListenAddress::parse(choice.text, &why);
        if (!control)
            return usageError(parser, QStringLiteral("invalid %1: %2").arg(choice.origin, why));
    }
    if (headless && !control)
        return usageError(parser, QStringLiteral("--headless needs --control (or listen= in the "
                                                 "[control] group of %1)")
                                      .arg(settings.path()));
    if (headless)
        qputenv("QT_QPA_PLATFORM", "offscreen");

    if (!headless && !displayAvailable()) {
        std::fputs("velquor: no display found (DISPLAY is not set); the window cannot be shown\n",
                   stderr);
        return 1;
    }

    QApplication app(argc, argv);
    setUpPanelAppearance();
#ifdef Q_OS_UNIX
    TerminationSignals endSignals;
    QObject::connect(&endSignals, &TerminationSignals::arrived, &app,
                     [] { QCoreApplication::exit(0); });
#endif

#ifdef Q_OS_UNIX
    // The emulator must serve before Form1 exists: start-up opens the port at once.
    std::unique_ptr<PtyHost> emulator;
    if (parser.isSet(demoOption)) {
        emulator = std::make_unique<PtyHost>();
        QString why;
        if (!demo::start(*emulator, ports, &why)) {
            std::fprintf(stderr, "velquor: cannot start the emulated matrix: %s\n",
                         qPrintable(why));
            return 1;
        }
    }
#endif

    Form1 form(ports);
    form.setReconnect(parser.isSet(reconnectOption) || settings.reconnect());
    std::unique_ptr<PanelControl> panelControl;
    std::unique_ptr<ControlServer> controlServer;
    if (control) {
        panelControl = std::make_unique<PanelControl>(form);
        controlServer = std::make_unique<ControlServer>(*panelControl);
        QString why;
        if (!controlServer->listen(*control, &why)) {
            std::fprintf(stderr, "velquor: %s\n", qPrintable(why));
            return 1;
        }
        std::fprintf(stderr, "velquor: control socket on %s\n",
                     qPrintable(controlServer->address().text()));
    }
    if (headless) {
        // What the window would show in a box is one line on standard error; nothing waits.
        form.setMessageReporter([](const QString &title, const QString &text) {
            const QString line =
                title.isEmpty() ? text.trimmed() : title + QStringLiteral(": ") + text.trimmed();
            std::fprintf(stderr, "velquor: %s\n", qPrintable(line));
        });
    }
    form.Form_Load();
#ifdef Q_OS_UNIX
    // A signal that came while start-up's message box was shown ended that box's loop.
    if (endSignals.received() != 0)
        return 0;
#endif
    if (!headless)
        form.show();
    return app.exec();
}
