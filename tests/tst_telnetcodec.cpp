// SPDX-License-Identifier: MIT
#include "telnetcodec.h"

#include <QTest>

// The Telnet layer of a network port against byte sequences a serial device server sends:
// what reaches the line, what goes back, and what the layer reports.
class tst_TelnetCodec : public QObject
{
    Q_OBJECT

private slots:
    void unwrapsTheFarEndsBytes_data();
    void unwrapsTheFarEndsBytes();
    void sameResultInAnyPieces();
    void escapeDoublesEveryFF_data();
    void escapeDoublesEveryFF();
    void comPortOptionAgreedSetsTheLine();
    void refusedOptionLeavesPlainTelnet_data();
    void refusedOptionLeavesPlainTelnet();
    void settingsAsTheOptionEncodesThem_data();
    void settingsAsTheOptionEncodesThem();
};

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

} // namespace

void tst_TelnetCodec::unwrapsTheFarEndsBytes_data()
{
    QTest::addColumn<QByteArray>("in");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("reply");

    QTest::newRow("plain bytes") << hex("0855310a") << hex("0855310a") << QByteArray();
    QTest::newRow("IAC IAC is one FF") << hex("41ffff42") << hex("41ff42") << QByteArray();
    QTest::newRow("NOP and GA carry nothing") << hex("41fff1fff942") << hex("4142") << QByteArray();
    QTest::newRow("DO BINARY agreed, once") << hex("fffd00fffd00") << QByteArray() << hex("fffb00");
    QTest::newRow("WILL BINARY and SGA agreed")
        << hex("fffb00fffb03") << QByteArray() << hex("fffd00fffd03");
    QTest::newRow("WILL ECHO refused") << hex("fffb01") << QByteArray() << hex("fffe01");
    QTest::newRow("DO terminal type refused") << hex("fffd18") << QByteArray() << hex("fffc18");
    QTest::newRow("DONT of an option never agreed: silence")
        << hex("fffe01fffc01") << QByteArray() << QByteArray();
    QTest::newRow("DONT after DO BINARY: WONT")
        << hex("fffd00fffe00") << QByteArray() << hex("fffb00fffc00");
    QTest::newRow("subnegotiation with IAC IAC inside, data around")
        << hex("61fffa18ffff01fff062") << hex("6162") << hex("");
    QTest::newRow("overlong subnegotiation is dropped")
        << (hex("fffa2c65") + QByteArray(200, '\x01') + hex("fff063")) << hex("63") << QByteArray();
    QTest::newRow("command inside an unfinished subnegotiation ends it")
        << hex("fffa2c65fffd0064") << hex("64") << hex("fffb00");
    QTest::newRow("modem state notice ignored")
        << hex("fffa2c6b00fff041") << hex("41") << QByteArray();
}

void tst_TelnetCodec::unwrapsTheFarEndsBytes()
{
    QFETCH(QByteArray, in);
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, reply);
    TelnetCodec codec(false);
    QByteArray gotData, gotReply;
    codec.receive(in, &gotData, &gotReply);
    QCOMPARE(gotData.toHex(' '), data.toHex(' '));
    QCOMPARE(gotReply.toHex(' '), reply.toHex(' '));
}

void tst_TelnetCodec::sameResultInAnyPieces()
{
    // What ser2net sends on connect, a confirmation, and line data with FF in it.
    const QByteArray stream =
        hex("fffb03fffd03fffb01fffe01fffd00fffb00fffd2cfffa2c6b00fff0") +
        hex("fffa2c65000025 80fff0fffa2c6608fff0fffa2c6701fff0fffa2c6801fff0") + hex("41ffff42ff");
    TelnetCodec whole(true);
    whole.start();
    QByteArray wholeData, wholeReply;
    whole.receive(stream, &wholeData, &wholeReply);
    QCOMPARE(wholeData, hex("41ff42"));
    QCOMPARE(whole.comPort(), TelnetCodec::ComPort::Accepted);
    QCOMPARE(whole.confirmedSettings(), 4);

    for (int piece = 1; piece <= 5; ++piece) {
        TelnetCodec cut(true);
        cut.start();
        QByteArray data, reply;
        for (qsizetype at = 0; at < stream.size(); at += piece)
            cut.receive(
                QByteArrayView(stream).sliced(at, qMin<qsizetype>(piece, stream.size() - at)),
                &data, &reply);
        QCOMPARE(data, wholeData);
        QCOMPARE(reply, wholeReply);
        QCOMPARE(cut.takeEvents(), whole.takeEvents());
        whole = TelnetCodec(true);
        whole.start();
        wholeData.clear();
        wholeReply.clear();
        whole.receive(stream, &wholeData, &wholeReply);
    }
}

void tst_TelnetCodec::escapeDoublesEveryFF_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("wire");
    QTest::newRow("no FF") << hex("0855310a") << hex("0855310a");
    QTest::newRow("fixed address 10.255.0.1")
        << hex("0855310aff000177") << hex("0855310affff000177");
    QTest::newRow("FF at both ends, twice") << hex("ffff41ff") << hex("ffffffff41ffff");
    QTest::newRow("empty") << QByteArray() << QByteArray();
}

void tst_TelnetCodec::escapeDoublesEveryFF()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, wire);
    QCOMPARE(TelnetCodec::escape(line).toHex(' '), wire.toHex(' '));
    // And back: what the far end sends escaped reads as the line's bytes.
    TelnetCodec codec(false);
    QByteArray data, reply;
    codec.receive(wire, &data, &reply);
    QCOMPARE(data, line);
}

void tst_TelnetCodec::comPortOptionAgreedSetsTheLine()
{
    TelnetCodec codec(true, SerialSettings{});
    QCOMPARE(codec.start(), hex("fffb2c"));
    QCOMPARE(codec.start(), QByteArray()); // offered once
    QCOMPARE(codec.comPort(), TelnetCodec::ComPort::Offered);

    QByteArray data, reply;
    codec.receive(hex("fffd2c"), &data, &reply);
    QCOMPARE(codec.comPort(), TelnetCodec::ComPort::Accepted);
    QCOMPARE(reply.toHex(' '), TelnetCodec::settingsCommands(SerialSettings{}).toHex(' '));
    QCOMPARE(codec.takeEvents(),
             QList<TelnetCodec::Event>{{TelnetCodec::Event::Kind::ComPortAccepted}});

    // A second DO changes nothing and is not answered.
    reply.clear();
    codec.receive(hex("fffd2c"), &data, &reply);
    QCOMPARE(reply, QByteArray());

    codec.receive(hex("fffa2c65000025 80fff0fffa2c6608fff0"), &data, &reply);
    codec.receive(hex("fffa2c6701fff0fffa2c6801fff0"), &data, &reply);
    QCOMPARE(codec.confirmedSettings(), 4);
    using E = TelnetCodec::Event;
    QCOMPARE(codec.takeEvents(), (QList<E>{{E::Kind::ComPortConfirmed, 1, 9600},
                                           {E::Kind::ComPortConfirmed, 2, 8},
                                           {E::Kind::ComPortConfirmed, 3, 1},
                                           {E::Kind::ComPortConfirmed, 4, 1}}));
    QCOMPARE(data, QByteArray());
}

void tst_TelnetCodec::refusedOptionLeavesPlainTelnet_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("DONT") << hex("fffe2c") << QByteArray();
    QTest::newRow("WONT") << hex("fffc2c") << QByteArray();
    QTest::newRow("DO, then DONT later")
        << hex("fffd2cfffe2c") << (TelnetCodec::settingsCommands({}) + hex("fffc2c"));
}

void tst_TelnetCodec::refusedOptionLeavesPlainTelnet()
{
    QFETCH(QByteArray, answer);
    QFETCH(QByteArray, reply);
    TelnetCodec codec(true);
    codec.start();
    QByteArray data, gotReply;
    codec.receive(answer + hex("41ffff"), &data, &gotReply);
    QCOMPARE(codec.comPort(), TelnetCodec::ComPort::Refused);
    QCOMPARE(gotReply.toHex(' '), reply.toHex(' '));
    QCOMPARE(codec.takeEvents().last().kind, TelnetCodec::Event::Kind::ComPortRefused);
    QCOMPARE(data, hex("41ff")); // still Telnet: FF comes doubled
    // Asked again, nothing more is said about it.
    gotReply.clear();
    codec.receive(hex("fffe2cfffc2c"), &data, &gotReply);
    QCOMPARE(gotReply, QByteArray());
    QVERIFY(codec.takeEvents().isEmpty());
}

void tst_TelnetCodec::settingsAsTheOptionEncodesThem_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QByteArray>("commands");
    QTest::newRow("9600,N,8,1")
        << QStringLiteral("9600,N,8,1")
        << hex("fffa2c0100002580fff0 fffa2c0208fff0 fffa2c0301fff0 fffa2c0401fff0");
    QTest::newRow("19200,E,7,2")
        << QStringLiteral("19200,E,7,2")
        << hex("fffa2c0100004b00fff0 fffa2c0207fff0 fffa2c0303fff0 fffa2c0402fff0");
    QTest::newRow("O, M, S and 1.5 stop bits; a baud rate with an FF byte doubled")
        << QStringLiteral("255,O,5,1.5")
        << hex("fffa2c01000000fffffff0 fffa2c0205fff0 fffa2c0302fff0 fffa2c0403fff0");
    QTest::newRow("mark") << QStringLiteral("300,M,6,1")
                          << hex("fffa2c010000012cfff0 fffa2c0206fff0 fffa2c0304fff0 "
                                 "fffa2c0401fff0");
    QTest::newRow("space") << QStringLiteral("1200,S,8,1")
                           << hex("fffa2c01000004b0fff0 fffa2c0208fff0 fffa2c0305fff0 "
                                  "fffa2c0401fff0");
}

void tst_TelnetCodec::settingsAsTheOptionEncodesThem()
{
    QFETCH(QString, settings);
    QFETCH(QByteArray, commands);
    const std::optional<SerialSettings> parsed = parseSerialSettings(settings);
    QVERIFY(parsed);
    QCOMPARE(TelnetCodec::settingsCommands(*parsed).toHex(' '), commands.toHex(' '));
}

QTEST_GUILESS_MAIN(tst_TelnetCodec)
#include "tst_telnetcodec.moc"
