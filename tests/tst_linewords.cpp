// SPDX-License-Identifier: MIT
// The words the trace, the line monitor and the finder give the bytes on the line: every frame
// of the command catalogue, and every kind of reply line.
#include "frames.h"
#include "linewords.h"

#include <QTest>

using namespace Qt::StringLiterals;

class tst_LineWords : public QObject
{
    Q_OBJECT

private slots:
    void frameWords_data();
    void frameWords();
    void replyWords_data();
    void replyWords();
};

void tst_LineWords::frameWords_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("words");

    const auto row = [](const char *name, const char *hex, const QString &words) {
        QTest::newRow(name) << QByteArray::fromHex(hex) << words;
    };
    row("OutputSelect out1", "0555020077", u"OutputSelect: out1"_s);
    row("OutputSelect out4", "0555020377", u"OutputSelect: out4"_s);
    row("BorderReset, four bytes with length byte 5", "05550477",
        u"BorderReset: the picture border back to its start"_s);
    row("BorderVerticalIn", "04550577",
        u"BorderVerticalIn: the picture border one step in, vertically"_s);
    row("BorderVerticalOut", "04550677",
        u"BorderVerticalOut: the picture border one step out, vertically"_s);
    row("BorderHorizontalIn", "04550777",
        u"BorderHorizontalIn: the picture border one step in, horizontally"_s);
    row("BorderHorizontalOut", "04550877",
        u"BorderHorizontalOut: the picture border one step out, horizontally"_s);
    row("Route IN3 from the Out2 row", "0555191277",
        u"Route: IN3 \u2192 Out2 (from the Out2 row)"_s);
    row("Route IN1 from the Out4 row", "0555193077",
        u"Route: IN1 \u2192 Out4 (from the Out4 row)"_s);
    row("Route IN2 from the ALL row", "0555194177",
        u"Route: IN2 \u2192 all outputs (from the ALL row)"_s);
    row("StatusRequest", "04552077", u"StatusRequest: asks the device for its state"_s);
    row("SetMode matrix", "0555210077", u"SetMode: matrix mode"_s);
    row("SetMode video wall", "0555210177", u"SetMode: video-wall mode"_s);
    row("SetResolution 720P@60", "0555220077", u"SetResolution: 720P@60"_s);
    row("SetResolution 1920X1200", "0555220877", u"SetResolution: 1920X1200"_s);
    row("VideoWallInput IN4", "0555230377", u"VideoWallInput: IN4"_s);
    row("SetAutoAddress", "04553077",
        u"SetAutoAddress: the device obtains its address by itself"_s);
    row("SetFixedAddress 192.168.0.10", "085531c0a8000a77", u"SetFixedAddress: 192.168.0.10"_s);
    row("SetFixedAddress with marker values unescaped", "0855310a55770177",
        u"SetFixedAddress: 10.85.119.1"_s);

    // What the catalogue has no frame for.
    const QString five = u"not a frame of the catalogue: 5 bytes"_s;
    row("Route to row 5", "0555195077", five);
    row("Route to input 5", "0555190477", five);
    row("OutputSelect out5", "0555020477", five);
    row("SetMode 2", "0555210277", five);
    row("SetResolution 9", "0555220977", five);
    row("VideoWallInput IN5", "0555230477", five);
    row("unknown command byte", "0555400077", five);
    row("wrong length byte", "0455191277", five);
    row("no end marker", "0555191276", five);
    row("BorderVerticalIn with length byte 5", "05550577",
        u"not a frame of the catalogue: 4 bytes"_s);
    row("one byte", "04", u"not a frame of the catalogue: 1 byte"_s);
    QTest::newRow("nothing") << QByteArray() << u"not a frame of the catalogue: 0 bytes"_s;
}

void tst_LineWords::frameWords()
{
    QFETCH(QByteArray, frame);
    QFETCH(QString, words);
    QCOMPARE(linewords::frame(frame), words);
}

void tst_LineWords::replyWords_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("words");
    QTest::addColumn<bool>("isReply");

    const auto row = [](const char *name, const QByteArray &line, const QString &words) {
        QTest::newRow(name) << line << words << !words.startsWith(u"not a reply"_s);
    };
    row("s21: input counted from 0", "s21"_ba, u"s21: output 2 shows IN2"_s);
    row("s40", "s40"_ba, u"s40: output 4 shows IN1"_s);
    row("s15: a digit that names no input", "s15"_ba,
        u"s15: output 1 has a display; the digit 5 names no input"_s);
    row("p30", "p30"_ba, u"p3: output 3 has no display"_s);
    row("four records at the slots", "s10  s21  s32  s43"_ba,
        u"s10: output 1 shows IN1; s21: output 2 shows IN2; s32: output 3 shows IN3; "
        "s43: output 4 shows IN4"_s);
    row("s and p for one output, in the window's order", "p20  s21"_ba,
        u"s21: output 2 shows IN2; p2: output 2 has no display"_s);
    row("MP2", "MP2"_ba, u"MP2: video-wall input IN3"_s);
    row("MD0", "MD0"_ba, u"MD0: matrix mode"_s);
    row("MD1", "MD1"_ba, u"MD1: video-wall mode"_s);
    row("RS0", "RS0"_ba, u"RS0: resolution 720P@60"_s);
    row("RS3", "RS3"_ba, u"RS3: resolution 1280X1024"_s);
    row("RS8", "RS8"_ba, u"RS8: resolution 1920X1200"_s);
    row("IP OK", "IP OK"_ba, u"IP: the device took the fixed address"_s);
    row("DHCP OK", "DHCP OK"_ba, u"DHCP: the device took the automatic address"_s);
    row("a record before a mode", "MD1  s32"_ba,
        u"s32: output 3 shows IN3; MD1: video-wall mode"_s);

    row("seven bytes of noise", QByteArray::fromHex("f880e0fe9cc08f"), u"not a reply: 7 bytes"_s);
    row("RS9: a resolution the window has not", "RS9"_ba, u"not a reply: 3 bytes"_s);
    row("MD2", "MD2"_ba, u"not a reply: 3 bytes"_s);
    row("MP without its digit", "MP"_ba, u"not a reply: 2 bytes"_s);
    row("upper-case S", "S21"_ba, u"not a reply: 3 bytes"_s);
    row("a record off its slot", " s21"_ba, u"not a reply: 4 bytes"_s);
    row("lower-case ip", "ip ok"_ba, u"not a reply: 5 bytes"_s);
    row("one byte", "s"_ba, u"not a reply: 1 byte"_s);
}

void tst_LineWords::replyWords()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, words);
    QFETCH(bool, isReply);
    QCOMPARE(linewords::reply(line), words);
    QCOMPARE(linewords::isReply(line), isReply);
}

QTEST_GUILESS_MAIN(tst_LineWords)
#include "tst_linewords.moc"
