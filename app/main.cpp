#include "appearance.h"
#include "controlsettings.h"
#include "form1.h"
#include "listenaddress.h"
#include "panelcontrol.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QLoggingCategory>

#include <cstdio>
#include <memory>
#include <optional>

#ifdef Q_OS_UNIX
#include "demo.h"
#include "ptyhost.h"
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

// The control socket's address: the command line's, else the settings file's.
struct ControlChoice
{
    QString text;
    QString origin;
};

ControlChoice controlChoice(const QCommandLineParser &parser, const QCommandLineOption &option)
{
    if (parser.isSet(option))
        return {parser.value(option), QStringLiteral("--control")};
    return {
        controlsettings::listen(),
        QStringLiteral("listen= in the [control] group of %1").arg(controlsettings::fileName())};
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
                       "COM2=/dev/serial/by-id/...; may be given more than once. Unmapped ports "
                       "open the platform's own COMn (/dev/ttyS<n-1> on Linux)."),
        QStringLiteral("COMn=DEVICE"));
    parser.addOption(portOption);
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

    PortMap ports;
    for (const QString &mapping : parser.values(portOption)) {
        QString why;
        if (!ports.addMapping(mapping, &why))
            return usageError(parser, QStringLiteral("invalid --port: %1").arg(why));
    }
    if (parser.isSet(traceOption))
        QLoggingCategory::setFilterRules(QStringLiteral("velquor.serial.debug=true"));

    // The control socket: --control, else listen= in the settings file.
    const bool headless = parser.isSet(headlessOption);
    std::optional<ListenAddress> control;
    if (const ControlChoice choice = controlChoice(parser, controlOption); !choice.text.isEmpty()) {
        QString why;
        control = ListenAddress::parse(choice.text, &why);
        if (!control)
            return usageError(parser, QStringLiteral("invalid %1: %2").arg(choice.origin, why));
    }
    if (headless && !control)
        return usageError(parser, QStringLiteral("--headless needs --control (or listen= in the "
                                                 "[control] group of %1)")
                                      .arg(controlsettings::fileName()));
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
    if (!headless)
        form.show();
    return app.exec();
}
