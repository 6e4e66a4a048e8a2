// SPDX-License-Identifier: MIT
// The window on serial device servers that misbehave: one that never reads, one that says
// nothing, one that confirms the line slowly, and one that is not there yet at start-up.

#include "controlclient.h"
#include "form1.h"
#include "frames.h"
#include "hostilepeers.h"
#include "messageboxwatcher.h"
#include "mscomm.h"
#include "networklink.h"
#include "ptyhost.h"
#include "ser2net.h"
#include "windowcontrols.h"
#include "windowonline.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

QStringList warnings;

void collectWarnings(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtWarningMsg && context.category &&
        QByteArrayView(context.category) == "velquor.serial")
        warnings.append(message);
}

} // namespace

class tst_HostilePeers : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void serverThatNeverReadsIsDropped();
    void linkToAServerThatNeverReadsHoldsAtMost64KiB();
    void silentServerIsRefusedWhileTheSocketAnswers();
    void remoteConnectThatFailsShowsNoBox();
    void connectWaitsForAllFourConfirmations();
    void serverAbsentAtStartUpIsTriedAgain_data();
    void serverAbsentAtStartUpIsTriedAgain();

private:
    // The window with COM1 on entry and a client on the control socket.
    void start(const QString &entry, WindowOnLine::StartUp startUp);

    std::unique_ptr<WindowOnLine> m_window;
};

void tst_HostilePeers::cleanup()
{
    m_window.reset();
}

void tst_HostilePeers::start(const QString &entry, WindowOnLine::StartUp startUp)
{
    WindowOnLine::Options options;
    options.device = WindowOnLine::Device::None;
    options.ports.map(1, entry);
    options.startUp = startUp;
    options.control = WindowOnLine::Control::Tcp;
    m_window = std::make_unique<WindowOnLine>(options);
    m_window->start();
}

// The server asks again and again and reads none of the answers: the link is dropped before
// they fill the memory, with one line that says why.
void tst_HostilePeers::serverThatNeverReadsIsDropped()
{
    HostilePeer server(HostilePeer::Script::NeverReads);
    QVERIFY(server.isListening());
    warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collectWarnings);
    const auto restore = qScopeGuard([&] { qInstallMessageHandler(previous); });
    // The link may be open and dropped again before the fixture could see it open: only a
    // link that was open is dropped for not reading, which the warning says.
    start(server.entry(true), WindowOnLine::StartUp::AsItComes);
    Form1 &form = m_window->form();

    QTRY_COMPARE_WITH_TIMEOUT(warnings.size(), 1, 15000);
    QTRY_VERIFY(!form.MSComm1->PortOpen() && !form.MSComm1->PortOpening());
    QVERIFY(m_window->showsDisconnected());
    QCOMPARE(m_window->boxes().count(), 0); // a lost link, not a failed open
    QTest::qWait(200);
    QCOMPARE(warnings.size(), 1);
    QVERIFY2(warnings.first().contains(u"does not read"_s), qPrintable(warnings.first()));
}

// What waits for a server that reads nothing stays within the 64 KiB the documentation gives;
// the write that would pass it drops the link as lost. The system's own buffers fill first.
void tst_HostilePeers::linkToAServerThatNeverReadsHoldsAtMost64KiB()
{
    constexpr qint64 documentedBound = 64 * 1024;
    constexpr qint64 chunk = 1024;
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    NetworkLink link;
    QSignalSpy opened(&link, &NetworkLink::openFinished);
    QSignalSpy lost(&link, &NetworkLink::lost);
    link.startOpen({NetworkPort::Kind::Raw, u"127.0.0.1"_s, server.serverPort()}, SerialSettings{},
                   3000);
    QVERIFY(server.waitForNewConnection(5000));
    QTcpSocket *peer = server.nextPendingConnection();
    peer->setReadBufferSize(1); // takes one byte off the line, then nothing more
    QVERIFY(opened.wait(5000));
    QCOMPARE(opened.first().first().toBool(), true);

    const QByteArray bytes(chunk, 'x');
    qint64 mostWaiting = 0;
    bool dropped = false;
    for (int i = 0; i < 64 * 1024 && !dropped; ++i) { // 64 MiB at most, far past any buffer
        dropped = link.write(bytes) < 0;
        if (!dropped)
            mostWaiting = std::max(mostWaiting, link.bytesWaiting());
    }
    QVERIFY(dropped);
    QVERIFY2(mostWaiting <= documentedBound, qPrintable(QString::number(mostWaiting)));
    QVERIFY2(mostWaiting > documentedBound - chunk, qPrintable(QString::number(mostWaiting)));
    QTRY_COMPARE(lost.size(), 1);
    QVERIFY(link.write(bytes) < 0);
}

// A server that accepts and then says nothing: Connect waits its 3 s and fails as it always
// did, while the control socket goes on answering and shows the connect under way.
void tst_HostilePeers::silentServerIsRefusedWhileTheSocketAnswers()
{
    HostilePeer server(HostilePeer::Script::Silent);
    QVERIFY(server.isListening());
    QElapsedTimer clock;
    clock.start();
    qint64 boxAt = -1;
    start(server.entry(true), WindowOnLine::StartUp::AsItComes);
    Form1 &form = m_window->form();
    MessageBoxWatcher &boxes = m_window->boxes();
    boxes.setOperator([&](QMessageBox *box) {
        boxAt = clock.elapsed();
        box->button(QMessageBox::Ok)->click();
    });
    ControlClient &client = m_window->client();
    QVERIFY(!controls(form).Command7->isEnabled());
    QVERIFY(QGuiApplication::overrideCursor());
    controls(form).Command7->click(); // changes nothing: nothing is opened twice
    QCOMPARE(client.ask("connect"), "ok connecting"_ba);
    QCOMPARE(client.ask("route 1 2"), "error a connect is under way"_ba);

    qint64 longest = 0;
    int probes = 0;
    while (boxAt < 0 && clock.elapsed() < 8000) {
        QElapsedTimer asked;
        asked.start();
        const QByteArray state = client.ask("state");
        longest = std::max(longest, asked.elapsed());
        if (boxAt < 0)
            QVERIFY2(state.contains(R"("connecting":true)"), state.constData());
        ++probes;
        QTest::qWait(50);
    }
    QVERIFY2(boxAt >= 3000 && boxAt <= 4000, qPrintable(QString::number(boxAt)));
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.last().text, u"open serial port fail\uFF01 "_s);
    QCOMPARE(boxes.last().title, u"ERROR"_s);
    QVERIFY2(probes >= 20, qPrintable(QString::number(probes)));
    QVERIFY2(longest < 500, qPrintable(QString::number(longest)));

    QVERIFY(m_window->showsDisconnected());
    QVERIFY(controls(form).Command7->isEnabled());
    QVERIFY(!QGuiApplication::overrideCursor());
    const QByteArray state = client.ask("state");
    QVERIFY2(state.startsWith(R"({"connected":false,)"), state.constData());
    QVERIFY(!state.contains("connecting"));
    QCOMPARE(server.accepted(), 1);
}

// A connect from the control socket is answered before the open is done; when it fails, no
// box waits in the window for an operator who did not ask, and one line says why.
void tst_HostilePeers::remoteConnectThatFailsShowsNoBox()
{
    HostilePeer server(HostilePeer::Script::ClosesAtOnce);
    QVERIFY(server.isListening());
    start(server.entry(true), WindowOnLine::StartUp::AsItComes);
    QTRY_COMPARE(m_window->boxes().count(), 1); // start-up's own, at the window
    warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collectWarnings);
    const auto restore = qScopeGuard([&] { qInstallMessageHandler(previous); });

    ControlClient &client = m_window->client();
    QCOMPARE(client.ask("connect"), "ok connecting"_ba);
    QTRY_VERIFY(!client.ask("state").contains("connecting"));
    QVERIFY(client.ask("state").startsWith(R"({"connected":false,)"));
    QCOMPARE(m_window->boxes().count(), 1);
    QCOMPARE(warnings.size(), 1);
    QVERIFY2(
        warnings.first().startsWith(u"COM1 (%1): open serial port fail"_s.arg(server.entry(true))),
        qPrintable(warnings.first()));
    QCOMPARE(server.accepted(), 2);
}

// The far end's line must be set before the first frame goes out: the status request of
// Connect comes after the server's fourth confirmation, however slowly they come.
void tst_HostilePeers::connectWaitsForAllFourConfirmations()
{
    HostilePeer server(HostilePeer::Script::ConfirmsSlowly, 300);
    QVERIFY(server.isListening());
    start(server.entry(true), WindowOnLine::StartUp::Reconnects);
    QVERIFY(m_window->showsConnected());
    QCOMPARE(server.accepted(), 2);
    QTRY_VERIFY(server.arrivedAtMs(frames::StatusRequest()) >= 0);
    const qint64 confirmed = server.lastConfirmationAtMs();
    QVERIFY2(confirmed >= 4 * 300, qPrintable(QString::number(confirmed)));
    QVERIFY2(
        server.arrivedAtMs(frames::StatusRequest()) >= confirmed,
        qPrintable(
            u"%1 before %2"_s.arg(server.arrivedAtMs(frames::StatusRequest())).arg(confirmed)));
    QCOMPARE(m_window->boxes().count(), 0);
}

void tst_HostilePeers::serverAbsentAtStartUpIsTriedAgain_data()
{
    QTest::addColumn<bool>("rfc2217");
    QTest::newRow("raw") << false;
    QTest::newRow("rfc2217") << true;
}

// With reconnection on, a server that is not up yet at start-up is tried until it is: the
// message once, then the status request once it opens.
void tst_HostilePeers::serverAbsentAtStartUpIsTriedAgain()
{
    QFETCH(bool, rfc2217);
    WindowOnLine::Options options;
    options.device = WindowOnLine::Device::Emulator;
    options.link = rfc2217 ? WindowOnLine::Link::Rfc2217 : WindowOnLine::Link::Tcp;
    options.reconnect = true;
    options.startUp = WindowOnLine::StartUp::AsItComes;
    m_window = std::make_unique<WindowOnLine>(options);
    m_window->prepare();
    if (QTest::currentTestFailed())
        return;
    m_window->ser2net().stop();
    m_window->start();
    Form1 &form = m_window->form();
    QTRY_COMPARE(m_window->boxes().count(), 1); // start-up's message
    QVERIFY(m_window->showsDisconnected());
    QVERIFY(form.isReconnecting());
    QTest::qWait(1500); // a try while it is down shows nothing
    QCOMPARE(m_window->boxes().count(), 1);

    QSignalSpy frames(&m_window->host(), &PtyHost::frameReceived);
    QVERIFY2(m_window->ser2net().start(), m_window->ser2net().log().constData());
    QTRY_VERIFY_WITH_TIMEOUT(form.MSComm1->PortOpen(), 10000);
    QVERIFY(m_window->showsConnected());
    QTRY_VERIFY(!frames.isEmpty());
    QCOMPARE(frames.first().first().toByteArray(), frames::StatusRequest());
    QCOMPARE(m_window->boxes().count(), 1);
}

QTEST_MAIN(tst_HostilePeers)
#include "tst_hostilepeers.moc"
