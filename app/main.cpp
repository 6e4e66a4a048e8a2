// SPDX-License-Identifier: MIT
#include "appearance.h"
#include "commandline.h"
#include "controlserver.h"
#include "form1.h"
#include "headless.h"
#include "linemonitor.h"
#include "logline.h"
#include "mqttsurface.h"
#include "panelcontrol.h"
#include "panelmodel.h"
#include "phonedialog.h"
#include "servicenotifier.h"
#include "servicestate.h"
#include "usersettings.h"
#include "webaccess.h"
#include "websurface.h"

#include <QApplication>
#include <QFile>
#include <QLoggingCategory>

#include <memory>

#ifdef Q_OS_UNIX
#include "demo.h"
#include "ptyhost.h"
#include "terminationsignals.h"

#include <sys/resource.h>
#endif

namespace {

// The remote surfaces, and the one adapter they all drive the panel model through, made when
// the first of them is started. With a window, commands wait while a dialog of the window
// waits for its operator.
class RemoteSurfaces
{
public:
    RemoteSurfaces(PanelModel &model, Form1 *form) : m_model(model), m_form(form) {}

    PanelControl &adapter()
    {
        if (!m_adapter) {
            m_adapter = std::make_unique<PanelControl>(m_model);
            if (m_form)
                m_adapter->holdWhile([form = m_form] { return form->whyRemoteCommandsWait(); });
        }
        return *m_adapter;
    }

    bool listenForControl(const ListenAddress &address)
    {
        m_control = std::make_unique<ControlServer>(adapter());
        QString why;
        if (!m_control->listen(address, &why)) {
            logline::error(why);
            return false;
        }
        m_listening.append(QStringLiteral("control socket on %1").arg(m_control->address().text()));
        logline::info(m_listening.last());
        return true;
    }

    // The web page: its access key is made at the first start and kept in keyFile, the
    // settings file or the service's state directory; a key the settings file gives holds.
    bool serveWebPage(const ListenAddress &address, bool requireKey, const UserSettings &settings,
                      const QString &keyFile)
    {
        const QString key = webKey(settings, keyFile);
        logline::hide(key);
        m_web = std::make_unique<WebSurface>(adapter(), key, requireKey);
        QObject::connect(m_web.get(), &WebSurface::note, m_web.get(),
                         [](const QString &line) { logline::warning(line); });
        QString why;
        if (!m_web->listen(address.host, address.port, &why)) {
            logline::error(
                QStringLiteral("cannot serve the web page on %1: %2").arg(address.text(), why));
            return false;
        }
        m_listening.append(QStringLiteral("web page on %1").arg(address.text()));
        const QString page = m_web->pageAddress(reachableHost(address.host));
        // The journal never shows the key: it says where the key is kept instead.
        logline::info(QStringLiteral("web page on %1").arg(page) +
                      (logline::toJournal()
                           ? QStringLiteral(" (key= in the [web] group of %1)").arg(keyFile)
                           : QString()));
        if (m_form)
            addOpenOnPhone(*m_form, page);
        return true;
    }

    // Connects in the background: the window goes on whether the broker is there or not.
    // alone: it is the only surface of a panel without a window, which ends (false, or exit
    // status 1 later) when MQTT gives up for good, as nothing could drive it then.
    bool startMqtt(const MqttSettings &settings, bool alone)
    {
        m_mqtt = std::make_unique<MqttSurface>(adapter(), settings);
        const auto say = [](const QString &line) { logline::info(line); };
        const auto warn = [](const QString &line) { logline::warning(line); };
        QObject::connect(m_mqtt.get(), &MqttSurface::warning, m_mqtt.get(), warn);
        QObject::connect(m_mqtt.get(), &MqttSurface::note, m_mqtt.get(), say);
        if (alone)
            QObject::connect(m_mqtt.get(), &MqttSurface::off, m_mqtt.get(), [say] {
                say(QStringLiteral("nothing is left to drive the panel; ending"));
                QCoreApplication::exit(1);
            });
        QString why;
        if (!m_mqtt->start(&why)) {
            warn(QStringLiteral("MQTT is off: %1").arg(why));
            m_mqtt.reset();
            return !alone;
        }
        m_listening.append(QStringLiteral("MQTT to %1:%2").arg(settings.host).arg(settings.port));
        return true;
    }

    // What listens, and where, for the service's status line.
    const QStringList &listening() const { return m_listening; }

private:
    static QString webKey(const UserSettings &settings, const QString &keyFile)
    {
        const QString web = QStringLiteral("web");
        const QString given = settings.surfaceValue(web, QStringLiteral("key"));
        if (keyFile != settings.path() && webaccess::isWellFormedKey(given))
            return given.toLower();
        UserSettings file(keyFile);
        file.load();
        const QString kept = file.surfaceValue(web, QStringLiteral("key"));
        if (webaccess::isWellFormedKey(kept))
            return kept.toLower();
        if (!kept.isEmpty())
            logline::warning(QStringLiteral("key= in the [web] group of %1 is not 32 hex digits; "
                                            "a new key replaces it")
                                 .arg(keyFile));
        const QString key = webaccess::makeKey();
        file.setSurfaceValue(web, QStringLiteral("key"), key);
        QString why;
        if (!file.save(&why))
            logline::warning(
                QStringLiteral("the web page's key holds for this run only: %1").arg(why));
        else if (keyFile != settings.path()) // the state directory's file holds the key alone
            QFile::setPermissions(keyFile, QFile::ReadOwner | QFile::WriteOwner);
        return key;
    }

    PanelModel &m_model;
    Form1 *m_form;
    // Declared first, so that the surfaces that use it go before it.
    std::unique_ptr<PanelControl> m_adapter;
    std::unique_ptr<ControlServer> m_control;
    std::unique_ptr<WebSurface> m_web;
    std::unique_ptr<MqttSurface> m_mqtt;
    QStringList m_listening;
};

#ifdef Q_OS_UNIX
// Each connection of the surfaces holds a descriptor. The soft limit is raised to the hard one,
// as servers do, so that the surfaces' own bounds are what limits them, never the system's.
void raiseDescriptorLimit()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

// --demo: the emulator must serve before Form1 exists, since start-up opens the port at once.
bool startDemo(std::unique_ptr<PtyHost> &emulator, PortMap &ports)
{
    emulator = std::make_unique<PtyHost>();
    QString why;
    if (!demo::start(*emulator, ports, &why)) {
        logline::error(QStringLiteral("cannot start the emulated matrix: %1").arg(why));
        return false;
    }
    return true;
}
#endif

// Qt's HTTP server builds a TLS configuration it never uses; without the TLS backend each says
// so on standard error. Those warnings alone are left out.
QLoggingCategory::CategoryFilter nextLogFilter = nullptr;

void quietMissingTlsBackend()
{
    nextLogFilter = QLoggingCategory::installFilter([](QLoggingCategory *category) {
        if (nextLogFilter)
            nextLogFilter(category);
        if (qstrcmp(category->categoryName(), "qt.network.ssl") == 0)
            category->setEnabled(QtWarningMsg, false);
    });
}

// The service's status line: the port, whether it is connected, and what listens.
QString statusLine(const PanelState &state, const QStringList &listening)
{
    QString port =
        state.port == 0 ? QStringLiteral("no port") : QStringLiteral("COM%1").arg(state.port);
    if (!state.device.isEmpty())
        port += QStringLiteral(" (%1)").arg(state.device);
    const QString link = state.connected    ? QStringLiteral("connected")
                         : state.connecting ? QStringLiteral("connecting")
                                            : QStringLiteral("not connected");
    const QString surfaces =
        listening.isEmpty() ? QStringLiteral("no remote surface") : listening.join(u", ");
    return QStringLiteral("%1 %2; %3").arg(port, link, surfaces);
}

// The application object. Headless needs no display and no platform plugin: no QApplication,
// no widget.
std::unique_ptr<QCoreApplication> makeApplication(int &argc, char **argv, bool headless)
{
    if (!headless) {
        auto app = std::make_unique<QApplication>(argc, argv);
        setUpPanelAppearance();
        return app;
    }
    auto app = std::make_unique<QCoreApplication>(argc, argv);
    // Nor any other Qt plugin: the page is plain HTTP, and Qt's HTTP server would load the TLS
    // backend, and OpenSSL with it (about 4 MiB), for a configuration it never uses.
    QCoreApplication::setLibraryPaths({});
    quietMissingTlsBackend();
    return app;
}

// The remote surfaces the command line and the settings ask for; false when one cannot start.
bool startSurfaces(RemoteSurfaces &surfaces, const RunChoices &run)
{
    if (run.control && !surfaces.listenForControl(*run.control))
        return false;
    const QString keyFile = run.stateDirectory.isEmpty()
                                ? run.settings.path()
                                : servicestate::webKeyFile(run.stateDirectory);
    if (run.web && !surfaces.serveWebPage(*run.web, run.webRequireKey, run.settings, keyFile))
        return false;
    return !run.mqtt || surfaces.startMqtt(*run.mqtt, run.headless && !run.control && !run.web);
}

// The window, or headless the panel model without one, until the event loop ends.
int runPanel(int &argc, char **argv, RunChoices &run)
{
    const std::unique_ptr<QCoreApplication> app = makeApplication(argc, argv, run.headless);
    ServiceNotifier notifier;
#ifdef Q_OS_UNIX
    raiseDescriptorLimit();
    TerminationSignals endSignals;
    QObject::connect(&endSignals, &TerminationSignals::arrived, app.get(), [&notifier] {
        notifier.stopping();
        QCoreApplication::exit(0);
    });
    std::unique_ptr<PtyHost> emulator;
    if (run.demo && !startDemo(emulator, run.ports))
        return 1;
#endif

    // The window makes the model it shows, and its line monitor before start-up opens the port.
    std::unique_ptr<Form1> form;
    std::unique_ptr<PanelModel> modelAlone;
    if (run.headless) {
        modelAlone = std::make_unique<PanelModel>(run.ports);
    } else {
        form = std::make_unique<Form1>(run.ports);
        new LineMonitor(*form);
    }
    PanelModel &model = form ? form->model() : *modelAlone;
    model.setReconnect(run.reconnect);
    if (run.stateDirectory.isEmpty())
        useNamesAndPresets(model.presets(), run.settings);
    else
        servicestate::useNamesAndPresets(model.presets(), run.settings, run.stateDirectory);
    RemoteSurfaces surfaces(model, form.get());
    if (!startSurfaces(surfaces, run))
        return 1;
    // What drives the panel from elsewhere sees the device's state from the start.
    model.setAskStatusOnOpen(run.headless || run.control || run.web || run.mqtt);
    if (form)
        form->Form_Load();
    else
        headless::start(model);
#ifdef Q_OS_UNIX
    // A signal that came while start-up's message box was shown ended that box's loop.
    if (endSignals.received() != 0)
        return 0;
#endif
    // Ready once every surface listens; the device may come later (--reconnect).
    if (notifier.isActive()) {
        PanelControl &adapter = surfaces.adapter();
        notifier.ready(statusLine(adapter.state(), surfaces.listening()));
        QObject::connect(&adapter, &PanelControl::changed, &notifier, [&] {
            notifier.setStatus(statusLine(adapter.state(), surfaces.listening()));
        });
    }
    if (form)
        form->show();
    return app->exec();
}

} // namespace

int main(int argc, char **argv)
{
    logline::setUp();
    QCoreApplication::setApplicationName(QStringLiteral("velquor"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELQUOR_VERSION));

    CommandLine commandLine;
    if (const std::optional<int> status = commandLine.read(argc, argv))
        return *status;
    RunChoices run;
    if (const std::optional<int> status = commandLine.readPortsAndSettings(run))
        return *status;
    if (const std::optional<int> status = commandLine.findMatrix(argc, argv, run))
        return *status;
    if (const std::optional<int> status = commandLine.readWebPage(run))
        return *status;
    if (const std::optional<int> status = commandLine.readMqtt(run))
        return *status;
    if (const std::optional<int> status = commandLine.readControlSocket(run))
        return *status;
    return runPanel(argc, argv, run);
}
