// SPDX-License-Identifier: MIT
// The panel model on a real pseudo-terminal, without a window: what each command sends and
// answers, what each report shows, and which reports go back to the device.

#include "frames.h"
#include "mscomm.h"
#include "panelmodel.h"
#include "presetbook.h"
#include "ptypair.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;
using Outcome = PanelModel::Sent::Outcome;
using Display = PanelModel::State::Display;

class tst_PanelModel : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void commandSendsItsFrameAndShowsItsValue_data();
    void commandSendsItsFrameAndShowsItsValue();
    void commandOnAClosedPortIsRefusedAndTheValueStays();
    void reportIsShownAndAnsweredUnlessConfirmed_data();
    void reportIsShownAndAnsweredUnlessConfirmed();
    void replyLineIsOneChange();
    void openAsksForTheStateAndTellsHowItWent();
    void addressIsChosenThenSent_data();
    void addressIsChosenThenSent();

private:
    // The device's reply, and what the model then wrote back.
    QByteArray reply(const QByteArray &text);

    std::unique_ptr<PtyPair> m_device;
    std::unique_ptr<PanelModel> m_model;
};

void tst_PanelModel::init()
{
    m_device = std::make_unique<PtyPair>();
    QVERIFY2(m_device->isValid(), qPrintable(m_device->errorString()));
    PortMap ports;
    ports.map(1, m_device->slavePath());
    ports.map(2, u"/nonexistent/velquor-tty"_s);
    m_model = std::make_unique<PanelModel>(ports);
    MSComm &comm = m_model->comm();
    comm.setCommPort(1);
    comm.setSettings(u"9600,N,8,1"_s);
    comm.setPortOpen(true);
    QVERIFY(comm.PortOpen());
}

void tst_PanelModel::cleanup()
{
    m_model.reset();
    m_device.reset();
}

QByteArray tst_PanelModel::reply(const QByteArray &text)
{
    QSignalSpy read(&m_model->comm(), &MSComm::OnComm);
    connect(&m_model->comm(), &MSComm::OnComm, m_model.get(), &PanelModel::readReply);
    const int lines = int(text.count('\n'));
    m_device->write(text);
    [&] { QTRY_COMPARE(read.size(), lines); }();
    disconnect(&m_model->comm(), &MSComm::OnComm, m_model.get(), &PanelModel::readReply);
    return m_device->readFor(50);
}

void tst_PanelModel::commandSendsItsFrameAndShowsItsValue_data()
{
    QTest::addColumn<int>("command"); // 0 route, 1 wall, 2 mode, 3 resolution
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("second");
    QTest::addColumn<QByteArray>("frame");

    QTest::newRow("IN3 to Out2") << 0 << 2 << 3 << QByteArray::fromHex("0555191277");
    QTest::newRow("IN1 to ALL") << 0 << 0 << 1 << QByteArray::fromHex("0555194077");
    QTest::newRow("video-wall IN4") << 1 << 4 << 0 << QByteArray::fromHex("0555230377");
    QTest::newRow("video wall mode") << 2 << 1 << 0 << QByteArray::fromHex("0555210177");
    QTest::newRow("1920X1200") << 3 << 8 << 0 << QByteArray::fromHex("0555220877");
}

void tst_PanelModel::commandSendsItsFrameAndShowsItsValue()
{
    QFETCH(int, command);
    QFETCH(int, first);
    QFETCH(int, second);
    QFETCH(QByteArray, frame);

    QSignalSpy changed(m_model.get(), &PanelModel::changed);
    PanelModel::Sent sent;
    switch (command) {
    case 0:
        sent = m_model->route(first, second);
        break;
    case 1:
        sent = m_model->wall(first);
        break;
    case 2:
        sent = m_model->setMode(first);
        break;
    default:
        sent = m_model->setResolution(first);
    }
    QVERIFY(sent.ok());
    QCOMPARE(m_device->read(frame.size()).toHex(' '), frame.toHex(' '));
    const PanelModel::State &shown = m_model->state();
    const int value = command == 0 ? (first == vocabulary::allOutputs ? 0 : shown.routes[first - 1])
                      : command == 1 ? shown.wall
                      : command == 2 ? shown.mode
                                     : shown.resolution;
    // "ALL" changes no row: the rows follow the device's report.
    QCOMPARE(value,
             command == 0 && first == vocabulary::allOutputs ? 0 : (command ? first : second));
    QCOMPARE(changed.size(), command == 0 && first == vocabulary::allOutputs ? 0 : 1);
}

void tst_PanelModel::commandOnAClosedPortIsRefusedAndTheValueStays()
{
    m_model->comm().setPortOpen(false);
    const PanelModel::Sent sent = m_model->route(2, 3);
    QCOMPARE(sent.outcome, Outcome::PortClosed);
    QCOMPARE(sent.error, int(MSComm::PortNotOpen));
    QCOMPARE(m_model->state().routes[1], 3);
    QCOMPARE(m_model->send(frames::StatusRequest()).outcome, Outcome::PortClosed);
    QCOMPARE(m_device->readFor(50), QByteArray());
}

void tst_PanelModel::reportIsShownAndAnsweredUnlessConfirmed_data()
{
    QTest::addColumn<QByteArrayList>("commands"); // route OUT IN, sent before the report
    QTest::addColumn<QByteArray>("report");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("out1");

    QTest::newRow("a change at the device is answered")
        << QByteArrayList{} << "s12\r\n"_ba << QByteArray::fromHex("0555190277") << 3;
    QTest::newRow("the route shown already: nothing")
        << QByteArrayList{"1 3"} << "s12\r\n"_ba << QByteArray() << 3;
    QTest::newRow("the first of two commands confirmed: shown, not answered")
        << QByteArrayList{"1 2", "1 3"} << "s11\r\n"_ba << QByteArray() << 2;
    // It may have left the device before the device took the commands: their reports follow.
    QTest::newRow("another input while commands are in flight: not answered")
        << QByteArrayList{"1 2", "1 3"} << "s10\r\n"_ba << QByteArray() << 1;
    QTest::newRow("another output's command in flight: answered")
        << QByteArrayList{"2 2"} << "s12\r\n"_ba << QByteArray::fromHex("0555190277") << 3;
    QTest::newRow("ALL confirmed on out1")
        << QByteArrayList{"1 1", "0 4"} << "s13\r\n"_ba << QByteArray() << 4;
    QTest::newRow("no display: red, route kept")
        << QByteArrayList{"1 2"} << "p10\r\n"_ba << QByteArray() << 2;
    QTest::newRow("an input that is none: route kept")
        << QByteArrayList{"1 2"} << "s17\r\n"_ba << QByteArray() << 2;
}

void tst_PanelModel::reportIsShownAndAnsweredUnlessConfirmed()
{
    QFETCH(QByteArrayList, commands);
    QFETCH(QByteArray, report);
    QFETCH(QByteArray, answer);
    QFETCH(int, out1);

    for (const QByteArray &command : commands) {
        const QList<QByteArray> words = command.split(' ');
        QVERIFY(m_model->route(words[0].toInt(), words[1].toInt()).ok());
    }
    m_device->read(5 * int(commands.size()));
    QCOMPARE(reply(report).toHex(' '), answer.toHex(' '));
    QCOMPARE(m_model->state().routes[0], out1);
    QCOMPARE(m_model->state().displays[0],
             report.startsWith('p') ? Display::None : Display::Attached);
}

// A status report changes much at once: the window and the surfaces hear of it once, and
// the active preset follows the routes.
void tst_PanelModel::replyLineIsOneChange()
{
    QVERIFY(m_model->presets().savePreset(u"Even"_s, {1, 2, 3, 4}).ok());
    QSignalSpy changed(m_model.get(), &PanelModel::changed);
    reply("s10  s21  s32  s43  \r\n"_ba);
    QCOMPARE(changed.size(), 1);
    QCOMPARE(m_model->presets().activeName(), u"Even"_s);
    QCOMPARE(m_model->shownRoutes(), (Routes{1, 2, 3, 4}));
}

// Connect's steps: the port, then the status request on it; the state follows the port, and
// the outcome names a port that did not open.
void tst_PanelModel::openAsksForTheStateAndTellsHowItWent()
{
    m_model->close();
    QVERIFY(!m_model->state().connected);
    QList<PanelModel::Sent> outcomes;
    const auto note = [&](const PanelModel::Sent &opened) { outcomes.append(opened); };

    m_model->open(1, PanelModel::OpenStatus::Ask, note);
    QCOMPARE(outcomes.size(), 1);
    QVERIFY(outcomes[0].ok());
    QVERIFY(m_model->state().connected);
    QCOMPARE(m_device->read(4), frames::StatusRequest());

    m_model->open(2, PanelModel::OpenStatus::Ask, note);
    QCOMPARE(outcomes.size(), 2);
    QCOMPARE(outcomes[1].outcome, Outcome::OpenFailed);
    QVERIFY(!outcomes[1].why.isEmpty());
    QVERIFY(!m_model->state().connected);
    QCOMPARE(m_model->port(), quint8(2));
    QCOMPARE(m_model->portText(2), u"COM2 (/nonexistent/velquor-tty)"_s);
    QCOMPARE(m_device->readFor(50), QByteArray());
}

void tst_PanelModel::addressIsChosenThenSent_data()
{
    QTest::addColumn<bool>("automatic");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("automatic") << true << QString() << frames::SetAutoAddress();
    QTest::newRow("fixed") << false << u"10.0.0.9"_s << frames::SetFixedAddress({10, 0, 0, 9});
}

// The address options share one group with the mode: choosing one clears the mode shown.
void tst_PanelModel::addressIsChosenThenSent()
{
    QFETCH(bool, automatic);
    QFETCH(QString, address);
    QFETCH(QByteArray, frame);
    QVERIFY(m_model->setMode(1).ok());
    m_device->read(4);
    QSignalSpy chosen(m_model.get(), &PanelModel::addressChosen);

    const auto fixed = automatic ? std::nullopt : std::optional(std::array<quint8, 4>{10, 0, 0, 9});
    QVERIFY(m_model->setAddress(fixed).ok());
    QCOMPARE(chosen.size(), 1);
    QCOMPARE(chosen[0][0].toBool(), automatic);
    QCOMPARE(chosen[0][1].toString(), address);
    QCOMPARE(m_model->state().mode, -1);
    QCOMPARE(m_device->read(frame.size()).toHex(' '), frame.toHex(' '));
}

QTEST_GUILESS_MAIN(tst_PanelModel)
#include "tst_panelmodel.moc"
