// SPDX-License-Identifier: MIT
// The reply pump on a QBuffer: what the device sends, handed over one reply line at a time.

#include "replypump.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// A device whose bytes arrive as the test hands them over: each piece is appended behind
// what has been read so far, and readyRead() is raised as a driver would.
class Line
{
public:
    Line()
    {
        m_buffer.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
        m_pump.setDevice(&m_buffer);
    }

    void arrive(const QByteArray &piece)
    {
        m_buffer.buffer().append(piece);
        emit m_buffer.readyRead();
    }

    // Every line is taken as it is announced, and when.
    void takeEveryLine()
    {
        m_clock.start();
        QObject::connect(&m_pump, &ReplyPump::lineReady, &m_pump, [this] {
            m_handedAt.append(m_clock.elapsed());
            m_lines.append(m_pump.takeLine());
        });
    }

    ReplyPump &pump() { return m_pump; }
    qint64 now() const { return m_clock.elapsed(); } // ms since takeEveryLine()
    const QList<QByteArray> &lines() const { return m_lines; }
    const QList<qint64> &handedAt() const { return m_handedAt; } // ms since takeEveryLine()

private:
    QBuffer m_buffer;
    ReplyPump m_pump;
    QElapsedTimer m_clock;
    QList<QByteArray> m_lines;
    QList<qint64> m_handedAt;
};

} // namespace

class tst_ReplyPump : public QObject
{
    Q_OBJECT

private slots:
    void lines_data();
    void lines();
    void deadlineUnderAStreamOfPieces();
    void timesInFixedFigures_data();
    void timesInFixedFigures();
    void holdsNest();
    void oneLineAtATime();
    void lineNotTakenWaits();
    void anotherDeviceDropsWhatWaits();
};

void tst_ReplyPump::lines_data()
{
    using L = QList<QByteArray>;
    QTest::addColumn<L>("pieces"); // arriving pauseMs apart
    QTest::addColumn<int>("pauseMs");
    QTest::addColumn<L>("lines");
    QTest::addColumn<int>("firstNotBeforeMs"); // the first line waits this long at least

    const int settle = ReplyPump::settleMs;
    QTest::newRow("two replies in one read") << L{"MD1\r\nRS3\r\n"} << 0 << L{"MD1", "RS3"} << 0;
    QTest::newRow("CR, LF and CR LF each end a line; empty lines skipped")
        << L{"\r\na\nb\rc\r\n\r\n\n"} << 0 << L{"a", "b", "c"} << 0;
    QTest::newRow("record cut inside, joined") << L{"s1", "2\r\n"} << 10 << L{"s12"} << 0;
    QTest::newRow("CR LF cut after a quiet spell: one line end")
        << L{"MD1\r", "\nRS3\r\n"} << 3 * settle << L{"MD1", "RS3"} << 0;
    QTest::newRow("status answer in 16 ms chunks")
        << L{"s10\r\ns21\r\ns3", "2\r\ns43\r\nMD1\r", "\nRS3\r\nMP2\r\n"} << 16
        << L{"s10", "s21", "s32", "s43", "MD1", "RS3", "MP2"} << 0;
    QTest::newRow("text without line end, after the settle time")
        << L{"xyz"} << 0 << L{"xyz"} << settle;
    QTest::newRow("text without line end, then a reply after a quiet spell")
        << L{"xyz", "s31\r\n"} << 3 * settle << L{"xyz", "s31"} << settle;
    QTest::newRow("any byte value")
        << L{"\x00\xff\x7f"_ba + "\r\n"} << 0 << L{"\x00\xff\x7f"_ba} << 0;
}

void tst_ReplyPump::lines()
{
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(int, pauseMs);
    QFETCH(QList<QByteArray>, lines);
    QFETCH(int, firstNotBeforeMs);

    Line line;
    line.takeEveryLine();
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        if (i > 0)
            QTest::qWait(pauseMs);
        line.arrive(pieces.at(i));
        if (i == 0) // handed over from the event loop, never inside readyRead()
            QVERIFY(line.lines().isEmpty());
    }
    QTRY_COMPARE(line.lines(), lines);
    QVERIFY2(line.handedAt().first() >= firstNotBeforeMs,
             qPrintable(QString::number(line.handedAt().first())));
    QTest::qWait(3 * ReplyPump::settleMs);
    QCOMPARE(line.lines(), lines); // and nothing more
}

void tst_ReplyPump::deadlineUnderAStreamOfPieces()
{
    Line line;
    line.takeEveryLine();
    // A byte every 5 ms never lets the line go quiet for the settle time.
    QByteArray sent;
    QElapsedTimer gap;
    qint64 longestGap = 0;
    for (int i = 0; i < 120; ++i) {
        if (i > 0)
            longestGap = std::max(longestGap, gap.elapsed());
        gap.start();
        sent += char('a' + i % 26);
        line.arrive(sent.right(1));
        QTest::qWait(5);
    }
    const qsizetype duringStream = line.lines().size();
    QTRY_COMPARE(line.lines().join(), sent);
    QVERIFY2(duringStream >= 2, qPrintable(QString::number(duringStream)));
    const qint64 first = line.handedAt().first();
    QVERIFY2(first <= ReplyPump::maxDelayMs + 100, qPrintable(QString::number(first)));
    if (longestGap < ReplyPump::settleMs) // a loaded machine may let the line go quiet
        QVERIFY2(first >= ReplyPump::maxDelayMs, qPrintable(QString::number(first)));
}

// The line's timing as the device needs it, in milliseconds rather than by the constants'
// names, so that a changed constant shows. Each case runs a few times and its best run
// counts: a loaded machine only makes a run later, or lets the line go quiet where it should
// not (such a run does not count).
void tst_ReplyPump::timesInFixedFigures_data()
{
    QTest::addColumn<QByteArray>("before"); // a byte every 5 ms
    QTest::addColumn<QByteArray>("mark");   // then this piece; the time counts from it
    QTest::addColumn<int>("after");         // then as many bytes "b", 5 ms apart
    QTest::addColumn<int>("notBeforeMs");   // when the text from the mark on is handed over
    QTest::addColumn<int>("withinMs");

    QTest::newRow("text with no line end: 30 ms after its last byte")
        << QByteArray() << "MD1"_ba << 0 << 30 << 45;
    QTest::newRow("text that never goes quiet: 200 ms after its first byte")
        << QByteArray() << "b"_ba << 60 << 195 << 260;
    QTest::newRow("a line end and the next text in one read: 200 ms from that read")
        << QByteArray(30, 'a') << "\r\nb"_ba << 60 << 195 << 260;
}

void tst_ReplyPump::timesInFixedFigures()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, mark);
    QFETCH(int, after);
    QFETCH(int, notBeforeMs);
    QFETCH(int, withinMs);

    qint64 best = -1;
    for (int run = 0; run < 5 && (best < 0 || best > withinMs); ++run) {
        Line line;
        line.takeEveryLine();
        qint64 lastArrival = -1;
        bool steady = true;
        const auto arrive = [&](const QByteArray &piece) {
            if (lastArrival >= 0 && line.now() - lastArrival >= ReplyPump::settleMs)
                steady = false;
            lastArrival = line.now();
            line.arrive(piece);
            QTest::qWait(5);
        };
        for (const char c : std::as_const(before))
            arrive(QByteArray(1, c));
        const qint64 markedAt = line.now();
        arrive(mark);
        for (int i = 0; i < after; ++i)
            arrive("b"_ba);
        // The first line handed over that holds the text from the mark on.
        const auto handed = [&]() -> qint64 {
            for (qsizetype i = 0; i < line.lines().size(); ++i) {
                if (!line.lines().at(i).startsWith('a'))
                    return line.handedAt().at(i);
            }
            return -1;
        };
        QTRY_VERIFY(handed() >= 0);
        if (steady && (best < 0 || handed() - markedAt < best))
            best = handed() - markedAt;
    }
    QVERIFY2(best >= 0, "no run without a stall");
    QVERIFY2(best >= notBeforeMs, qPrintable(QString::number(best)));
    QVERIFY2(best <= withinMs, qPrintable(QString::number(best)));
}

void tst_ReplyPump::holdsNest()
{
    Line line;
    line.takeEveryLine();
    line.pump().holdReplies();
    line.pump().holdReplies();
    line.arrive("MD1\r\nRS"_ba);
    QTest::qWait(10);
    line.arrive("3\r\nMP2"_ba); // MP2 ends with the settle time, while held
    QTest::qWait(3 * ReplyPump::settleMs);
    line.pump().releaseReplies();
    QTest::qWait(20);
    QVERIFY(line.lines().isEmpty()); // the outer hold is still in force
    line.pump().releaseReplies();
    QVERIFY(line.lines().isEmpty()); // from the event loop, not inside the release
    QTRY_COMPARE(line.lines(), (QList<QByteArray>{"MD1", "RS3", "MP2"}));
    line.pump().releaseReplies(); // one release too many changes nothing
    line.arrive("RS4\r\n"_ba);
    QTRY_COMPARE(line.lines().size(), 4);
}

void tst_ReplyPump::oneLineAtATime()
{
    Line line;
    QList<QByteArray> taken;
    int running = 0;
    int deepest = 0;
    // The first receiver opens an event loop of its own, as a modal box does, while more
    // arrives; the pump must not hand it the next line inside.
    connect(&line.pump(), &ReplyPump::lineReady, this, [&] {
        deepest = std::max(deepest, ++running);
        taken.append(line.pump().takeLine());
        if (taken.size() == 1) {
            line.arrive("RS3\r\nMP2\r\n"_ba);
            QTest::qWait(50);
        }
        --running;
    });
    line.arrive("MD1\r\n"_ba);
    QTRY_COMPARE(taken, (QList<QByteArray>{"MD1", "RS3", "MP2"}));
    QCOMPARE(deepest, 1);
}

void tst_ReplyPump::lineNotTakenWaits()
{
    Line line;
    int announced = 0;
    auto ignore = connect(&line.pump(), &ReplyPump::lineReady, this, [&] { ++announced; });
    line.arrive("abcdef\r\nRS3\r\n"_ba);
    QTRY_COMPARE(announced, 1);
    QTest::qWait(50);
    QCOMPARE(announced, 1); // announced once, not again and again
    QCOMPARE(line.pump().takeLine(4), "abcd"_ba);
    QCOMPARE(line.pump().takeLine(), "ef"_ba);
    disconnect(ignore);

    // The next arrival announces what still waits, first in line.
    line.takeEveryLine();
    line.arrive("MP2\r\n"_ba);
    QTRY_COMPARE(line.lines(), (QList<QByteArray>{"RS3", "MP2"}));
}

void tst_ReplyPump::anotherDeviceDropsWhatWaits()
{
    QBuffer next; // outlives the pump that reads it
    Line line;
    line.takeEveryLine();
    line.pump().holdReplies();
    line.arrive("MD1\r\nRS"_ba);
    QTest::qWait(10);
    next.open(QIODevice::ReadOnly);
    line.pump().setDevice(&next);
    line.pump().releaseReplies();
    line.arrive("3\r\n"_ba); // from the device no longer read
    QTest::qWait(3 * ReplyPump::settleMs);
    QCOMPARE(line.lines(), QList<QByteArray>());
    QCOMPARE(line.pump().takeLine(), QByteArray());
}

QTEST_GUILESS_MAIN(tst_ReplyPump)
#include "tst_replypump.moc"
