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
#include "panelcontrol.h"
#include "ptyhost.h"
#include "scratchdir.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QRadioButton>
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

private:
    void settle() { QTest::qWait(300); }
    QJsonObject state();

    std::unique_ptr<ScratchDir> m_dir;
    std::unique_ptr<PtyHost> m_host;
    std::unique_ptr<Form1> m_form;
    std::unique_ptr<MessageBoxWatcher> m_boxes;
    std::unique_ptr<PanelControl> m_control;
    std::unique_ptr<ControlServer> m_server;
    std::unique_ptr<ControlClient> m_client;
};

void tst_ControlEndToEnd::init()
{
    m_dir = std::make_unique<ScratchDir>();
    QVERIFY(m_dir->isValid());
    m_host = std::make_unique<PtyHost>();
    QString error;
    QVERIFY2(m_host->open(&error), qPrintable(error));
    m_host->model().setRoute(0, 2);
    m_host->model().setResolution(6);
    m_host->model().setDisplayAttached(3, false);

    PortMap ports;
    ports.map(1, m_host->slavePath());
    m_form = std::make_unique<Form1>(ports);
    m_boxes = std::make_unique<MessageBoxWatcher>(m_form.get());
    m_control = std::make_unique<PanelControl>(*m_form);
    m_server = std::make_unique<ControlServer>(*m_control);
    QVERIFY2(m_server->listen(*ListenAddress::parse(QStringLiteral("0")), &error),
             qPrintable(error));
    m_form->Form_Load();
    m_form->show();
    m_client = std::make_unique<ControlClient>(m_server->address().port);
    QVERIFY(m_client->waitForConnected());

    // Connected at start-up; "update" asks the device for its state, as the button does.
    QCOMPARE(m_client->ask("update"), QByteArray("ok"));
    QTRY_VERIFY(m_form->Option9[0]->isChecked()); // MP comes last
    settle();
}

void tst_ControlEndToEnd::cleanup()
{
    m_client.reset();
    m_server.reset();
    m_control.reset();
    m_boxes.reset();
    m_form.reset();
    m_host.reset();
    m_dir.reset();
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
    QSignalSpy frames(m_host.get(), &PtyHost::frameReceived);
    QSignalSpy replies(m_host.get(), &PtyHost::replySent);
    QCOMPARE(m_client->ask("route 2 3"), QByteArray("ok"));
    QTRY_COMPARE(frames.size(), 1);
    QCOMPARE(frames.first().first().toByteArray(), QByteArray::fromHex("0555191277"));
    QCOMPARE(m_host->model().route(1), 2);

    // The device reports the route, and the window shows it.
    QTRY_VERIFY(!replies.isEmpty());
    settle();
    QVERIFY(m_form->Option4[2]->isChecked());
    QCOMPARE(m_form->Command8[1]->BackColor(), ColorButton::green);
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
    QVERIFY(m_form->Option2[0]->isChecked());
    QCOMPARE(json.value(QStringLiteral("wall")).toInt(), 1);
    QCOMPARE(json.value(QStringLiteral("resolution")).toString(), m_form->Option1[6]->text());
    QVERIFY(m_form->Option1[6]->isChecked());

    const ControlArray<QRadioButton> *rows[] = {&m_form->Option3, &m_form->Option4,
                                                &m_form->Option5, &m_form->Option6};
    const QJsonArray outputs = json.value(QStringLiteral("outputs")).toArray();
    QCOMPARE(outputs.size(), 4);
    for (int o = 0; o < 4; ++o) {
        const QJsonObject output = outputs.at(o).toObject();
        QCOMPARE(output.value(QStringLiteral("output")).toInt(), o + 1);
        const int route = output.value(QStringLiteral("route")).toInt(); // null: 0
        for (int k = 0; k < 4; ++k)
            QCOMPARE((*rows[o])[k]->isChecked(), k == route - 1);
        const quint32 colour = m_form->Command8[o]->BackColor();
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
    QVERIFY(m_form->Option5[1]->isChecked());
    settle();
    QCOMPARE(m_client->takeLines(), QList<QByteArray>()); // one change, one line
}

void tst_ControlEndToEnd::closedPortAnswersAndNoBoxOpens()
{
    m_form->Command7->click(); // the operator disconnects
    QVERIFY(!m_form->MSComm1->PortOpen());
    QSignalSpy frames(m_host.get(), &PtyHost::frameReceived);
    QCOMPARE(m_client->ask("route 2 3"), QByteArray("error port closed"));
    QCOMPARE(m_boxes->count(), 0);
    QCOMPARE(state().value(QStringLiteral("connected")).toBool(), false);
    settle();
    QCOMPARE(frames.size(), 0);
    QCOMPARE(m_host->model().route(1), 1);
}

QTEST_MAIN(tst_ControlEndToEnd)
#include "tst_controlendtoend.moc"
