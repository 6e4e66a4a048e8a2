// SPDX-License-Identifier: MIT
#include "colorbutton.h"
#include "console.h"
#include "demo.h"
#include "form1.h"
#include "frames.h"
#include "lamp.h"
#include "messageboxwatcher.h"
#include "mscomm.h"
#include "ptyhost.h"
#include "scratchdir.h"
#include "windowcontrols.h"
#include "windowonline.h"

#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

#include <memory>

// The real window against the emulated matrix over a real pseudo-terminal: what the operator
// sees after each exchange with the device. Every test runs once for each way the line may
// hand the device's replies over.
class tst_EndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase_data();
    void init();
    void cleanup();

    void connectShowsTheDevicesState();
    void routeClickSwitchesTheMatrix();
    void routeToAllFollowsOnEveryRow();
    void routeChangedElsewhereIsShownAndEchoedOnce();
    void modeChangedElsewhereSwitchesTheGroups();
    void detachedDisplayTurnsItsButtonRed();
    void hangUpShowsDisconnected();

    void rememberedPort_data();
    void rememberedPort();
    void demoConnectsAtStartAndUpdateShowsTheState();

private:
    // Starts the window on COM1 mapped to the emulator, as Form_Load runs at start-up, and
    // connects with Command7 (close the port Form_Load opened, open again).
    void startConnected();
    void settle(int ms = 400) { QTest::qWait(ms); }

    std::unique_ptr<WindowOnLine> m_window;
    ScratchDir *m_dir = nullptr;
    PtyHost *m_host = nullptr;
    Form1 *m_form = nullptr;
    MessageBoxWatcher *m_boxes = nullptr;
};

void tst_EndToEnd::initTestCase_data()
{
    QTest::addColumn<QString>("delivery");
    QTest::newRow("usb adapter") << QStringLiteral("usb");
    QTest::newRow("all at once") << QStringLiteral("instant");
    QTest::newRow("byte by byte") << QStringLiteral("bytes");
    QTest::newRow("3 bytes every 2 ms") << QStringLiteral("chunks:3/2");
    QTest::newRow("usb, 60 ms after each reply") << QStringLiteral("usb+gap:60");
}

void tst_EndToEnd::init()
{
    QFETCH_GLOBAL(QString, delivery);
    WindowOnLine::Options options;
    options.device = WindowOnLine::Device::Emulator;
    options.startUp = WindowOnLine::StartUp::Reconnects;
    m_window = std::make_unique<WindowOnLine>(options);
    m_window->prepare();
    m_dir = &m_window->dir();
    m_host = &m_window->host();
    const std::optional<LineDelivery> chosen = LineDelivery::parse(delivery);
    QVERIFY(chosen);
    m_host->setDelivery(*chosen);
}

void tst_EndToEnd::cleanup()
{
    m_window.reset();
}

void tst_EndToEnd::startConnected()
{
    m_window->start();
    m_form = &m_window->form();
    m_boxes = &m_window->boxes();
}

void tst_EndToEnd::connectShowsTheDevicesState()
{
    MatrixModel &device = m_host->model();
    device.setRoute(0, 2);
    device.setResolution(5);
    QSignalSpy frames(m_host, &PtyHost::frameReceived);
    startConnected();

    for (int o = 0; o < 4; ++o)
        QTRY_COMPARE(controls(m_form).Command8[o]->BackColor(), ColorButton::green);
    QTRY_VERIFY(controls(m_form).Option9[0]->isChecked()); // MP comes last
    QVERIFY(controls(m_form).Option3[2]->isChecked());
    QVERIFY(controls(m_form).Option4[1]->isChecked());
    QVERIFY(controls(m_form).Option5[2]->isChecked());
    QVERIFY(controls(m_form).Option6[3]->isChecked());
    QVERIFY(controls(m_form).Option2[0]->isChecked());
    QVERIFY(controls(m_form).Option1[5]->isChecked());
    QVERIFY(controls(m_form).Option3[0]->isEnabled());
    QVERIFY(!controls(m_form).Option9[0]->isEnabled());
    QCOMPARE(controls(m_form).Command7->text(), QStringLiteral("Disconnect"));
    QCOMPARE(controls(m_form).Shape15->FillStyle(), 1);

    // The window sends back what it newly selected; the device's state stays as it was.
    settle();
    QCOMPARE(frames.first().first().toByteArray(), frames::StatusRequest());
    QCOMPARE(device.route(0), 2);
    QCOMPARE(device.resolution(), 5);
    QCOMPARE(m_boxes->count(), 0);
}

void tst_EndToEnd::routeClickSwitchesTheMatrix()
{
    startConnected();
    QTRY_VERIFY(controls(m_form).Option9[0]->isChecked());
    settle();

    controls(m_form).Option4[2]->click(); // "IN3" in row "Out2"
    QTRY_COMPARE(m_host->model().route(1), 2);
    settle();
    QVERIFY(controls(m_form).Option4[2]->isChecked());
    QCOMPARE(controls(m_form).Command8[1]->BackColor(), ColorButton::green);
    QCOMPARE(m_host->model().route(0), 0);
}

void tst_EndToEnd::routeToAllFollowsOnEveryRow()
{
    startConnected();
    QTRY_VERIFY(controls(m_form).Option9[0]->isChecked());
    settle();

    controls(m_form).Option7[3]->click(); // "IN4" in row "ALL"
    // Four records, one after the other (out4 showed IN4 already).
    QTRY_VERIFY(controls(m_form).Option3[3]->isChecked());
    QTRY_VERIFY(controls(m_form).Option4[3]->isChecked());
    QTRY_VERIFY(controls(m_form).Option5[3]->isChecked());
    QVERIFY(controls(m_form).Option6[3]->isChecked());
    for (int o = 0; o < 4; ++o)
        QCOMPARE(m_host->model().route(o), 3);
}

void tst_EndToEnd::routeChangedElsewhereIsShownAndEchoedOnce()
{
    startConnected();
    QTRY_VERIFY(controls(m_form).Option9[0]->isChecked());
    settle();
    QSignalSpy frames(m_host, &PtyHost::frameReceived);

    // Typed at the emulator's console: IN2 to out3, as another controller would switch it.
    QString error;
    const auto command = parseConsoleCommand(QStringLiteral("route 3 2"), &error);
    QVERIFY2(command, qPrintable(error));
    m_host->push(applyConsoleCommand(m_host->model(), *command));

    QTRY_VERIFY(controls(m_form).Option5[1]->isChecked());
    settle();
    QCOMPARE(frames.size(), 1); // the window follows with one Route frame, and no more
    QCOMPARE(frames.first().first().toByteArray(), frames::Route(2, 1));
    QCOMPARE(m_host->model().route(2), 1);
}

void tst_EndToEnd::modeChangedElsewhereSwitchesTheGroups()
{
    startConnected();
    QTRY_VERIFY(controls(m_form).Option9[0]->isChecked());
    settle();

    m_host->push(m_host->model().setMode(1));
    QTRY_VERIFY(controls(m_form).Option2[1]->isChecked());
    QVERIFY(!controls(m_form).Option3[0]->isEnabled());
    QVERIFY(!controls(m_form).Option7[3]->isEnabled());
    QVERIFY(controls(m_form).Option9[0]->isEnabled());
    settle();
    QCOMPARE(m_host->model().mode(), 1);
}

void tst_EndToEnd::detachedDisplayTurnsItsButtonRed()
{
    startConnected();
    QTRY_COMPARE(controls(m_form).Command8[3]->BackColor(), ColorButton::green);
    settle();

    m_host->push(m_host->model().setDisplayAttached(3, false));
    QTRY_COMPARE(controls(m_form).Command8[3]->BackColor(), ColorButton::red);
    QCOMPARE(controls(m_form).Command8[0]->BackColor(), ColorButton::green);

    m_host->push(m_host->model().setDisplayAttached(3, true));
    QTRY_COMPARE(controls(m_form).Command8[3]->BackColor(), ColorButton::green);
}

void tst_EndToEnd::hangUpShowsDisconnected()
{
    startConnected();
    QTRY_VERIFY(controls(m_form).Option9[0]->isChecked());

    m_host->hangUp();
    QTRY_VERIFY(!m_form->MSComm1->PortOpen());
    QCOMPARE(controls(m_form).Command7->text(), QStringLiteral("Connect"));
    QCOMPARE(controls(m_form).Shape15->FillStyle(), 0);
    QCOMPARE(controls(m_form).Shape16->FillStyle(), 1);
}

void tst_EndToEnd::rememberedPort_data()
{
    QTest::addColumn<QByteArray>("file"); // COMPORT content; empty: no file
    QTest::addColumn<int>("port");
    QTest::newRow("no file: COM1") << QByteArray() << 1;
    QTest::newRow("index 0: COM1") << QByteArray(" 0 \r\n") << 1;
    QTest::newRow("index 2: COM3") << QByteArray(" 2 \r\n") << 3;
    QTest::newRow("index 20, beyond the list: COM21") << QByteArray(" 20 \r\n") << 21;
    QTest::newRow("index 255 overflows: none") << QByteArray(" 255 \r\n") << 0;
    QTest::newRow("text counts as index 0") << QByteArray("COM4\r\n") << 1;
}

void tst_EndToEnd::rememberedPort()
{
    QFETCH(QByteArray, file);
    QFETCH(int, port);
    if (!file.isEmpty())
        QVERIFY(m_dir->write(QStringLiteral("COMPORT"), file));
    QCOMPARE(demo::rememberedPort(), port);
}

void tst_EndToEnd::demoConnectsAtStartAndUpdateShowsTheState()
{
    QVERIFY(m_dir->write(QStringLiteral("COMPORT"), " 2 \r\n")); // COM3
    MatrixModel &device = m_host->model();
    device.setRoute(0, 3);
    device.setDisplayAttached(1, false);
    device.setResolution(8);
    device.setMode(1);
    device.setWallInput(2);

    PortMap ports;
    QVERIFY(demo::start(*m_host, ports, nullptr));
    QCOMPARE(ports.deviceFor(3), m_host->slavePath());
    m_window->options().devicePorts = {}; // the demo has mapped the remembered port
    m_window->options().ports = ports;
    m_window->options().startUp = WindowOnLine::StartUp::AsItComes;
    m_window->start();
    m_form = &m_window->form();
    m_boxes = &m_window->boxes();
    QVERIFY(m_form->MSComm1->PortOpen());
    QCOMPARE(m_form->portNumber, 3);
    QCOMPARE(controls(m_form).Command7->text(), QStringLiteral("Disconnect"));

    controls(m_form).Command6->click(); // "Update"
    QTRY_VERIFY(controls(m_form).Option9[2]->isChecked());
    QCOMPARE(controls(m_form).Command8[0]->BackColor(), ColorButton::green);
    QCOMPARE(controls(m_form).Command8[1]->BackColor(), ColorButton::red);
    QVERIFY(controls(m_form).Option3[3]->isChecked());
    QVERIFY(controls(m_form).Option2[1]->isChecked());
    QVERIFY(controls(m_form).Option1[8]->isChecked());
    QVERIFY(!controls(m_form).Option3[3]->isEnabled()); // video-wall mode: routes are disabled
    QCOMPARE(m_boxes->count(), 0);

    settle();
    const QString picture = QStringLiteral(VELQUOR_TEST_OUTPUT_DIR "/demo-after-update.png");
    QVERIFY(m_form->grab().save(picture));
}

QTEST_MAIN(tst_EndToEnd)
#include "tst_endtoend.moc"
