// SPDX-License-Identifier: MIT
// The control socket with the real window on a pseudo-terminal: what each command sends and
// answers, what it refuses, and how the socket holds up against bad input, too many clients,
// idle ones, bursts of changes and clients that do not read.

#include "clientoutput.h"
#include "colorbutton.h"
#include "controlclient.h"
#include "controlcommand.h"
#include "controlserver.h"
#include "form1.h"
#include "frames.h"
#include "messageboxwatcher.h"
#include "mscomm.h"
#include "operatorclick.h"
#include "panelcontrol.h"
#include "ptypair.h"
#include "scratchdir.h"
#include "windowcontrols.h"
#include "windowonline.h"

#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QRadioButton>
#include <QSignalSpy>
#include <QtTest>

#include <memory>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

class tst_ControlSocket : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void commandSendsItsControlsFrame_data();
    void commandSendsItsControlsFrame();
    void commandSelectsAsTheClickDoes();
    void selectedOptionStillSendsItsFrameOnce_data();
    void selectedOptionStillSendsItsFrameOnce();
    void disabledControlsRefuse();
    void closedPortAnswersPortClosedWithoutABox_data();
    void closedPortAnswersPortClosedWithoutABox();
    void connectAndDisconnect();
    void connectToAMissingDeviceSaysSo();
    void commandWhileADialogWaits();
    void watchSeesEachChangeAReplyBrings();

    void badInput_data();
    void badInput();
    void linesInAnyPieces();
    void commandsOfAClientThatLeftAreCarriedOut();
    void idleClientIsClosed_data();
    void idleClientIsClosed();
    void fullSocketMakesRoomForANewClient();
    void watcherIsDroppedOnceItTakesNothing();
    void answersWaitForAClientThatDoesNotRead();
    void readingWatcherKeepsUpWithABurst_data();
    void readingWatcherKeepsUpWithABurst();
    void longAnswerIsDelivered_data();
    void longAnswerIsDelivered();
    void laggingMonitorIsToldWhatWasLeftOut();

    void localSocket();
    void localSocketPathInUse();
    void openAddressWarnsOnce();

private:
    // Nothing selected yet, port open; frames sent so far are read away.
    void startPanel(const PortMap &extra = {});
    QByteArray sent(int ms = 150) { return m_device->readFor(ms); }

    qint64 m_now = 0; // the control server's clock, ms
    std::unique_ptr<WindowOnLine> m_window;
    ScratchDir *m_dir = nullptr;
    PtyPair *m_device = nullptr;
    Form1 *m_form = nullptr;
    MessageBoxWatcher *m_boxes = nullptr;
    PanelControl *m_control = nullptr;
    ControlServer *m_server = nullptr;
    ControlClient *m_client = nullptr;
};

void tst_ControlSocket::init()
{
    WindowOnLine::Options options;
    options.show = false;
    options.control = WindowOnLine::Control::Tcp;
    m_now = 0;
    options.controlClock = [this] { return m_now; };
    m_window = std::make_unique<WindowOnLine>(options);
    m_window->prepare();
    m_dir = &m_window->dir();
    m_device = &m_window->device();
}

void tst_ControlSocket::cleanup()
{
    m_window.reset();
}

// The window on COM1, its port open (extra: further ports), the control socket listening on a
// free TCP port of 127.0.0.1 (or where the options say) and a client connected to it.
void tst_ControlSocket::startPanel(const PortMap &extra)
{
    m_window->options().ports = extra;
    m_window->start();
    if (QTest::currentTestFailed())
        return;
    m_form = &m_window->form();
    m_boxes = &m_window->boxes();
    m_control = &m_window->control();
    m_server = &m_window->controlServer();
    m_client = &m_window->client();
    sent(50);
}

void tst_ControlSocket::commandSendsItsControlsFrame_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("route 2 3: IN3 of Out2") << QByteArray("route 2 3") << frames::Route(1, 2);
    QTest::newRow("route 4 1: IN1 of Out4") << QByteArray("route 4 1") << frames::Route(3, 0);
    QTest::newRow("route all 4: IN4 of ALL") << QByteArray("route all 4") << frames::Route(4, 3);
    QTest::newRow("wall 3") << QByteArray("wall 3") << frames::VideoWallInput(2);
    QTest::newRow("mode wall") << QByteArray("mode wall") << frames::SetMode(1);
    QTest::newRow("mode matrix") << QByteArray("mode matrix") << frames::SetMode(0);
    QTest::newRow("resolution 2") << QByteArray("resolution 2") << frames::SetResolution(2);
    QTest::newRow("resolution by caption")
        << QByteArray("resolution 1920x1200") << frames::SetResolution(8);
    QTest::newRow("border up: top arrows") << QByteArray("border up") << frames::BorderVerticalIn();
    QTest::newRow("border down: bottom arrows")
        << QByteArray("border down") << frames::BorderVerticalOut();
    QTest::newRow("border left: left arrows")
        << QByteArray("border left") << frames::BorderHorizontalOut();
    QTest::newRow("border right: right arrows")
        << QByteArray("border right") << frames::BorderHorizontalIn();
    QTest::newRow("reset") << QByteArray("reset") << frames::BorderReset();
    QTest::newRow("update") << QByteArray("update") << frames::StatusRequest();
    QTest::newRow("address auto") << QByteArray("address auto") << frames::SetAutoAddress();
    QTest::newRow("address 192.168.1.100")
        << QByteArray("address 192.168.1.100") << frames::SetFixedAddress({192, 168, 1, 100});
}

void tst_ControlSocket::commandSendsItsControlsFrame()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, frame);
    startPanel();
    QCOMPARE(m_client->ask(command), QByteArray("ok"));
    QCOMPARE(sent(), frame); // that frame, once, and nothing else
    QCOMPARE(m_boxes->count(), 0);
}

void tst_ControlSocket::commandSelectsAsTheClickDoes()
{
    startPanel();
    QCOMPARE(m_client->ask("route 2 3"), QByteArray("ok"));
    QVERIFY(controls(m_form).Option4[2]->isChecked());
    QVERIFY(!controls(m_form).Option3[2]->isChecked()); // the other rows stay as they were
    QCOMPARE(m_client->ask("resolution 4"), QByteArray("ok"));
    QVERIFY(controls(m_form).Option1[4]->isChecked());
    QCOMPARE(m_client->ask("mode wall"), QByteArray("ok"));
    QVERIFY(controls(m_form).Option2[1]->isChecked());
    QVERIFY(controls(m_form).Option3[0]->isEnabled()); // the groups follow the device's reply only

    QCOMPARE(m_client->ask("address 10.0.0.5"), QByteArray("ok"));
    QVERIFY(controls(m_form).Option11->isChecked());
    QVERIFY(!controls(m_form).Frame1->isHidden());
    QCOMPARE(m_form->ipMode, 0);
    QCOMPARE(m_client->ask("address auto"), QByteArray("ok"));
    QVERIFY(controls(m_form).Option10->isChecked());
    QVERIFY(controls(m_form).Frame1->isHidden());
    QCOMPARE(m_form->ipMode, 1);
    QCOMPARE(m_boxes->count(), 0);
}

void tst_ControlSocket::selectedOptionStillSendsItsFrameOnce_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("route 2 3") << QByteArray("route 2 3") << frames::Route(1, 2);
    QTest::newRow("route all 1") << QByteArray("route all 1") << frames::Route(4, 0);
    QTest::newRow("wall 2") << QByteArray("wall 2") << frames::VideoWallInput(1);
    QTest::newRow("mode matrix") << QByteArray("mode matrix") << frames::SetMode(0);
    QTest::newRow("resolution 5") << QByteArray("resolution 5") << frames::SetResolution(5);
}

void tst_ControlSocket::selectedOptionStillSendsItsFrameOnce()
{
    // The window shows the option selected, yet the device may never have had the frame: the
    // program asks for the switch, and gets it.
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, frame);
    startPanel();
    QCOMPARE(m_client->ask(command), QByteArray("ok"));
    QCOMPARE(sent(), frame);
    QCOMPARE(m_client->ask(command), QByteArray("ok"));
    QCOMPARE(sent(), frame);
}

void tst_ControlSocket::disabledControlsRefuse()
{
    startPanel();
    m_device->write("MD1\r\n"); // the device reports video-wall mode
    QTRY_VERIFY(!controls(m_form).Option3[0]->isEnabled());
    sent(100); // the window answers the report with SetMode
    QCOMPARE(m_client->ask("route 1 2"),
             QByteArray("error the matrix rows are disabled (video-wall mode)"));
    QCOMPARE(m_client->ask("route all 2"),
             QByteArray("error the matrix rows are disabled (video-wall mode)"));
    QVERIFY(!controls(m_form).Option3[1]->isChecked());
    QCOMPARE(sent(), QByteArray());
    QCOMPARE(m_client->ask("wall 2"), QByteArray("ok"));
    QCOMPARE(sent(), frames::VideoWallInput(1));

    m_device->write("MD0\r\n");
    QTRY_VERIFY(!controls(m_form).Option9[0]->isEnabled());
    sent(100);
    QCOMPARE(m_client->ask("wall 3"),
             QByteArray("error the video-wall inputs are disabled (matrix mode)"));
    QCOMPARE(sent(), QByteArray());
}

void tst_ControlSocket::closedPortAnswersPortClosedWithoutABox_data()
{
    QTest::addColumn<QByteArray>("command");
    for (const char *command : {"route 2 3", "route all 1", "wall 1", "mode wall", "resolution 4",
                                "border up", "reset", "update", "address auto", "address 10.0.0.5"})
        QTest::newRow(command) << QByteArray(command);
}

void tst_ControlSocket::closedPortAnswersPortClosedWithoutABox()
{
    QFETCH(QByteArray, command);
    startPanel();
    QCOMPARE(m_client->ask("disconnect"), QByteArray("ok"));
    QVERIFY(!m_form->MSComm1->PortOpen());
    QCOMPARE(m_client->ask(command), QByteArray("error port closed"));
    QCOMPARE(m_boxes->count(), 0);
    QCOMPARE(sent(), QByteArray());
    // The window's own click still shows its box: the command took the box for itself only.
    clickAsOperator(controls(m_form).Command6);
    QCOMPARE(m_boxes->count(), 1);
    QCOMPARE(m_boxes->last().title, QStringLiteral("ERROR"));
}

void tst_ControlSocket::connectAndDisconnect()
{
    startPanel();
    QCOMPARE(m_client->ask("connect"), QByteArray("ok")); // connected already: nothing to do
    QCOMPARE(sent(), QByteArray());
    QVERIFY(m_form->MSComm1->PortOpen());

    QCOMPARE(m_client->ask("disconnect"), QByteArray("ok"));
    QVERIFY(!m_form->MSComm1->PortOpen());
    QCOMPARE(controls(m_form).Command7->text(), QStringLiteral("Connect"));
    QCOMPARE(m_client->ask("disconnect"), QByteArray("ok"));
    QVERIFY(!m_form->MSComm1->PortOpen());

    QCOMPARE(m_client->ask("connect"), QByteArray("ok"));
    QVERIFY(m_form->MSComm1->PortOpen());
    QCOMPARE(controls(m_form).Command7->text(), QStringLiteral("Disconnect"));
    QCOMPARE(sent(), frames::StatusRequest());
    QCOMPARE(m_boxes->count(), 0);
}

void tst_ControlSocket::connectToAMissingDeviceSaysSo()
{
    PortMap ports;
    ports.map(2, m_dir->filePath(QStringLiteral("no-such-tty")));
    startPanel(ports);
    controls(m_form).Combo1->setCurrentIndex(1); // COM2, as the operator picks it: closes COM1
    m_form->Combo1_Click();
    QCOMPARE(m_client->ask("connect"), "error cannot open COM2 (" +
                                           m_dir->filePath(QStringLiteral("no-such-tty")).toUtf8() +
                                           ")");
    QVERIFY(!m_form->MSComm1->PortOpen());
    QCOMPARE(controls(m_form).Command7->text(), QStringLiteral("Connect"));
    QCOMPARE(m_boxes->count(), 0);
}

void tst_ControlSocket::commandWhileADialogWaits()
{
    startPanel();
    controls(m_form).Command7->click(); // disconnect
    QByteArray answerMeanwhile;
    QByteArray stateMeanwhile;
    m_boxes->setOperator([&](QMessageBox *box) {
        answerMeanwhile = m_client->ask("route 1 2");
        stateMeanwhile = m_client->ask("state");
        box->button(QMessageBox::Ok)->click();
    });
    controls(m_form).Command6->click(); // the write failure message waits for the operator
    QCOMPARE(m_boxes->count(), 1);
    QCOMPARE(answerMeanwhile, QByteArray("error a dialog in the window waits for the operator"));
    QVERIFY(!controls(m_form).Option3[1]->isChecked());
    QVERIFY(QJsonDocument::fromJson(stateMeanwhile).isObject());
    QCOMPARE(m_client->ask("route 1 2"), QByteArray("error port closed")); // once it is closed
}

void tst_ControlSocket::watchSeesEachChangeAReplyBrings()
{
    startPanel();
    QCOMPARE(m_client->ask("watch"), QByteArray("ok"));
    m_device->write("s12\r\n"); // output 1 shows IN3
    const std::optional<QByteArray> change = m_client->nextLine();
    QVERIFY(change);
    const QJsonObject state = QJsonDocument::fromJson(*change).object();
    const QJsonObject out1 = state.value(QStringLiteral("outputs")).toArray().at(0).toObject();
    QCOMPARE(out1.value(QStringLiteral("route")).toInt(), 3);
    QCOMPARE(out1.value(QStringLiteral("colour")).toString(), QStringLiteral("green"));

    // A reply that changes nothing brings no line; the next change does.
    m_device->write("s12\r\n");
    m_device->write("p20\r\n");
    const std::optional<QByteArray> next = m_client->nextLine();
    QVERIFY(next);
    QVERIFY(next->contains(R"({"colour":"red","name":null,"output":2)"));
    QCOMPARE(m_client->takeLines(), QList<QByteArray>());

    // Commands are answered on the same connection meanwhile.
    QVERIFY(m_client->ask("state").startsWith('{'));
}

void tst_ControlSocket::badInput_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("answer");
    QTest::newRow("unknown command")
        << QByteArray("frobnicate\n")
        << QByteArray("error unknown command \"frobnicate\" (try help)");
    QTest::newRow("wrong arguments")
        << QByteArray("route 5 1\n")
        << QByteArray("error usage: route OUT|all IN (OUT and IN 1-4 or a name)");
    QTest::newRow("binary junk")
        << QByteArray("\x00\x01\xff\xferoute 1 2\n", 14)
        << QByteArray("error not a text command (only UTF-8 text without control characters)");
    QTest::newRow("a line over 256 bytes: its command is dropped")
        << "route 1 2" + QByteArray(300, ' ') + "\n"
        << QByteArray("error line too long (more than 256 bytes)");
    QTest::newRow("64 KiB without a line end")
        << QByteArray(65536, 'x') + "\n"
        << QByteArray("error line too long (more than 256 bytes)");
}

void tst_ControlSocket::badInput()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, answer);
    startPanel();
    m_client->send(bytes);
    QCOMPARE(m_client->nextLine().value_or("(nothing)"), answer);
    QCOMPARE(sent(), QByteArray());
    // One answer for the line, and the connection carries on.
    QCOMPARE(m_client->takeLines(), QList<QByteArray>());
    QCOMPARE(m_client->ask("route 1 2"), QByteArray("ok"));
    QCOMPARE(sent(), frames::Route(0, 1));
    QCOMPARE(m_boxes->count(), 0);
}

void tst_ControlSocket::linesInAnyPieces()
{
    startPanel();
    m_client->send("route 1 1\nroute 1 2\r\nroute 1 3\rhelp\n");
    QCOMPARE(m_client->nextLine().value_or(""), QByteArray("ok"));
    QCOMPARE(m_client->nextLine().value_or(""), QByteArray("ok"));
    QCOMPARE(m_client->nextLine().value_or(""), QByteArray("ok"));
    QVERIFY(m_client->nextLine().value_or("").startsWith("ok route OUT|all IN; wall IN;"));
    QCOMPARE(sent(), frames::Route(0, 0) + frames::Route(0, 1) + frames::Route(0, 2));

    for (const char c : QByteArray("route 2 4\r\n")) {
        m_client->send(QByteArray(1, c));
        QTest::qWait(2);
    }
    QCOMPARE(m_client->nextLine().value_or(""), QByteArray("ok"));
    QCOMPARE(sent(), frames::Route(1, 3));
    QCOMPARE(m_client->takeLines(), QList<QByteArray>());
}

void tst_ControlSocket::commandsOfAClientThatLeftAreCarriedOut()
{
    // A program that sends its commands and hangs up at once, as nc does.
    startPanel();
    QByteArray commands;
    QByteArray expected;
    for (int i = 0; i < 40; ++i) {
        commands += "route 3 " + QByteArray::number(i % 4 + 1) + "\n";
        expected += frames::Route(2, i % 4);
    }
    m_client->send(commands + "route 4 2"); // the last has no line end: not a command
    m_client->socket().waitForBytesWritten(1000);
    m_window->takeClient().reset();
    m_client = nullptr;
    QTRY_COMPARE(m_server->clientCount(), 0);
    QCOMPARE(sent(), expected);
}

void tst_ControlSocket::idleClientIsClosed_data()
{
    QTest::addColumn<QByteArray>("sentAt30s"); // by the client, 30 s after it connected
    QTest::addColumn<qint64>("quietUntil");    // the clock then stands there, ms after the connect
    QTest::addColumn<bool>("closed");
    QTest::newRow("silent: open at 59.999 s") << QByteArray() << qint64(59'999) << false;
    QTest::newRow("silent: closed at 60 s") << QByteArray() << qint64(60'000) << true;
    QTest::newRow("a line without its end is none: closed at 60 s")
        << QByteArray("state") << qint64(60'000) << true;
    QTest::newRow("a command at 30 s: open at 89.999 s")
        << QByteArray("state\n") << qint64(89'999) << false;
    QTest::newRow("a command at 30 s: closed at 90 s")
        << QByteArray("state\n") << qint64(90'000) << true;
    QTest::newRow("a watcher is never idle")
        << QByteArray("watch\n") << qint64(86'400'000) << false;
    QTest::newRow("nor is a client of the line monitor")
        << QByteArray("monitor\n") << qint64(86'400'000) << false;
}

void tst_ControlSocket::idleClientIsClosed()
{
    QFETCH(QByteArray, sentAt30s);
    QFETCH(qint64, quietUntil);
    QFETCH(bool, closed);
    startPanel();
    m_now = 30'000;
    m_client->send(sentAt30s);
    if (sentAt30s.endsWith('\n'))
        QVERIFY(m_client->nextLine());
    else
        QTest::qWait(100); // the panel has what was sent
    m_now = quietUntil;
    if (closed) {
        QCOMPARE(m_client->nextLine().value_or("(nothing)"), QByteArray("error idle"));
        QVERIFY(m_client->waitForDisconnected());
        QCOMPARE(m_server->clientCount(), 0);
    } else {
        QTest::qWait(ControlServer::checkMs * 3 / 2);
        QVERIFY(m_client->isConnected());
        QCOMPARE(m_client->takeLines(), QList<QByteArray>());
        QCOMPARE(m_server->clientCount(), 1);
    }
}

void tst_ControlSocket::fullSocketMakesRoomForANewClient()
{
    // Sixteen clients: the first watches, the others ask once each, a second apart, all but
    // the fifth, which sends nothing. A newcomer takes the place of the client idle longest
    // among those that do not watch.
    startPanel();
    const quint16 port = m_server->address().port;
    std::vector<std::unique_ptr<ControlClient>> clients;
    clients.push_back(m_window->takeClient());
    m_client = nullptr;
    QCOMPARE(clients.front()->ask("watch"), QByteArray("ok"));
    while (clients.size() < size_t(ControlServer::maxClients)) {
        clients.push_back(std::make_unique<ControlClient>(port));
        QVERIFY(clients.back()->waitForConnected());
    }
    QTRY_COMPARE(m_server->clientCount(), 16);
    for (size_t i = 1; i < clients.size(); ++i) {
        m_now += 1000;
        if (i != 4)
            QVERIFY(clients[i]->ask("state").startsWith('{'));
    }

    ControlClient newcomer(port);
    QVERIFY(newcomer.ask("state").startsWith('{'));
    QCOMPARE(clients[4]->nextLine().value_or("(nothing)"), QByteArray("error idle"));
    QVERIFY(clients[4]->waitForDisconnected());
    ControlClient next(port); // now the second, which asked first
    QVERIFY(next.ask("state").startsWith('{'));
    QCOMPARE(clients[1]->nextLine().value_or("(nothing)"), QByteArray("error idle"));
    QVERIFY(clients[1]->waitForDisconnected());
    QCOMPARE(m_server->clientCount(), 16);

    // With every place taken by a watcher, there is no room.
    for (size_t i = 2; i < clients.size(); ++i) {
        if (i != 4)
            QCOMPARE(clients[i]->ask("watch"), QByteArray("ok"));
    }
    QCOMPARE(newcomer.ask("watch"), QByteArray("ok"));
    QCOMPARE(next.ask("watch"), QByteArray("ok"));
    ControlClient refused(port);
    QCOMPARE(refused.nextLine().value_or("(nothing)"), QByteArray("error busy"));
    QVERIFY(refused.waitForDisconnected());
    QCOMPARE(refused.takeLines(), QList<QByteArray>());
    QCOMPARE(clients.front()->ask("route 1 3"), QByteArray("ok"));

    clients.front().reset();
    QTRY_COMPARE(m_server->clientCount(), 15);
    ControlClient last(port);
    QCOMPARE(last.ask("route 1 4"), QByteArray("ok"));
}

void tst_ControlSocket::watcherIsDroppedOnceItTakesNothing()
{
    startPanel();
    QSignalSpy dropped(m_server, &ControlServer::clientDropped);
    ControlClient slow(m_server->address().port, 4096);
    QCOMPARE(slow.ask("watch"), QByteArray("ok"));
    const qsizetype stateLine = m_client->ask("state").size() + 1;

    // Output 1 alternates between IN1 and IN2: every reply is a change and a line for the
    // watcher, far more than its buffers hold. It never reads again; what waits for it stays
    // within a window and a line, and it stays while the clock stands.
    int replies = 0;
    for (int round = 0; round < 100; ++round) {
        QByteArray batch;
        for (int i = 0; i < 50; ++i, ++replies)
            batch += replies % 2 ? "s10\r\n" : "s11\r\n";
        m_device->write(batch);
        QTest::qWait(10);
        m_device->readAvailable(); // the window echoes each route; the device takes it
        QVERIFY2(m_server->queuedBytes() < ClientOutput::window + 2 * stateLine,
                 qPrintable(QString::number(m_server->queuedBytes())));
    }
    QCOMPARE(dropped.size(), 0);

    // The system takes none of its output for 30 s: dropped, and its connection ends.
    m_now += 29'999;
    QTest::qWait(ControlServer::checkMs * 3 / 2);
    QCOMPARE(dropped.size(), 0);
    QTest::ignoreMessage(QtWarningMsg, "control client dropped: it has taken none of its "
                                       "output for 30 s");
    m_now += 1;
    QTRY_COMPARE(dropped.size(), 1);
    QElapsedTimer reading;
    reading.start();
    while (slow.isConnected() && reading.elapsed() < 5000) {
        slow.socket().readAll();
        QTest::qWait(5);
    }
    QVERIFY(!slow.isConnected());
    QCOMPARE(m_server->clientCount(), 1);

    // The window and the other clients carry on.
    m_device->write("s13\r\n");
    QTRY_VERIFY(controls(m_form).Option3[3]->isChecked());
    QCOMPARE(m_client->ask("route 2 1"), QByteArray("ok"));
}

void tst_ControlSocket::answersWaitForAClientThatDoesNotRead()
{
    // 3000 commands sent at once, about 1 MB of answers, by a client that does not read for
    // now: its commands wait while its answers do, and none is lost once it reads.
    startPanel();
    ControlClient reader(m_server->address().port, 4096);
    QVERIFY(reader.waitForConnected());
    constexpr int commands = 3000;
    reader.send(QByteArray("help\n").repeated(commands));
    const qsizetype answer = m_client->ask("help").size() + 1;
    for (int i = 0; i < 100; ++i) {
        QTest::qWait(10);
        QVERIFY2(m_server->queuedBytes() < ClientOutput::window + 2 * answer,
                 qPrintable(QString::number(m_server->queuedBytes())));
    }
    // Read as it comes (readAll: Qt's bounded read buffer refills only when read past its end).
    QByteArray received;
    QElapsedTimer reading;
    reading.start();
    while (received.size() < commands * answer && reading.elapsed() < 20000) {
        received += reader.socket().readAll();
        QTest::qWait(1);
    }
    QTest::qWait(50);
    received += reader.socket().readAll();
    QCOMPARE(received, ("ok " + controlCommandSummary() + "\n").repeated(commands));
}

void tst_ControlSocket::readingWatcherKeepsUpWithABurst_data()
{
    QTest::addColumn<int>("reports");
    QTest::newRow("250 reports in one read") << 250;
    QTest::newRow("400 reports in one read: over 64 KiB of watch lines") << 400;
    QTest::newRow("750 reports in one read") << 750;
}

void tst_ControlSocket::readingWatcherKeepsUpWithABurst()
{
    QFETCH(int, reports);
    startPanel();
    QSignalSpy dropped(m_server, &ControlServer::clientDropped);
    QCOMPARE(m_client->ask("watch"), QByteArray("ok"));
    // Output 1 alternates between IN1 and IN2; the last report shows IN1.
    QByteArray burst;
    for (int i = reports; i > 0; --i)
        burst += i % 2 ? "s10\r\n" : "s11\r\n";
    QVERIFY(m_device->write(burst));

    // The window echoes each route; the device takes it.
    const QList<QByteArray> lines =
        m_client->linesUntilQuiet(500, [this] { m_device->readAvailable(); });
    QCOMPARE(dropped.size(), 0);
    QVERIFY(m_client->isConnected());
    QVERIFY(!lines.isEmpty());
    QVERIFY(controls(m_form).Option3[0]->isChecked());
    QCOMPARE(lines.last(), m_client->ask("state")); // the watcher ends on what the window shows
}

namespace {

// Answers every command with one long line.
class LongAnswers : public ControlTarget
{
public:
    explicit LongAnswers(int size) : m_size(size) {}
    ControlAnswer execute(const ControlCommand &) override
    {
        return ControlAnswer::json(QByteArray(m_size, 'x'));
    }

private:
    int m_size;
};

} // namespace

void tst_ControlSocket::longAnswerIsDelivered_data()
{
    QTest::addColumn<int>("size");
    QTest::newRow("4 KiB: a state with a device path as long as the system allows") << 4096;
    QTest::newRow("100 KiB: more than the old bound for one answer") << 100 * 1024;
    QTest::newRow("1 MiB") << 1024 * 1024;
}

void tst_ControlSocket::longAnswerIsDelivered()
{
    QFETCH(int, size);
    LongAnswers target(size);
    ControlServer server(target);
    QVERIFY(server.listen(*ListenAddress::parse(QStringLiteral("0"))));
    QSignalSpy dropped(&server, &ControlServer::clientDropped);
    ControlClient client(server.address().port);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(client.ask("state").size(), size);
    QCOMPARE(dropped.size(), 0);
    QCOMPARE(client.ask("help").left(3), QByteArray("ok ")); // the connection carries on
}

void tst_ControlSocket::laggingMonitorIsToldWhatWasLeftOut()
{
    // 20,000 entries of the line monitor (2 MB) in one turn, for a client that reads later:
    // what waits for it stays within two windows and a line, it gets the first entries in order,
    // and once it has read, one line says how many were left out before the next entry.
    LongAnswers target(0);
    ControlServer server(target);
    QVERIFY(server.listen(*ListenAddress::parse(QStringLiteral("0"))));
    ControlClient client(server.address().port, 4096);
    QCOMPARE(client.ask("monitor"), QByteArray("ok"));
    constexpr int entries = 20'000;
    const auto entry = [](int i) { return QByteArray::number(i).leftJustified(99, '.'); };
    for (int i = 0; i < entries; ++i)
        emit target.lineEntry(entry(i));
    QVERIFY2(server.queuedBytes() < 2 * ClientOutput::window + 100,
             qPrintable(QString::number(server.queuedBytes())));

    // Read as it comes (readAll: Qt's bounded read buffer refills only when read past its end).
    const auto readUntilQuiet = [&client] {
        QByteArray received;
        QElapsedTimer quiet;
        quiet.start();
        while (quiet.elapsed() < 300) {
            if (const QByteArray more = client.socket().readAll(); !more.isEmpty()) {
                received += more;
                quiet.restart();
            }
            QTest::qWait(2);
        }
        return received.split('\n');
    };
    QList<QByteArray> first = readUntilQuiet();
    QCOMPARE(first.takeLast(), QByteArray()); // after the last line end
    QVERIFY(first.size() > 100);
    QVERIFY(first.size() < entries / 2);
    for (int i = 0; i < first.size(); ++i)
        QCOMPARE(first.at(i), entry(i));
    emit target.lineEntry("the next entry");
    QCOMPARE(readUntilQuiet(),
             QList<QByteArray>({"... " + QByteArray::number(entries - first.size()) +
                                    " entries left out: this client read too slowly",
                                "the next entry", ""}));
}

void tst_ControlSocket::localSocket()
{
    // The control socket is velquor.sock in the working directory; the client connects there.
    m_window->options().control = WindowOnLine::Control::Local;
    startPanel();
    const QString path = m_dir->filePath(QStringLiteral("velquor.sock"));
    struct stat status = {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &status), 0);
    QVERIFY(S_ISSOCK(status.st_mode));
    QCOMPARE(status.st_mode & 07777, mode_t(0600));

    QCOMPARE(m_client->ask("route 3 1"), QByteArray("ok"));
    QCOMPARE(sent(), frames::Route(2, 0));

    m_window->closeControl();
    QVERIFY(!QFileInfo::exists(path)); // removed with the server
}

void tst_ControlSocket::localSocketPathInUse()
{
    startPanel();
    const QString path = m_dir->filePath(QStringLiteral("velquor.sock"));
    const auto address = *ListenAddress::parse(QStringLiteral("unix:") + path);

    // A socket file whose panel ended without removing it is replaced.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un name{};
    name.sun_family = AF_UNIX;
    qstrncpy(name.sun_path, QFile::encodeName(path).constData(), sizeof name.sun_path);
    QCOMPARE(::bind(fd, reinterpret_cast<sockaddr *>(&name), sizeof name), 0);
    ::close(fd);
    QVERIFY(QFileInfo::exists(path));
    {
        ControlServer server(*m_control);
        QString error;
        QVERIFY2(server.listen(address, &error), qPrintable(error));
        ControlClient client(path);
        QVERIFY(client.ask("state").startsWith('{'));

        // While it listens, a second panel leaves it alone.
        ControlServer second(*m_control);
        QVERIFY(!second.listen(address, &error));
        QCOMPARE(
            error,
            QStringLiteral("cannot listen on unix:%1: another program listens there").arg(path));
        QVERIFY(client.ask("state").startsWith('{'));
    }

    // A file of another kind is never removed.
    QVERIFY(m_dir->write(QStringLiteral("velquor.sock"), "notes\n"));
    ControlServer server(*m_control);
    QString error;
    QVERIFY(!server.listen(address, &error));
    QCOMPARE(
        error,
        QStringLiteral("cannot listen on unix:%1: the file exists and is not a socket").arg(path));
    QCOMPARE(m_dir->read(QStringLiteral("velquor.sock")), QByteArray("notes\n"));
}

void tst_ControlSocket::openAddressWarnsOnce()
{
    startPanel(); // listens on 127.0.0.1 without a warning
    ControlServer open(*m_control);
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(QStringLiteral(
                             "^warning: the control socket on 0\\.0\\.0\\.0:[1-9][0-9]* has no "
                             "authentication: anyone who can reach it can switch the matrix$")));
    QString error;
    const auto address = *ListenAddress::parse(QStringLiteral("0.0.0.0:0"));
    QVERIFY2(open.listen(address, &error), qPrintable(error));
    ControlClient client(open.address().port);
    QVERIFY(client.ask("state").startsWith('{'));
}

QTEST_MAIN(tst_ControlSocket)
#include "tst_controlsocket.moc"
