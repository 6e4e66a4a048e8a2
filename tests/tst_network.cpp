// SPDX-License-Identifier: MIT
#include "colorbutton.h"
#include "form1.h"
#include "frames.h"
#include "lamp.h"
#include "messageboxwatcher.h"
#include "mscomm.h"
#include "ptyhost.h"
#include "scratchdir.h"
#include "ser2net.h"
#include "windowcontrols.h"
#include "windowonline.h"

#include <QFile>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QPushButton>
#include <QRadioButton>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <memory>

using namespace Qt::StringLiterals;

// The real window on a network port, through a real serial device server, to the emulated
// matrix. Each test runs once over raw TCP and once over RFC 2217.
class tst_Network : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase_data();
    void init();
    void cleanup();

    void connectShowsTheDevicesState();
    void routeClickReachesTheMatrix();
    void frameWithFFArrivesIntact();
    void stoppedServerShowsDisconnected();
    void reconnectsWhenTheServerIsBack();
    void noReconnectWithoutTheOption();
    void adapterBackUnderTheSamePathReconnects();

    void rfc2217SetsTheLine();
    void refusedConnectionIsAnOpenFailure();
    void refusedOptionLeavesPlainTelnet();

private:
    // The window as the options say: by default on COM1 through ser2net, connected at
    // start-up and again with Disconnect and Connect.
    void start();

    std::unique_ptr<WindowOnLine> m_window;
    ScratchDir *m_dir = nullptr;
    PtyHost *m_host = nullptr;
    Ser2net *m_server = nullptr;
    Form1 *m_form = nullptr;
    MessageBoxWatcher *m_boxes = nullptr;
};

void tst_Network::initTestCase_data()
{
    QTest::addColumn<bool>("rfc2217");
    QTest::newRow("raw") << false;
    QTest::newRow("rfc2217") << true;
}

// ser2net on loopback serves the emulator's pseudo-terminal; COM1 is its raw or its RFC 2217
// accepter.
void tst_Network::init()
{
    QFETCH_GLOBAL(bool, rfc2217);
    WindowOnLine::Options options;
    options.device = WindowOnLine::Device::Emulator;
    options.link = rfc2217 ? WindowOnLine::Link::Rfc2217 : WindowOnLine::Link::Tcp;
    options.startUp = WindowOnLine::StartUp::Reconnects;
    m_window = std::make_unique<WindowOnLine>(options);
    m_window->prepare();
    m_dir = &m_window->dir();
    m_host = &m_window->host();
    m_server = &m_window->ser2net();
    m_host->setDelivery(LineDelivery::parse(u"usb"_s).value());
}

void tst_Network::cleanup()
{
    m_window.reset();
}

void tst_Network::start()
{
    m_window->start();
    m_form = &m_window->form();
    m_boxes = &m_window->boxes();
}

void tst_Network::connectShowsTheDevicesState()
{
    MatrixModel &device = m_host->model();
    device.setRoute(0, 2);
    device.setResolution(5);
    QSignalSpy frames(m_host, &PtyHost::frameReceived);
    start();

    for (int o = 0; o < 4; ++o)
        QTRY_COMPARE(controls(m_form).Command8[o]->BackColor(), ColorButton::green);
    QTRY_VERIFY(controls(m_form).Option9[0]->isChecked());
    QVERIFY(controls(m_form).Option3[2]->isChecked());
    QVERIFY(controls(m_form).Option1[5]->isChecked());
    QCOMPARE(controls(m_form).Command7->text(), u"Disconnect"_s);
    QCOMPARE(controls(m_form).Shape15->FillStyle(), 1);
    QVERIFY(!frames.isEmpty());
    QCOMPARE(frames.first().first().toByteArray(), frames::StatusRequest());
    QCOMPARE(m_boxes->count(), 0);
}

void tst_Network::routeClickReachesTheMatrix()
{
    start();
    QTRY_VERIFY(controls(m_form).Option9[0]->isChecked());
    QTest::qWait(300);

    controls(m_form).Option4[2]->click(); // "IN3" in row "Out2"
    QTRY_COMPARE(m_host->model().route(1), 2);
    QTRY_VERIFY(controls(m_form).Option4[2]->isChecked());
    QCOMPARE(m_host->model().route(0), 0);
}

void tst_Network::frameWithFFArrivesIntact()
{
    start();
    QTRY_VERIFY(controls(m_form).Option9[0]->isChecked());
    QSignalSpy frames(m_host, &PtyHost::frameReceived);
    const QByteArray frame = frames::SetFixedAddress({10, 255, 0, 1});
    QVERIFY(frame.contains('\xff'));
    m_form->MSComm1->Output(frame);
    // The window's answers to the connect's report may still be on their way.
    const auto taken = [&frames] {
        QByteArrayList hex;
        for (const QList<QVariant> &arguments : std::as_const(frames))
            hex.append(arguments.first().toByteArray().toHex(' '));
        return hex;
    };
    QTRY_VERIFY2(taken().contains(frame.toHex(' ')), taken().join(" | ").constData());
}

void tst_Network::stoppedServerShowsDisconnected()
{
    start();
    QTRY_VERIFY(controls(m_form).Option9[0]->isChecked());

    m_server->stop();
    QTRY_VERIFY(!m_form->MSComm1->PortOpen());
    QCOMPARE(controls(m_form).Command7->text(), u"Connect"_s);
    QCOMPARE(controls(m_form).Shape15->FillStyle(), 0);
    QCOMPARE(controls(m_form).Shape16->FillStyle(), 1);
    QCOMPARE(m_boxes->count(), 0);
}

void tst_Network::reconnectsWhenTheServerIsBack()
{
    start();
    m_form->setReconnect(true);
    QTRY_VERIFY(controls(m_form).Option9[0]->isChecked());

    m_server->stop();
    QTRY_VERIFY(!m_form->MSComm1->PortOpen());
    QVERIFY(m_form->isReconnecting());
    QCOMPARE(controls(m_form).Command7->text(), u"Connect"_s);
    // Some tries fail while it is down, without a box.
    QTest::qWait(2500);
    QVERIFY(!m_form->MSComm1->PortOpen());
    QCOMPARE(m_boxes->count(), 0);

    QSignalSpy frames(m_host, &PtyHost::frameReceived);
    QVERIFY2(m_server->start(), m_server->log().constData());
    QTRY_VERIFY_WITH_TIMEOUT(m_form->MSComm1->PortOpen(), 10000);
    QVERIFY(!m_form->isReconnecting());
    QCOMPARE(controls(m_form).Command7->text(), u"Disconnect"_s);
    QCOMPARE(controls(m_form).Shape15->FillStyle(), 1);
    QTRY_VERIFY(!frames.isEmpty());
    QCOMPARE(frames.first().first().toByteArray(), frames::StatusRequest());
    QCOMPARE(m_boxes->count(), 0);

    // Disconnect by the operator is no lost link: nothing comes back by itself.
    controls(m_form).Command7->click();
    QVERIFY(!m_form->MSComm1->PortOpen());
    QVERIFY(!m_form->isReconnecting());
    QTest::qWait(1500); // longer than a retry interval
    QVERIFY(!m_form->MSComm1->PortOpen());
    QVERIFY(!m_form->isReconnecting());
    QCOMPARE(controls(m_form).Command7->text(), u"Connect"_s);
}

void tst_Network::noReconnectWithoutTheOption()
{
    start();
    QTRY_VERIFY(controls(m_form).Option9[0]->isChecked());
    m_server->stop();
    QTRY_VERIFY(!m_form->MSComm1->PortOpen());
    QVERIFY(!m_form->isReconnecting());
    QVERIFY(m_server->start());
    QTest::qWait(1500);
    QVERIFY(!m_form->MSComm1->PortOpen());
}

void tst_Network::adapterBackUnderTheSamePathReconnects()
{
    QFETCH_GLOBAL(bool, rfc2217);
    if (rfc2217)
        QSKIP("a local adapter, once is enough");
    // A stable name, as under /dev/serial/by-id/, for whichever terminal the adapter has now.
    const QString link = m_dir->path() + u"/usb-Maker_Matrix-if00"_s;
    QVERIFY(QFile::link(m_host->slavePath(), link));
    m_window->options().ports.map(1, link);
    m_window->options().reconnect = true;
    m_window->options().startUp = WindowOnLine::StartUp::AsItComes;
    start();
    QVERIFY(m_form->MSComm1->PortOpen());

    m_server->stop(); // ser2net must not hold the new terminal
    m_host->hangUp(); // unplugged
    QTRY_VERIFY(!m_form->MSComm1->PortOpen());
    QVERIFY(m_form->isReconnecting());
    QString error;
    QVERIFY2(m_host->open(&error), qPrintable(error)); // plugged in again: a new terminal
    QSignalSpy frames(m_host, &PtyHost::frameReceived);
    QVERIFY(QFile::remove(link));
    QVERIFY(QFile::link(m_host->slavePath(), link));

    QTRY_VERIFY_WITH_TIMEOUT(m_form->MSComm1->PortOpen(), 10000);
    QCOMPARE(controls(m_form).Command7->text(), u"Disconnect"_s);
    QTRY_VERIFY(!frames.isEmpty());
    QCOMPARE(frames.first().first().toByteArray(), frames::StatusRequest());
    QCOMPARE(m_boxes->count(), 0);

    // Choosing a port ends the retries.
    m_host->hangUp();
    QTRY_VERIFY(!m_form->MSComm1->PortOpen());
    QVERIFY(m_form->isReconnecting());
    m_window->choosePort(1);
    QVERIFY(!m_form->isReconnecting());
}

void tst_Network::rfc2217SetsTheLine()
{
    QFETCH_GLOBAL(bool, rfc2217);
    if (!rfc2217)
        QSKIP("the raw accepter leaves the line as ser2net configured it");
    start();
    // The emulator's own side of the line, as the far end has set it.
    const int fd =
        ::open(QFile::encodeName(m_host->slavePath()).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(fd >= 0);
    termios line{};
    QVERIFY(::tcgetattr(fd, &line) == 0);
    ::close(fd);
    QCOMPARE(cfgetospeed(&line), speed_t(B9600));
    QCOMPARE(cfgetispeed(&line), speed_t(B9600));
    QCOMPARE(line.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(line.c_cflag & PARENB, tcflag_t(0));
    QCOMPARE(line.c_cflag & CSTOPB, tcflag_t(0));
}

void tst_Network::refusedConnectionIsAnOpenFailure()
{
    QFETCH_GLOBAL(bool, rfc2217);
    PortMap ports;
    const RefusingLoopbackPort nobody;
    QVERIFY(nobody.port() != 0);
    ports.map(1,
              (rfc2217 ? u"rfc2217://127.0.0.1:%1"_s : u"tcp://127.0.0.1:%1"_s).arg(nobody.port()));
    m_window->options().ports = ports;
    m_window->options().startUp = WindowOnLine::StartUp::AsItComes;
    start();
    QTRY_COMPARE(m_boxes->count(), 1); // start-up's own report of the failed open
    m_boxes->clear();
    QVERIFY(!m_form->MSComm1->PortOpen());
    controls(m_form).Command7->click();
    QVERIFY(!m_form->MSComm1->PortOpen());
    QTRY_COMPARE(m_boxes->count(), 1);
    QCOMPARE(m_boxes->last().text, u"open serial port fail！ "_s);
    QCOMPARE(controls(m_form).Command7->text(), u"Connect"_s);
    QVERIFY(!QGuiApplication::overrideCursor()); // the busy cursor went with the wait

    // The service alone: the open is reported later, with the number it would have thrown.
    MSComm comm(ports);
    QSignalSpy finished(&comm, &MSComm::openFinished);
    comm.setPortOpen(true);
    QTRY_COMPARE(finished.count(), 1);
    QVERIFY2(!comm.PortOpen(), "opened a port nobody serves");
    QCOMPARE(finished.first().first().toInt(), int(MSComm::InvalidPortNumber));
}

namespace {

QStringList traced;

void traceHandler(QtMsgType, const QMessageLogContext &, const QString &message)
{
    traced.append(message);
}

} // namespace

void tst_Network::refusedOptionLeavesPlainTelnet()
{
    QFETCH_GLOBAL(bool, rfc2217);
    if (!rfc2217)
        QSKIP("raw TCP has no options");
    // A Telnet server in its own thread that will not control the line: DONT to the offer,
    // then one answer to the first line it receives.
    quint16 port = 0;
    QSemaphore listening;
    QByteArray received;
    std::unique_ptr<QThread> thread(QThread::create([&] {
        QTcpServer server;
        server.listen(QHostAddress::LocalHost, 0);
        port = server.serverPort();
        listening.release();
        if (!server.waitForNewConnection(10000))
            return;
        QTcpSocket *peer = server.nextPendingConnection();
        QByteArray got;
        bool answered = false;
        while (peer->waitForReadyRead(10000)) {
            got += peer->readAll();
            if (!answered && got.startsWith("\xff\xfb\x2c")) {
                answered = true;
                got.remove(0, 3);
                peer->write("\xff\xfe\x2c");
                peer->flush();
            }
            if (got.endsWith('\n')) {
                peer->write("x\xff\xffy\r\n");
                peer->flush();
                break;
            }
        }
        received = got;
        peer->waitForDisconnected(10000);
    }));
    thread->start();
    listening.acquire();
    QVERIFY(port != 0);

    PortMap ports;
    ports.map(1, u"rfc2217://127.0.0.1:%1"_s.arg(port));
    MSComm comm(ports);
    QSignalSpy lines(&comm, &MSComm::OnComm);
    QLoggingCategory::setFilterRules(u"velquor.serial.debug=true"_s);
    traced.clear();
    const QtMessageHandler before = qInstallMessageHandler(traceHandler);
    comm.setPortOpen(true);
    QTRY_VERIFY(comm.PortOpen());
    qInstallMessageHandler(before);
    QLoggingCategory::setFilterRules(u"velquor.serial.debug=false"_s);
    const auto said = [](const QString &text) {
        return std::any_of(traced.cbegin(), traced.cend(),
                           [&](const QString &line) { return line.contains(text); });
    };
    QVERIFY2(said(u"COM-PORT-OPTION refused: plain Telnet"_s), qPrintable(traced.join(u'\n')));
    QVERIFY(!said(u"no answer"_s));

    comm.Output(QByteArray("\x0a\xff\n", 3));
    QTRY_COMPARE(lines.size(), 1);
    QCOMPARE(comm.Input(), QByteArray("x\xffy"));
    comm.setPortOpen(false);
    QVERIFY(thread->wait(10000));
    QCOMPARE(received, QByteArray("\x0a\xff\xff\n", 4)); // still doubled
}

QTEST_MAIN(tst_Network)
#include "tst_network.moc"
