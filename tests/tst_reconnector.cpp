// SPDX-License-Identifier: MIT
// The retries after a lost link, on a clock of the test's own: a minute and more of tries in a
// moment, each try answered as the row's server would.

#include "reconnector.h"

#include <QTest>

#include <map>

namespace {

class FakeClock : public RetryClock
{
public:
    qint64 nowMs() const override { return m_now; }
    void wakeIn(int ms, std::function<void()> then) override
    {
        m_due = m_now + ms;
        m_then = std::move(then);
    }
    void cancel() override { m_then = {}; }

    // The time of the next wake-up; -1 none.
    qint64 due() const { return m_then ? m_due : -1; }
    void runTo(qint64 time)
    {
        m_now = time;
        if (m_then && m_due <= time)
            std::exchange(m_then, {})();
    }

private:
    qint64 m_now = 0;
    qint64 m_due = 0;
    std::function<void()> m_then;
};

} // namespace

class tst_Reconnector : public QObject
{
    Q_OBJECT

private slots:
    void triesAsTheServerAnswers_data();
    void triesAsTheServerAnswers();
    void operatorEndsTheBackOff();
};

void tst_Reconnector::triesAsTheServerAnswers_data()
{
    QTest::addColumn<int>("tryTakesMs");    // until the try fails or the link is up
    QTest::addColumn<int>("upForMs");       // -1: every try fails; else how long the link stays up
    QTest::addColumn<qint64>("firstGapMs"); // from the first try to the second
    QTest::addColumn<qint64>("laterGapMs"); // between tries after the first 40 s

    QTest::newRow("device absent: every second, every five after half a minute")
        << 0 << -1 << qint64(1000) << qint64(5000);
    QTest::newRow("network try of 3 s: the wait counts from its end")
        << 3000 << -1 << qint64(4000) << qint64(8000);
    QTest::newRow("server that drops each link at once keeps the back-off")
        << 0 << 100 << qint64(1100) << qint64(5100);
    QTest::newRow("link up 29 s keeps the back-off")
        << 0 << 29000 << qint64(34000) << qint64(34000);
    QTest::newRow("link up 30 s ends the back-off") << 0 << 30000 << qint64(31000) << qint64(31000);
}

void tst_Reconnector::triesAsTheServerAnswers()
{
    QFETCH(int, tryTakesMs);
    QFETCH(int, upForMs);
    QFETCH(qint64, firstGapMs);
    QFETCH(qint64, laterGapMs);

    auto *clock = new FakeClock;
    std::map<qint64, std::function<void()>> serverAnswers; // by the time they come
    QList<qint64> tries;
    Reconnector *reconnector = nullptr;
    Reconnector retries(
        [&] {
            tries.append(clock->nowMs());
            const qint64 answerAt = clock->nowMs() + tryTakesMs;
            if (upForMs < 0) {
                serverAnswers[answerAt] = [&] { reconnector->tryFailed(); };
                return;
            }
            serverAnswers[answerAt] = [&] { reconnector->linkUp(); };
            serverAnswers[answerAt + upForMs] = [&] { reconnector->start(); }; // lost again
        },
        nullptr, std::unique_ptr<RetryClock>(clock));
    reconnector = &retries;
    retries.setEnabled(true);
    retries.start(); // the link is lost at 0

    while (clock->nowMs() < 120000) {
        const qint64 wake = clock->due();
        const qint64 answer = serverAnswers.empty() ? -1 : serverAnswers.begin()->first;
        if (answer >= 0 && (wake < 0 || answer <= wake)) {
            const std::function<void()> then = serverAnswers.begin()->second;
            serverAnswers.erase(serverAnswers.begin());
            clock->runTo(answer);
            then();
        } else {
            QVERIFY2(wake >= 0, "the tries stopped");
            clock->runTo(wake);
        }
    }

    QVERIFY2(tries.size() >= 3, qPrintable(QString::number(tries.size())));
    QCOMPARE(tries.first(), qint64(1000));
    QCOMPARE(tries.at(1) - tries.at(0), firstGapMs);
    for (qsizetype i = 1; i < tries.size(); ++i) {
        if (tries.at(i - 1) >= 40000)
            QCOMPARE(tries.at(i) - tries.at(i - 1), laterGapMs);
    }
}

void tst_Reconnector::operatorEndsTheBackOff()
{
    auto *clock = new FakeClock;
    QList<qint64> tries;
    Reconnector *reconnector = nullptr;
    Reconnector retries(
        [&] {
            tries.append(clock->nowMs());
            reconnector->tryFailed();
        },
        nullptr, std::unique_ptr<RetryClock>(clock));
    reconnector = &retries;
    retries.setEnabled(true);
    retries.start();
    while (clock->nowMs() < 45000)
        clock->runTo(clock->due());
    QVERIFY(retries.isRetrying());
    QCOMPARE(retries.currentInterval(), 5000);

    retries.stop(); // the operator connects, and later the link is lost again
    QVERIFY(!retries.isRetrying());
    QCOMPARE(clock->due(), qint64(-1));
    clock->runTo(50000);
    retries.start();
    QCOMPARE(clock->due(), qint64(51000));

    retries.setEnabled(false); // without --reconnect nothing is tried
    retries.start();
    QVERIFY(!retries.isRetrying());
    QCOMPARE(clock->due(), qint64(-1));
}

QTEST_GUILESS_MAIN(tst_Reconnector)
#include "tst_reconnector.moc"
