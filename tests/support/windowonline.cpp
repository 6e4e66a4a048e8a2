// SPDX-License-Identifier: MIT
#include "windowonline.h"

#include "controlclient.h"
#include "controlserver.h"
#include "form1.h"
#include "lamp.h"
#include "linemonitor.h"
#include "messageboxwatcher.h"
#include "mscomm.h"
#include "panelcontrol.h"
#include "ptyhost.h"
#include "ptypair.h"
#include "scratchdir.h"
#include "ser2net.h"
#include "usersettings.h"
#include "windowcontrols.h"

#include <QComboBox>
#include <QPushButton>
#include <QtTest>

WindowOnLine::WindowOnLine() = default;

WindowOnLine::WindowOnLine(Options options) : m_options(std::move(options)) {}

WindowOnLine::~WindowOnLine() = default;

void WindowOnLine::prepare()
{
    if (m_prepared)
        return;
    m_prepared = true;
    m_dir = std::make_unique<ScratchDir>();
    QVERIFY(m_dir->isValid());
    QString terminal;
    switch (m_options.device) {
    case Device::Pty:
        m_device = std::make_unique<PtyPair>();
        QVERIFY2(m_device->isValid(), qPrintable(m_device->errorString()));
        terminal = m_device->slavePath();
        break;
    case Device::Emulator: {
        m_host = std::make_unique<PtyHost>();
        QString error;
        QVERIFY2(m_host->open(&error), qPrintable(error));
        terminal = m_host->slavePath();
        break;
    }
    case Device::None:
        return;
    }
    if (m_options.link != Link::Serial) {
        m_ser2net = std::make_unique<Ser2net>(m_dir->path(), terminal);
        QVERIFY2(m_ser2net->start(), m_ser2net->log().constData());
    }
}

QString WindowOnLine::deviceEntry() const
{
    if (m_ser2net)
        return m_ser2net->entry(m_options.link == Link::Rfc2217);
    if (m_device)
        return m_device->slavePath();
    if (m_host)
        return m_host->slavePath();
    return {};
}

void WindowOnLine::start()
{
    prepare();
    if (QTest::currentTestFailed())
        return;
    PortMap ports;
    if (m_options.device != Device::None) {
        for (int port : std::as_const(m_options.devicePorts))
            ports.map(port, deviceEntry());
    }
    for (int port = 1; port <= PortMap::maxPort; ++port) {
        if (m_options.ports.isMapped(port))
            ports.map(port, m_options.ports.deviceFor(port));
    }

    m_form = std::make_unique<Form1>(ports);
    m_boxes = std::make_unique<MessageBoxWatcher>(m_form.get());
    if (!m_options.settings.isNull()) {
        QVERIFY(m_dir->write(QStringLiteral("velquor.conf"), m_options.settings));
        UserSettings settings(settingsPath());
        settings.load();
        m_form->useNamesAndPresets(settings);
    }
    if (m_options.reconnect)
        m_form->setReconnect(true);
    if (m_options.lineMonitor)
        m_monitor = new LineMonitor(*m_form);
    if (m_options.control != Control::None || m_options.adapter) {
        m_control = std::make_unique<PanelControl>(m_form->model());
        m_control->holdWhile([form = m_form.get()] { return form->whyRemoteCommandsWait(); });
    }
    if (m_options.control != Control::None) {
        m_server = m_options.controlClock
                       ? std::make_unique<ControlServer>(*m_control, m_options.controlClock)
                       : std::make_unique<ControlServer>(*m_control);
        const QString address =
            m_options.control == Control::Tcp
                ? QStringLiteral("0")
                : QStringLiteral("unix:") + m_dir->filePath(QStringLiteral("velquor.sock"));
        QString error;
        const std::optional<ListenAddress> parsed = ListenAddress::parse(address, &error);
        QVERIFY2(parsed, qPrintable(error));
        QVERIFY2(m_server->listen(*parsed, &error), qPrintable(error));
    }

    if (m_options.startUp != StartUp::NotRun)
        m_form->Form_Load(); // the remembered port; COM1 while there is no COMPORT file
    // A network port opens in the background.
    if (m_options.startUp == StartUp::Opens || m_options.startUp == StartUp::Reconnects)
        QTRY_VERIFY(m_form->MSComm1->PortOpen());
    if (m_options.show) {
        m_form->show();
        m_form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    }
    if (m_options.startUp == StartUp::Reconnects) {
        controls(*m_form).Command7->click(); // Disconnect
        QVERIFY(!m_form->MSComm1->PortOpen());
        controls(*m_form).Command7->click(); // Connect: sends the status request
        QTRY_VERIFY(m_form->MSComm1->PortOpen());
        QCOMPARE(m_boxes->count(), 0);
    }

    if (m_server) {
        const ListenAddress where = m_server->address();
        m_client = where.kind == ListenAddress::Kind::Tcp
                       ? std::make_unique<ControlClient>(where.port)
                       : std::make_unique<ControlClient>(where.path);
        QVERIFY(m_client->waitForConnected());
    }
}

QString WindowOnLine::settingsPath() const
{
    return m_dir->filePath(QStringLiteral("velquor.conf"));
}

std::unique_ptr<ControlClient> WindowOnLine::takeClient()
{
    return std::move(m_client);
}

void WindowOnLine::closeControl()
{
    m_server.reset();
}

QByteArray WindowOnLine::sent(qsizetype expected) const
{
    QByteArray bytes = expected > 0 ? m_device->read(int(expected), 2000) : QByteArray();
    return bytes + m_device->readFor(100);
}

void WindowOnLine::choosePort(int index)
{
    controls(*m_form).Combo1->setCurrentIndex(index);
    emit controls(*m_form).Combo1->activated(index);
}

bool WindowOnLine::showsConnected() const
{
    return controls(*m_form).Command7->text() == QStringLiteral("Disconnect") &&
           controls(*m_form).Shape15->FillStyle() == 1 &&
           controls(*m_form).Shape16->FillStyle() == 0;
}

bool WindowOnLine::showsDisconnected() const
{
    return controls(*m_form).Command7->text() == QStringLiteral("Connect") &&
           controls(*m_form).Shape15->FillStyle() == 0 &&
           controls(*m_form).Shape16->FillStyle() == 1;
}
