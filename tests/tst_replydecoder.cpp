// SPDX-License-Identifier: MIT
#include "replydecoder.h"

#include <QStringList>
#include <QTest>

namespace {

// Logs every report in the order it came: "s<output>:<input>", "p<output>", "wall<input>",
// "mode<m>", "res<index>", "address".
class RecordingSink : public ReplySink
{
public:
    QStringList log;

    void outputStatus(int output, int inputDigit) override
    {
        log << QStringLiteral("s%1:%2").arg(output).arg(inputDigit);
    }
    void outputWithoutDisplay(int output) override { log << QStringLiteral("p%1").arg(output); }
    void wallInput(int input) override { log << QStringLiteral("wall%1").arg(input); }
    void mode(int mode) override { log << QStringLiteral("mode%1").arg(mode); }
    void resolution(int index) override { log << QStringLiteral("res%1").arg(index); }
    void addressConfirmed() override { log << QStringLiteral("address"); }
};

} // namespace

class tst_ReplyDecoder : public QObject
{
    Q_OBJECT

private slots:
    void decode_data();
    void decode();
};

void tst_ReplyDecoder::decode_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("expected"); // reports joined by blanks

    // Output status records.
    QTest::newRow("s12: output counts from 1, input from 0") << QByteArray("s12\r\n") << "s1:2";
    QTest::newRow("s40: output 4, input 0") << QByteArray("s40\r\n") << "s4:0";
    QTest::newRow("four records at slots 1, 6, 11, 16 in slot order")
        << QByteArray("s10\r\ns21\r\ns32\r\ns43\r\n") << "s1:0 s2:1 s3:2 s4:3";
    QTest::newRow("record at slot 6 only") << QByteArray("xxxxxs23\r\n") << "s2:3";
    QTest::newRow("record at slot 11 only") << QByteArray("xxxxxxxxxxs31") << "s3:1";
    QTest::newRow("record at slot 16 only, ending the line")
        << QByteArray("xxxxxxxxxxxxxxxs42") << "s4:2";
    QTest::newRow("fifth record from character 21 ignored")
        << QByteArray("s10\r\ns21\r\ns32\r\ns43\r\ns13\r\n") << "s1:0 s2:1 s3:2 s4:3";
    QTest::newRow("input digit 4..9 still reported as status")
        << QByteArray("s14\r\ns29\r\n") << "s1:4 s2:9";
    QTest::newRow("output digit 0 and 5 ignored") << QByteArray("s02\r\ns51\r\n") << "";
    QTest::newRow("upper-case S ignored") << QByteArray("S12\r\n") << "";
    QTest::newRow("record at character 2 ignored") << QByteArray(" s12\r\n") << "";
    QTest::newRow("letter for input digit ignored") << QByteArray("s1x\r\n") << "";
    QTest::newRow("record cut after its output digit") << QByteArray("s1") << "";
    QTest::newRow("input digit arriving alone in the next read") << QByteArray("2\r\n") << "";
    QTest::newRow("later slot reported after earlier for the same output")
        << QByteArray("s10\r\ns13\r\n") << "s1:0 s1:3";
    QTest::newRow("p30: any input digit, output 3 without display")
        << QByteArray("p30\r\n") << "p3";
    QTest::newRow("p39") << QByteArray("p39\r\n") << "p3";
    QTest::newRow("p with letter for input digit ignored") << QByteArray("p3x\r\n") << "";
    QTest::newRow("p with output 5 ignored") << QByteArray("p50\r\n") << "";
    QTest::newRow("s at slot 1, p at slot 6 for output 2: s then p")
        << QByteArray("s21\r\np20\r\n") << "s2:1 p2";
    QTest::newRow("p at slot 1, s at slot 6: still all s before all p")
        << QByteArray("p20\r\ns21\r\n") << "s2:1 p2";
    QTest::newRow("mixed kinds over all four slots")
        << QByteArray("p10\r\ns22\r\np30\r\ns41\r\n") << "s2:2 s4:1 p1 p3";

    // Tagged replies.
    QTest::newRow("MP2 wall input IN3") << QByteArray("MP2\r\n") << "wall2";
    QTest::newRow("MP0") << QByteArray("MP0\r\n") << "wall0";
    QTest::newRow("MP3") << QByteArray("MP3\r\n") << "wall3";
    QTest::newRow("MP4 ignored") << QByteArray("MP4\r\n") << "";
    QTest::newRow("MP7 ignored") << QByteArray("MP7\r\n") << "";
    QTest::newRow("MPx ignored") << QByteArray("MPx\r\n") << "";
    QTest::newRow("MP alone ignored") << QByteArray("MP") << "";
    QTest::newRow("MD0 matrix") << QByteArray("MD0\r\n") << "mode0";
    QTest::newRow("MD1 video wall") << QByteArray("MD1\r\n") << "mode1";
    QTest::newRow("MD2 ignored") << QByteArray("MD2\r\n") << "";
    QTest::newRow("MD alone ignored") << QByteArray("MD") << "";
    QTest::newRow("MD then CR LF ignored") << QByteArray("MD\r\n") << "";
    QTest::newRow("MD1xx + record at 6: record first, then mode")
        << QByteArray("MD1xxs23\r\n") << "s2:3 mode1";
    QTest::newRow("RS0 720P@60") << QByteArray("RS0\r\n") << "res0";
    QTest::newRow("RS3 1280X1024") << QByteArray("RS3\r\n") << "res3";
    QTest::newRow("RS8 1920X1200") << QByteArray("RS8\r\n") << "res8";
    QTest::newRow("RS9 ignored: no tenth resolution") << QByteArray("RS9\r\n") << "";
    QTest::newRow("RS with letter ignored") << QByteArray("RSa\r\n") << "";
    QTest::newRow("tag at character 2 ignored") << QByteArray(" MD1\r\n") << "";
    QTest::newRow("lower-case md1 ignored") << QByteArray("md1\r\n") << "";
    QTest::newRow("IP OK") << QByteArray("IP OK\r\n") << "address";
    QTest::newRow("IP alone") << QByteArray("IP") << "address";
    QTest::newRow("DHCP OK") << QByteArray("DHCP OK\r\n") << "address";
    QTest::newRow("DHC cut short ignored") << QByteArray("DHC") << "";
    QTest::newRow("ip lower case ignored") << QByteArray("ip ok\r\n") << "";
    QTest::newRow("dhcp lower case ignored") << QByteArray("dhcp ok\r\n") << "";
    QTest::newRow("IP with a record at 6: record first")
        << QByteArray("IP OKs31\r\n") << "s3:1 address";

    // Anything else.
    QTest::newRow("empty line") << QByteArray() << "";
    QTest::newRow("NUL bytes") << QByteArray("\0\0\0\0\0s1\0\r\n", 10) << "";
    QTest::newRow("NUL inside a record") << QByteArray("s\0"
                                                       "2\r\n",
                                                       5)
                                         << "";
    QTest::newRow("high bytes around a record")
        << QByteArray("\xff\xfe\x80\x81\x82s23\xff\xff") << "s2:3";
    QTest::newRow("high bytes where digits belong") << QByteArray("s\xb1\xb2MD\xb1") << "";
    QTest::newRow("control characters") << QByteArray("\x1b[2J\x07\r\n") << "";
}

void tst_ReplyDecoder::decode()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, expected);

    RecordingSink sink;
    decodeReply(line, sink);
    QCOMPARE(sink.log.join(u' '), expected);
}

QTEST_GUILESS_MAIN(tst_ReplyDecoder)
#include "tst_replydecoder.moc"
