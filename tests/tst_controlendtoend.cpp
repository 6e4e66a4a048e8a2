// SPDX-License-Identifier: MIT
// Another program drives the real window through the control socket, against the emulated
// matrix on a real pseudo-terminal.

#include "colorbutton.h"
#include "console.h"
#include "controlclient.h"
#include "controlserver.h"
#include "form1.h"
#include "frames.h"
#include "messageboxwatcher.h"
#include "mscomm.h"
#include "ptyhost.h"
#include "windowcontrols.h"
#include "windowonline.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

#include <memory>

class tst_ControlEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void routeSwitchesTheMatrixAndTheRowFollows();
    void stateMatchesTheWindow();
    void watchSeesARouteChangedAtTheDevice();
    void closedPortAnswersAndNoBoxOpens();
    void quickCommandsEndOnTheLast_data();
    void quickCommandsEndOnTheLast();
    void manySourcesAtOnceLeaveTheLineQuiet();

private:
    void settle() { QTest::qWait(300); }
    QJsonObject state();
    // Waits until no frame has reached the device for a second (at most 10 s).
    bool lineFallsQuiet(const QSignalSpy &frames);
    // The window and the socket's state show what the device holds.
    void verifyShowsTheDevice();

    std::unique_ptr<WindowOnLine> m_window;
    PtyHost *m_host = nullptr;
    Form1 *m_form = nullptr;
    MessageBoxWatcher *m_boxes = nullptr;
    ControlClient *m_client = nullptr;
};

void tst_ControlEndToEnd::init()
{
    WindowOnLine::Options options;
    options.device = WindowOnLine::Device::Emulator;
    options.control = WindowOnLine::Control::Tcp;
    m_window = std::make_unique<WindowOnLine>(options);
    m_window->prepare();
    m_host = &m_window->host();
    m_host->model().setRoute(0, 2);
    m_host->model().setResolution(6);
    m_host->model().setDisplayAttached(3, false);
    m_window->start();
    m_form = &m_window->form();
    m_boxes = &m_window->boxes();
    m_client = &m_window->client();

    // Connected at start-up; "update" asks the device for its state, as the button does.
    QCOMPARE(m_client->ask("update"), QByteArray("ok"));
    QTRY_VERIFY(controls(m_form).Option9[0]->isChecked()); // MP comes last
    settle();
}

void tst_ControlEndToEnd::cleanup()
{
    m_window.reset();
}

QJsonObject tst_ControlEndToEnd::state()
{
    const QByteArray answer = m_client->ask("state");
    QJsonParseError error{};
    const QJsonDocument json = QJsonDocument::fromJson(answer, &error);
    if (!json.isObject())
        qWarning() << "not a JSON object:" << answer << error.errorString();
    return json.object();
}

void tst_ControlEndToEnd::routeSwitchesTheMatrixAndTheRowFollows()
{
    QSignalSpy frames(m_host, &PtyHost::frameReceived);
    QSignalSpy replies(m_host, &PtyHost::replySent);
    QCOMPARE(m_client->ask("route 2 3"), QByteArray("ok"));
    QTRY_COMPARE(frames.size(), 1);
    QCOMPARE(frames.first().first().toByteArray(), QByteArray::fromHex("0555191277"));
    QCOMPARE(m_host->model().route(1), 2);

    // The device reports the route, and the window shows it.
    QTRY_VERIFY(!replies.isEmpty());
    settle();
    QVERIFY(controls(m_form).Option4[2]->isChecked());
    QCOMPARE(controls(m_form).Command8[1]->BackColor(), ColorButton::green);
    QCOMPARE(frames.size(), 1); // nothing went back: the report matched the window
    QCOMPARE(m_boxes->count(), 0);
}

void tst_ControlEndToEnd::stateMatchesTheWindow()
{
    const QJsonObject json = state();
    QCOMPARE(json.value(QStringLiteral("connected")).toBool(), m_form->MSComm1->PortOpen());
    QCOMPARE(json.value(QStringLiteral("port")).toString(), QStringLiteral("COM1"));
    QCOMPARE(json.value(QStringLiteral("device")).toString(), m_host->slavePath());
    QCOMPARE(json.value(QStringLiteral("mode")).toString(), QStringLiteral("matrix"));
    QVERIFY(controls(m_form).Option2[0]->isChecked());
    QCOMPARE(json.value(QStringLiteral("wall")).toInt(), 1);
    QCOMPARE(json.value(QStringLiteral("resolution")).toString(),
             controls(m_form).Option1[6]->text());
    QVERIFY(controls(m_form).Option1[6]->isChecked());

    const ControlArray<QRadioButton> *rows[] = {
        &controls(m_form).Option3, &controls(m_form).Option4, &controls(m_form).Option5,
        &controls(m_form).Option6};
    const QJsonArray outputs = json.value(QStringLiteral("outputs")).toArray();
    QCOMPARE(outputs.size(), 4);
    for (int o = 0; o < 4; ++o) {
        const QJsonObject output = outputs.at(o).toObject();
        QCOMPARE(output.value(QStringLiteral("output")).toInt(), o + 1);
        const int route = output.value(QStringLiteral("route")).toInt(); // null: 0
        for (int k = 0; k < 4; ++k)
            QCOMPARE((*rows[o])[k]->isChecked(), k == route - 1);
        const quint32 colour = controls(m_form).Command8[o]->BackColor();
        QCOMPARE(output.value(QStringLiteral("colour")).toString(),
                 colour == ColorButton::green ? QStringLiteral("green") : QStringLiteral("red"));
    }
    // What the device holds: IN3 on out1, no display on out4 (and so no route reported).
    QCOMPARE(outputs.at(0).toObject().value(QStringLiteral("route")).toInt(), 3);
    QCOMPARE(outputs.at(3).toObject().value(QStringLiteral("colour")).toString(),
             QStringLiteral("red"));
    QVERIFY(outputs.at(3).toObject().value(QStringLiteral("route")).isNull());
}

void tst_ControlEndToEnd::watchSeesARouteChangedAtTheDevice()
{
    QCOMPARE(m_client->ask("watch"), QByteArray("ok"));
    QString error;
    const auto command = parseConsoleCommand(QStringLiteral("route 3 2"), &error);
    QVERIFY2(command, qPrintable(error));
    m_host->push(applyConsoleCommand(m_host->model(), *command));

    const std::optional<QByteArray> line = m_client->nextLine();
    QVERIFY(line);
    const QJsonObject change = QJsonDocument::fromJson(*line).object();
    const QJsonObject out3 = change.value(QStringLiteral("outputs")).toArray().at(2).toObject();
    QCOMPARE(out3.value(QStringLiteral("route")).toInt(), 2);
    QVERIFY(controls(m_form).Option5[1]->isChecked());
    settle();
    QCOMPARE(m_client->takeLines(), QList<QByteArray>()); // one change, one line
}

void tst_ControlEndToEnd::closedPortAnswersAndNoBoxOpens()
{
    controls(m_form).Command7->click(); // the operator disconnects
    QVERIFY(!m_form->MSComm1->PortOpen());
    QSignalSpy frames(m_host, &PtyHost::frameReceived);
    QCOMPARE(m_client->ask("route 2 3"), QByteArray("error port closed"));
    QCOMPARE(m_boxes->count(), 0);
    QCOMPARE(state().value(QStringLiteral("connected")).toBool(), false);
    settle();
    QCOMPARE(frames.size(), 0);
    QCOMPARE(m_host->model().route(1), 1);
}

bool tst_ControlEndToEnd::lineFallsQuiet(const QSignalSpy &frames)
{
    QElapsedTimer waited;
    waited.start();
    QElapsedTimer quiet;
    quiet.start();
    qsizetype seen = frames.size();
    while (waited.elapsed() < 10000) {
        QTest::qWait(50);
        if (frames.size() != seen || !m_host->isIdle()) {
            seen = frames.size();
            quiet.restart();
        } else if (quiet.elapsed() >= 1000) {
            return true;
        }
    }
    return false;
}

void tst_ControlEndToEnd::verifyShowsTheDevice()
{
    const MatrixModel &device = m_host->model();
    const QJsonObject json = state();
    const QJsonArray outputs = json.value(QStringLiteral("outputs")).toArray();
    for (int o = 0; o < 4; ++o) {
        if (!device.displayAttached(o))
            continue; // no route is reported for an output without a display
        QCOMPARE(outputs.at(o).toObject().value(QStringLiteral("route")).toInt(),
                 device.route(o) + 1);
        QVERIFY(controls(m_form).switchRow(o + 1)[device.route(o)]->isChecked());
    }
    QCOMPARE(json.value(QStringLiteral("mode")).toString(),
             device.mode() == 0 ? QStringLiteral("matrix") : QStringLiteral("wall"));
    QVERIFY(controls(m_form).Option2[device.mode()]->isChecked());
    QVERIFY(controls(m_form).Option1[device.resolution()]->isChecked());
    QCOMPARE(json.value(QStringLiteral("wall")).toInt(), device.wallInput() + 1);
}

// Commands sent faster than the device confirms them: each goes out once, the confirmations
// are shown and not sent back, and the window ends on the last command.
void tst_ControlEndToEnd::quickCommandsEndOnTheLast_data()
{
    QTest::addColumn<QByteArrayList>("commands");
    QTest::newRow("two routes of out1") << QByteArrayList{"route 1 2", "route 1 3"};
    QByteArrayList alternating;
    for (int i = 0; i < 10; ++i)
        alternating.append(i % 2 ? "route 1 3" : "route 1 2");
    QTest::newRow("ten alternating routes of out1") << alternating;
    QTest::newRow("ALL, then out2") << QByteArrayList{"route all 4", "route 2 1"};
    QTest::newRow("two resolutions") << QByteArrayList{"resolution 2", "resolution 5"};
    // The answer to the status request left the device before the route: not sent back.
    QTest::newRow("update, then a route") << QByteArrayList{"update", "route 1 2"};
    QTest::newRow("three modes") << QByteArrayList{"mode wall", "mode matrix", "mode wall"};
}

void tst_ControlEndToEnd::quickCommandsEndOnTheLast()
{
    QFETCH(QByteArrayList, commands);
    QSignalSpy frames(m_host, &PtyHost::frameReceived);
    for (const QByteArray &command : commands)
        QCOMPARE(m_client->ask(command), QByteArray("ok"));
    QVERIFY(lineFallsQuiet(frames));
    QCOMPARE(frames.size(), commands.size());
    QCOMPARE(m_host->lostReplies(), 0);
    verifyShowsTheDevice();
}

// A few hundred commands from three programs on the socket and from the operator's clicks,
// in bursts: afterwards the line falls quiet and the window shows what the device holds.
void tst_ControlEndToEnd::manySourcesAtOnceLeaveTheLineQuiet()
{
    const quint16 port = m_window->controlServer().address().port;
    std::vector<std::unique_ptr<ControlClient>> clients;
    for (int i = 0; i < 3; ++i) {
        clients.push_back(std::make_unique<ControlClient>(port));
        QVERIFY(clients.back()->waitForConnected());
    }
    QRandomGenerator random(20261211);
    const QByteArrayList kinds{"route 1 ", "route 2 ",    "route 3 ", "route all ",
                               "wall ",    "resolution ", "mode "};
    QSignalSpy frames(m_host, &PtyHost::frameReceived);
    for (int burst = 0; burst < 30; ++burst) {
        for (int i = 0; i < 10; ++i) {
            const QByteArray &kind = kinds[random.bounded(int(kinds.size()))];
            const int value =
                kind.startsWith("resolution") ? random.bounded(9) : 1 + random.bounded(4);
            if (kind.startsWith("mode")) {
                clients[0]->send(value % 2 ? "mode wall\n" : "mode matrix\n");
                continue;
            }
            if (random.bounded(4) == 0) {
                // The operator clicks instead, in the row or group the command names.
                if (kind.startsWith("resolution"))
                    controls(m_form).Option1[value]->click();
                else if (kind.startsWith("wall"))
                    controls(m_form).Option9[value - 1]->click();
                else
                    controls(m_form)
                        .switchRow(kind.contains("all") ? 0 : kind.at(6) - '0')[value - 1]
                        ->click();
                continue;
            }
            clients[random.bounded(int(clients.size()))]->send(kind + QByteArray::number(value) +
                                                               '\n');
        }
        QTest::qWait(random.bounded(80));
    }
    QVERIFY(lineFallsQuiet(frames));
    QCOMPARE(m_host->lostReplies(), 0);
    QCOMPARE(m_boxes->count(), 0);
    verifyShowsTheDevice();
}

QTEST_MAIN(tst_ControlEndToEnd)
#include "tst_controlendtoend.moc"
