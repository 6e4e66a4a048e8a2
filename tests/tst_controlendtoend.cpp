// SPDX-License-Identifier: MIT
// Another program drives the real window through the control socket, against the emulated
// matrix on a real pseudo-terminal.

#include "colorbutton.h"
#include "console.h"
#include "controlclient.h"
#include "form1.h"
#include "frames.h"
#include "messageboxwatcher.h"
#include "mscomm.h"
#include "ptyhost.h"
#include "windowonline.h"

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
    QTRY_VERIFY(m_form->Option9[0]->isChecked()); // MP comes last
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
    QSignalSpy frames(m_host, &PtyHost::frameReceived);
    QCOMPARE(m_client->ask("route 2 3"), QByteArray("error port closed"));
    QCOMPARE(m_boxes->count(), 0);
    QCOMPARE(state().value(QStringLiteral("connected")).toBool(), false);
    settle();
    QCOMPARE(frames.size(), 0);
    QCOMPARE(m_host->model().route(1), 1);
}

QTEST_MAIN(tst_ControlEndToEnd)
#include "tst_controlendtoend.moc"
