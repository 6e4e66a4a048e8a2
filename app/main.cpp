// SPDX-License-Identifier: MIT
#include "appearance.h"
#include "commandline.h"
#include "form1.h"
#include "linemonitor.h"
#include "mqttsurface.h"
#include "panelcontrol.h"
#include "phonedialog.h"
#include "usersettings.h"
#include "webaccess.h"
#include "websurface.h"

#include <QApplication>

#include <cstdio>
#include <memory>

#ifdef Q_OS_UNIX
#include "demo.h"
#include "ptyhost.h"
#include "terminationsignals.h"
#endif

namespace {

// The remote surfaces, and the one adapter they all drive the window through, made when the
// first of them is started.
class RemoteSurfaces
{
public:
    RemoteSurfaces(Form1 &form, const LineLog &lineLog) : m_form(form), m_lineLog(lineLog) {}

    PanelControl &adapter()
    {
        if (!m_adapter) {
            m_adapter = std::make_unique<PanelControl>(m_form);
            m_adapter->followLine(m_lineLog);
        }
        return *m_adapter;
    }

    bool listenForControl(const ListenAddress &address)
    {
        m_control = std::make_unique<ControlServer>(adapter());
        QString why;
        if (!m_control->listen(address, &why)) {
            std::fprintf(stderr, "velquor: %s\n", qPrintable(why));
            return false;
        }
        std::fprintf(stderr, "velquor: control socket on %s\n",
                     qPrintable(m_control->address().text()));
        return true;
    }

    // The web page: its access key is made at the first start and kept in the settings file.
    bool serveWebPage(const ListenAddress &address, bool requireKey, const QString &settingsPath)
    {
        const QString key = webKey(settingsPath);
        m_web = std::make_unique<WebSurface>(adapter(), key, requireKey);
        QString why;
        if (!m_web->listen(address.host, address.port, &why)) {
            std::fprintf(stderr, "velquor: cannot serve the web page on %s: %s\n",
                         qPrintable(address.text()), qPrintable(why));
            return false;
        }
        const QString page = m_web->pageAddress(reachableHost(address.host));
        std::fprintf(stderr, "velquor: web page on %s\n", qPrintable(page));
        addOpenOnPhone(m_form, page);
        return true;
    }

    // Connects in the background: the window goes on whether the broker is there or not.
    // alone: it is the only surface of a panel without a window, which ends (false, or exit
    // status 1 later) when MQTT gives up for good, as nothing could drive it then.
    bool startMqtt(const MqttSettings &settings, bool alone)
    {
        m_mqtt = std::make_unique<MqttSurface>(adapter(), settings);
        const auto say = [](const QString &line) {
            std::fprintf(stderr, "velquor: %s\n", qPrintable(line));
        };
        QObject::connect(m_mqtt.get(), &MqttSurface::warning, m_mqtt.get(), say);
        QObject::connect(m_mqtt.get(), &MqttSurface::note, m_mqtt.get(), say);
        if (alone)
            QObject::connect(m_mqtt.get(), &MqttSurface::off, m_mqtt.get(), [say] {
                say(QStringLiteral("nothing is left to drive the panel; ending"));
                QCoreApplication::exit(1);
            });
        QString why;
        if (!m_mqtt->start(&why)) {
            say(QStringLiteral("MQTT is off: %1").arg(why));
            m_mqtt.reset();
            return !alone;
        }
        return true;
    }

private:
    static QString webKey(const QString &settingsPath)
    {
        UserSettings file(settingsPath);
        file.load();
        const QString web = QStringLiteral("web");
        const QString kept = file.surfaceValue(web, QStringLiteral("key"));
        if (webaccess::isWellFormedKey(kept))
            return kept.toLower();
        if (!kept.isEmpty())
            std::fprintf(stderr,
                         "velquor: key= in the [web] group of %s is not 32 hex digits; a new "
                         "key replaces it\n",
                         qPrintable(settingsPath));
        const QString key = webaccess::makeKey();
        file.setSurfaceValue(web, QStringLiteral("key"), key);
        QString why;
        if (!file.save(&why))
            std::fprintf(stderr, "velquor: the web page's key holds for this run only: %s\n",
                         qPrintable(why));
        return key;
    }

    Form1 &m_form;
    const LineLog &m_lineLog;
    // Declared first, so that the surfaces that use it go before it.
    std::unique_ptr<PanelControl> m_adapter;
    std::unique_ptr<ControlServer> m_control;
    std::unique_ptr<WebSurface> m_web;
    std::unique_ptr<MqttSurface> m_mqtt;
};

// What the window would show in a box is one line on standard error, with the port and the
// reason when it is about one; nothing waits.
void reportBoxesOnStandardError(Form1 &form)
{
    form.setMessageReporter(
        [](const QString &title, const QString &text, const Form1::MessageDetail &detail) {
            QString line = text.trimmed();
            if (!detail.port.isEmpty())
                line = detail.port + QStringLiteral(": ") + line;
            if (!detail.why.isEmpty())
                line += QStringLiteral(" (%1)").arg(detail.why);
            if (!title.isEmpty())
                line = title + QStringLiteral(": ") + line;
            std::fprintf(stderr, "velquor: %s\n", qPrintable(line));
        });
}

#ifdef Q_OS_UNIX
// --demo: the emulator must serve before Form1 exists, since start-up opens the port at once.
bool startDemo(std::unique_ptr<PtyHost> &emulator, PortMap &ports)
{
    emulator = std::make_unique<PtyHost>();
    QString why;
    if (!demo::start(*emulator, ports, &why)) {
        std::fprintf(stderr, "velquor: cannot start the emulated matrix: %s\n", qPrintable(why));
        return false;
    }
    return true;
}
#endif

// The window, or headless the panel without one, until the event loop ends.
int runPanel(int &argc, char **argv, RunChoices &run)
{
    QApplication app(argc, argv);
    setUpPanelAppearance();
#ifdef Q_OS_UNIX
    TerminationSignals endSignals;
    QObject::connect(&endSignals, &TerminationSignals::arrived, &app,
                     [] { QCoreApplication::exit(0); });
    std::unique_ptr<PtyHost> emulator;
    if (run.demo && !startDemo(emulator, run.ports))
        return 1;
#endif

    Form1 form(run.ports);
    form.setReconnect(run.reconnect);
    auto *monitor = new LineMonitor(form); // the window's, before start-up opens the port
    form.useNamesAndPresets(run.settings);
    RemoteSurfaces surfaces(form, monitor->log());
    if (run.control && !surfaces.listenForControl(*run.control))
        return 1;
    if (run.web && !surfaces.serveWebPage(*run.web, run.webRequireKey, run.settings.path()))
        return 1;
    if (run.mqtt && !surfaces.startMqtt(*run.mqtt, run.headless && !run.control && !run.web))
        return 1;
    if (run.headless)
        reportBoxesOnStandardError(form);
    form.Form_Load();
#ifdef Q_OS_UNIX
    // A signal that came while start-up's message box was shown ended that box's loop.
    if (endSignals.received() != 0)
        return 0;
#endif
    if (!run.headless)
        form.show();
    return app.exec();
}

} // namespace

int main(int argc, char **argv)
{
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
    commandLine.readMqtt(run);
    if (const std::optional<int> status = commandLine.readControlSocket(run))
        return *status;
    return runPanel(argc, argv, run);
}
