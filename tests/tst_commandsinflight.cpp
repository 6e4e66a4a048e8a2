// SPDX-License-Identifier: MIT
// Which reports confirm a command the panel sent, and for how long a command waits for its
// confirmation.

#include "commandsinflight.h"

#include <QTest>

using Kind = CommandsInFlight::Kind;
using Match = CommandsInFlight::Match;
using Setting = CommandsInFlight::Setting;

class tst_CommandsInFlight : public QObject
{
    Q_OBJECT

private slots:
    void reportConfirmsTheCommandItNames_data();
    void reportConfirmsTheCommandItNames();
    void sameValueSentTwiceIsConfirmedTwice();
    void commandWithoutConfirmationStopsCounting();
    void answersAreConfirmedButAwaitNothing();
    void recordIsBounded();
};

void tst_CommandsInFlight::reportConfirmsTheCommandItNames_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<Setting>("reported");
    QTest::addColumn<Match>("match");
    QTest::addColumn<int>("left");

    const auto hex = [](const char *text) { return QByteArray::fromHex(text); };
    QTest::newRow("IN2 to Out1, reported as s11")
        << hex("0555190177") << Setting{Kind::Route, 1, 2} << Match::Confirms << 0;
    QTest::newRow("IN2 to Out1, reported IN3")
        << hex("0555190177") << Setting{Kind::Route, 1, 3} << Match::Awaited << 1;
    QTest::newRow("IN2 to Out1, reported on Out2")
        << hex("0555190177") << Setting{Kind::Route, 2, 2} << Match::None << 1;
    QTest::newRow("IN4 to Out4 (row 3)")
        << hex("0555193377") << Setting{Kind::Route, 4, 4} << Match::Confirms << 0;
    QTest::newRow("ALL IN3, Out3 reported")
        << hex("0555194277") << Setting{Kind::Route, 3, 3} << Match::Confirms << 3;
    QTest::newRow("video-wall IN4")
        << hex("0555230377") << Setting{Kind::WallInput, 0, 4} << Match::Confirms << 0;
    QTest::newRow("video-wall IN4, a route reported")
        << hex("0555230377") << Setting{Kind::Route, 1, 4} << Match::None << 1;
    QTest::newRow("video wall mode")
        << hex("0555210177") << Setting{Kind::Mode, 0, 1} << Match::Confirms << 0;
    QTest::newRow("video wall mode, matrix reported")
        << hex("0555210177") << Setting{Kind::Mode, 0, 0} << Match::Awaited << 1;
    QTest::newRow("1920X1200") << hex("0555220877") << Setting{Kind::Resolution, 0, 8}
                               << Match::Confirms << 0;
    QTest::newRow("resolution 8, mode 8 reported")
        << hex("0555220877") << Setting{Kind::Mode, 0, 8} << Match::None << 1;
    QTest::newRow("out1 button: no answer awaited")
        << hex("0555020077") << Setting{Kind::Route, 1, 1} << Match::None << 0;
    QTest::newRow("status request: no answer awaited")
        << hex("04552077") << Setting{Kind::Route, 1, 1} << Match::None << 0;
    QTest::newRow("route to row 5: not a row")
        << hex("0555195077") << Setting{Kind::Route, 1, 1} << Match::None << 0;
    QTest::newRow("route of input 5: not an input")
        << hex("0555190477") << Setting{Kind::Route, 1, 5} << Match::None << 0;
    QTest::newRow("cut frame") << hex("05551901") << Setting{Kind::Route, 1, 2} << Match::None << 0;
}

void tst_CommandsInFlight::reportConfirmsTheCommandItNames()
{
    QFETCH(QByteArray, frame);
    QFETCH(Setting, reported);
    QFETCH(Match, match);
    QFETCH(int, left);

    CommandsInFlight inFlight([] { return qint64(0); });
    inFlight.sent(frame);
    QCOMPARE(inFlight.match(reported), match);
    QCOMPARE(inFlight.size(), left);
}

void tst_CommandsInFlight::sameValueSentTwiceIsConfirmedTwice()
{
    CommandsInFlight inFlight([] { return qint64(0); });
    const Setting in2{Kind::Route, 1, 2};
    inFlight.sent(QByteArray::fromHex("0555190177")); // IN2
    inFlight.sent(QByteArray::fromHex("0555190277")); // IN3
    inFlight.sent(QByteArray::fromHex("0555190177")); // IN2 again
    QCOMPARE(inFlight.match(in2), Match::Confirms);
    QCOMPARE(inFlight.match({Kind::Route, 1, 3}), Match::Confirms);
    QCOMPARE(inFlight.match(in2), Match::Confirms);
    QCOMPARE(inFlight.match(in2), Match::None);
}

void tst_CommandsInFlight::commandWithoutConfirmationStopsCounting()
{
    qint64 now = 1000;
    CommandsInFlight inFlight([&] { return now; });
    const Setting resolution{Kind::Resolution, 0, 3};

    inFlight.sent(QByteArray::fromHex("0555220377"));
    now += CommandsInFlight::lifetimeMs - 1;
    QCOMPARE(inFlight.match(resolution), Match::Confirms); // late, but in time

    inFlight.sent(QByteArray::fromHex("0555220377"));
    now += CommandsInFlight::lifetimeMs;
    QCOMPARE(inFlight.match(resolution), Match::None); // never answered: gone
    QCOMPARE(inFlight.size(), 0);

    // The lifetime covers a frame that waited behind the longest queue the link keeps (four
    // seconds of the line) and the reply's way back.
    QVERIFY(CommandsInFlight::lifetimeMs > 4000);
}

// The panel's answer to a report: a newer report that differs is a newer change at the device.
void tst_CommandsInFlight::answersAreConfirmedButAwaitNothing()
{
    CommandsInFlight inFlight([] { return qint64(0); });
    inFlight.sent(QByteArray::fromHex("0555190077"), CommandsInFlight::Origin::Answer); // IN1
    QCOMPARE(inFlight.match({Kind::Route, 1, 4}), Match::None);
    QCOMPARE(inFlight.match({Kind::Route, 1, 1}), Match::Confirms);
}

void tst_CommandsInFlight::recordIsBounded()
{
    CommandsInFlight inFlight([] { return qint64(0); });
    for (int i = 0; i < CommandsInFlight::maxCommands + 10; ++i)
        inFlight.sent(QByteArray::fromHex("0555190177"));
    QCOMPARE(inFlight.size(), CommandsInFlight::maxCommands);
    inFlight.clear();
    QCOMPARE(inFlight.match({Kind::Route, 1, 2}), Match::None);
}

QTEST_GUILESS_MAIN(tst_CommandsInFlight)
#include "tst_commandsinflight.moc"
