// SPDX-License-Identifier: MIT
#include "replylines.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

using Lines = QList<QByteArray>;

// Feeds the pieces one after the other, as reads from the port, and takes every line that
// is ready; the waiting text is left in the cutter.
Lines feed(ReplyLines &cutter, const Lines &pieces)
{
    Lines lines;
    for (const QByteArray &piece : pieces) {
        cutter.append(piece);
        while (cutter.hasLine())
            lines.append(cutter.takeLine());
    }
    return lines;
}

} // namespace

class tst_ReplyLines : public QObject
{
    Q_OBJECT

private slots:
    void cutsAtLineEnds_data();
    void cutsAtLineEnds();
    void everyCutOfTheStreamGivesTheSameLines_data();
    void everyCutOfTheStreamGivesTheSameLines();
    void waitingTextEndsAsItStands();
    void takeLineInParts();
    void appendTellsWhetherALineEnded_data();
    void appendTellsWhetherALineEnded();
};

void tst_ReplyLines::cutsAtLineEnds_data()
{
    QTest::addColumn<Lines>("pieces");
    QTest::addColumn<Lines>("lines");
    QTest::addColumn<QByteArray>("waiting");

    // clang-format off
    QTest::newRow("two replies in one read")
        << Lines{"MD1\r\nRS3\r\n"} << Lines{"MD1", "RS3"} << QByteArray();
    QTest::newRow("status answer in one read: four records, then MD, RS, MP")
        << Lines{"s10\r\ns21\r\ns32\r\np40\r\nMD0\r\nRS1\r\nMP2\r\n"}
        << Lines{"s10", "s21", "s32", "p40", "MD0", "RS1", "MP2"} << QByteArray();
    QTest::newRow("record cut inside, joined")
        << Lines{"s1", "2\r\n"} << Lines{"s12"} << QByteArray();
    QTest::newRow("CR LF cut between reads is one line end")
        << Lines{"MD1\r", "\nRS3\r\n"} << Lines{"MD1", "RS3"} << QByteArray();
    QTest::newRow("a line is ready at its CR, before the LF")
        << Lines{"MD1\r"} << Lines{"MD1"} << QByteArray();
    QTest::newRow("LF alone and CR alone end lines too")
        << Lines{"MD1\nRS3\rMP2\r\n"} << Lines{"MD1", "RS3", "MP2"} << QByteArray();
    QTest::newRow("LF CR is two line ends, nothing between")
        << Lines{"MD1\n\rRS3\n"} << Lines{"MD1", "RS3"} << QByteArray();
    QTest::newRow("empty lines are skipped")
        << Lines{"\r\n\r\n", "\nMD1\r\n\n\r"} << Lines{"MD1"} << QByteArray();
    QTest::newRow("text after the last line end waits")
        << Lines{"RS3\r\nMD"} << Lines{"RS3"} << "MD"_ba;
    QTest::newRow("waiting text joins the next read")
        << Lines{"RS3\r\nMD", "1\r\nMP"} << Lines{"RS3", "MD1"} << "MP"_ba;
    QTest::newRow("a line of many records keeps them together")
        << Lines{"MD1xxs23\r\n"} << Lines{"MD1xxs23"} << QByteArray();
    QTest::newRow("NUL and high bytes are text like any other")
        << Lines{QByteArray("s1\0\xff\r\n", 6)} << Lines{QByteArray("s1\0\xff", 4)} << QByteArray();
    QTest::newRow("nothing at all") << Lines{} << Lines{} << QByteArray();
    // clang-format on
}

void tst_ReplyLines::cutsAtLineEnds()
{
    QFETCH(Lines, pieces);
    QFETCH(Lines, lines);
    QFETCH(QByteArray, waiting);

    ReplyLines cutter;
    QCOMPARE(feed(cutter, pieces), lines);
    QCOMPARE(cutter.partial(), waiting);
    QCOMPARE(cutter.hasPartial(), !waiting.isEmpty());
}

void tst_ReplyLines::everyCutOfTheStreamGivesTheSameLines_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::newRow("status answer")
        << "s10\r\ns21\r\ns32\r\np40\r\nMD0\r\nRS1\r\nMP2\r\nIP OK\r\nDHCP OK\r\n"_ba;
    QTest::newRow("mixed line ends and empty lines") << "MD1\n\r\nRS3\r\r\nMP2\n\nx"_ba;
}

// However the adapter cuts the stream into reads, in two or in three, the lines are the
// same, and so is the text left waiting.
void tst_ReplyLines::everyCutOfTheStreamGivesTheSameLines()
{
    QFETCH(QByteArray, stream);

    ReplyLines whole;
    const Lines expected = feed(whole, {stream});
    for (qsizetype i = 0; i <= stream.size(); ++i) {
        for (qsizetype j = i; j <= stream.size(); ++j) {
            ReplyLines cut;
            const Lines lines =
                feed(cut, {stream.first(i), stream.sliced(i, j - i), stream.sliced(j)});
            QVERIFY2(lines == expected, qPrintable(u"cut at %1 and %2"_s.arg(i).arg(j)));
            QCOMPARE(cut.partial(), whole.partial());
        }
    }
}

void tst_ReplyLines::waitingTextEndsAsItStands()
{
    ReplyLines cutter;
    cutter.append("s1");
    QVERIFY(!cutter.hasLine());
    cutter.endPartial(); // the line went quiet
    QCOMPARE(cutter.takeLine(), "s1"_ba);
    QVERIFY(!cutter.hasPartial());
    cutter.endPartial(); // nothing waiting: no empty line
    QVERIFY(!cutter.hasLine());

    // A CR that ended a line, then quiet: the LF that follows belongs to that line end.
    cutter.append("MD1\r");
    cutter.endPartial();
    QCOMPARE(feed(cutter, {"\nRS3\r\n"}), (Lines{"MD1", "RS3"}));
}

void tst_ReplyLines::takeLineInParts()
{
    ReplyLines cutter;
    cutter.append("abcdef\r\nMD1\r\n");
    QCOMPARE(cutter.takeLine(4), "abcd"_ba);
    QCOMPARE(cutter.lineCount(), 2);
    QCOMPARE(cutter.takeLine(0), QByteArray());
    QCOMPARE(cutter.takeLine(), "ef"_ba);
    QCOMPARE(cutter.takeLine(10), "MD1"_ba);
    QCOMPARE(cutter.takeLine(), QByteArray());
    cutter.append("RS3\r\nMP2\r\n");
    QCOMPARE(cutter.takeLine(3), "RS3"_ba); // exactly its length: the line goes whole
    QCOMPARE(cutter.lineCount(), 1);
    QCOMPARE(cutter.takeLine(), "MP2"_ba);
    cutter.append("RS");
    cutter.clear();
    QVERIFY(!cutter.hasPartial());
}

void tst_ReplyLines::appendTellsWhetherALineEnded_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("piece");
    QTest::addColumn<bool>("ended");

    QTest::newRow("more of the waiting text") << "M"_ba
                                              << "D1"_ba << false;
    QTest::newRow("line end and a new line's start") << "MD1"_ba
                                                     << "\r\nRS"_ba << true;
    QTest::newRow("LF completing a CR LF") << "MD1\r"_ba
                                           << "\n"_ba << false;
    QTest::newRow("empty line") << QByteArray() << "\r\n"_ba << true;
}

void tst_ReplyLines::appendTellsWhetherALineEnded()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, piece);
    QFETCH(bool, ended);

    ReplyLines cutter;
    cutter.append(before);
    QCOMPARE(cutter.append(piece), ended);
}

QTEST_GUILESS_MAIN(tst_ReplyLines)
#include "tst_replylines.moc"
