// SPDX-License-Identifier: MIT
#include "fixedaddress.h"
#include "frames.h"
#include "vocabulary.h"

#include <QTest>

#include <optional>

using Octets = std::array<quint8, 4>;
Q_DECLARE_METATYPE(std::optional<Octets>)

class tst_Frames : public QObject
{
    Q_OBJECT

private slots:
    void catalogue_data();
    void catalogue();
    void lengthByte_data();
    void lengthByte();
    void outOfRangeSendsNothing_data();
    void outOfRangeSendsNothing();
    void windowRowsOnTheLine_data();
    void windowRowsOnTheLine();
    void addressText_data();
    void addressText();
};

void tst_Frames::catalogue_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("OutputSelect out1 -> 05550200 77")
        << frames::OutputSelect(0) << QByteArray::fromHex("0555020077");
    QTest::newRow("OutputSelect out4 -> 05550203 77")
        << frames::OutputSelect(3) << QByteArray::fromHex("0555020377");
    QTest::newRow("BorderReset is four bytes with length byte 5 -> 05550477")
        << frames::BorderReset() << QByteArray::fromHex("05550477");
    QTest::newRow("BorderVerticalIn -> 04550577")
        << frames::BorderVerticalIn() << QByteArray::fromHex("04550577");
    QTest::newRow("BorderVerticalOut -> 04550677")
        << frames::BorderVerticalOut() << QByteArray::fromHex("04550677");
    QTest::newRow("BorderHorizontalIn -> 04550777")
        << frames::BorderHorizontalIn() << QByteArray::fromHex("04550777");
    QTest::newRow("BorderHorizontalOut -> 04550877")
        << frames::BorderHorizontalOut() << QByteArray::fromHex("04550877");
    QTest::newRow("Route Out1 IN1 -> 05551900 77")
        << frames::Route(0, 0) << QByteArray::fromHex("0555190077");
    QTest::newRow("Route Out2 IN3 -> 05551912 77")
        << frames::Route(1, 2) << QByteArray::fromHex("0555191277");
    QTest::newRow("Route Out3 IN4 -> 05551923 77")
        << frames::Route(2, 3) << QByteArray::fromHex("0555192377");
    QTest::newRow("Route Out4 IN1 -> 05551930 77")
        << frames::Route(3, 0) << QByteArray::fromHex("0555193077");
    QTest::newRow("Route ALL IN1 -> 05551940 77")
        << frames::Route(4, 0) << QByteArray::fromHex("0555194077");
    QTest::newRow("Route ALL IN2 -> 05551941 77")
        << frames::Route(4, 1) << QByteArray::fromHex("0555194177");
    QTest::newRow("Route ALL IN4 -> 05551943 77")
        << frames::Route(4, 3) << QByteArray::fromHex("0555194377");
    QTest::newRow("StatusRequest -> 04552077")
        << frames::StatusRequest() << QByteArray::fromHex("04552077");
    QTest::newRow("SetMode matrix -> 05552100 77")
        << frames::SetMode(0) << QByteArray::fromHex("0555210077");
    QTest::newRow("SetMode video wall -> 05552101 77")
        << frames::SetMode(1) << QByteArray::fromHex("0555210177");
    QTest::newRow("SetResolution 720P@60 -> 05552200 77")
        << frames::SetResolution(0) << QByteArray::fromHex("0555220077");
    QTest::newRow("SetResolution 1920X1200 -> 05552208 77")
        << frames::SetResolution(8) << QByteArray::fromHex("0555220877");
    QTest::newRow("VideoWallInput IN1 -> 05552300 77")
        << frames::VideoWallInput(0) << QByteArray::fromHex("0555230077");
    QTest::newRow("VideoWallInput IN4 -> 05552303 77")
        << frames::VideoWallInput(3) << QByteArray::fromHex("0555230377");
    QTest::newRow("SetAutoAddress -> 04553077")
        << frames::SetAutoAddress() << QByteArray::fromHex("04553077");
    QTest::newRow("fixed address 0.0.0.1 -> 08 55 31 00 00 00 01 77")
        << frames::SetFixedAddress({0, 0, 0, 1}) << QByteArray::fromHex("0855310000000177");
    QTest::newRow("fixed address 192.168.0.10 -> 08 55 31 C0 A8 00 0A 77")
        << frames::SetFixedAddress({192, 168, 0, 10}) << QByteArray::fromHex("085531C0A8000A77");
    QTest::newRow("fixed address with marker-valued octets 10.85.119.1 -> 08 55 31 0A 55 77 01 77")
        << frames::SetFixedAddress({10, 85, 119, 1}) << QByteArray::fromHex("0855310A55770177");
    QTest::newRow("fixed address 255.255.255.255 -> 08 55 31 FF FF FF FF 77")
        << frames::SetFixedAddress({255, 255, 255, 255}) << QByteArray::fromHex("085531FFFFFFFF77");
}

void tst_Frames::catalogue()
{
    QFETCH(QByteArray, frame);
    QFETCH(QByteArray, expected);
    QCOMPARE(frame.toHex(' '), expected.toHex(' '));
}

void tst_Frames::lengthByte_data()
{
    QTest::addColumn<QByteArray>("frame");

    QTest::newRow("OutputSelect") << frames::OutputSelect(2);
    QTest::newRow("BorderVerticalIn") << frames::BorderVerticalIn();
    QTest::newRow("BorderVerticalOut") << frames::BorderVerticalOut();
    QTest::newRow("BorderHorizontalIn") << frames::BorderHorizontalIn();
    QTest::newRow("BorderHorizontalOut") << frames::BorderHorizontalOut();
    QTest::newRow("Route") << frames::Route(2, 1);
    QTest::newRow("StatusRequest") << frames::StatusRequest();
    QTest::newRow("SetMode") << frames::SetMode(1);
    QTest::newRow("SetResolution") << frames::SetResolution(4);
    QTest::newRow("VideoWallInput") << frames::VideoWallInput(2);
    QTest::newRow("SetAutoAddress") << frames::SetAutoAddress();
    QTest::newRow("SetFixedAddress") << frames::SetFixedAddress({1, 2, 3, 4});
}

void tst_Frames::lengthByte()
{
    // Every frame but BorderReset announces its own size and carries both markers.
    QFETCH(QByteArray, frame);
    QVERIFY(frame.size() >= 4);
    QCOMPARE(int(quint8(frame.at(0))), int(frame.size()));
    QCOMPARE(quint8(frame.at(1)), quint8(0x55));
    QCOMPARE(quint8(frame.back()), quint8(0x77));
}

void tst_Frames::outOfRangeSendsNothing_data()
{
    QTest::addColumn<QByteArray>("frame");

    QTest::newRow("OutputSelect row -1") << frames::OutputSelect(-1);
    QTest::newRow("OutputSelect row 4 (ALL is only for Route)") << frames::OutputSelect(4);
    QTest::newRow("Route row 5") << frames::Route(5, 0);
    QTest::newRow("Route row -1") << frames::Route(-1, 0);
    QTest::newRow("Route input 4 would reach the next row's nibble") << frames::Route(0, 4);
    QTest::newRow("Route input 16") << frames::Route(1, 16);
    QTest::newRow("SetMode 2") << frames::SetMode(2);
    QTest::newRow("SetResolution 9") << frames::SetResolution(9);
    QTest::newRow("SetResolution 256 would wrap to 0") << frames::SetResolution(256);
    QTest::newRow("VideoWallInput 4") << frames::VideoWallInput(4);
    QTest::newRow("VideoWallInput -1") << frames::VideoWallInput(-1);
}

void tst_Frames::outOfRangeSendsNothing()
{
    QFETCH(QByteArray, frame);
    QVERIFY2(frame.isEmpty(), frame.toHex(' ').constData());
}

// A row and input as the window numbers them, to the Route frame and back.
void tst_Frames::windowRowsOnTheLine_data()
{
    QTest::addColumn<int>("output"); // 1..4, or vocabulary::allOutputs
    QTest::addColumn<int>("input");  // 1..4
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("Out1 IN1 -> row 0 input 0") << 1 << 1 << QByteArray::fromHex("0555190077");
    QTest::newRow("Out2 IN3 -> row 1 input 2") << 2 << 3 << QByteArray::fromHex("0555191277");
    QTest::newRow("Out4 IN1 -> row 3 input 0") << 4 << 1 << QByteArray::fromHex("0555193077");
    QTest::newRow("ALL IN1 -> row 4 input 0")
        << vocabulary::allOutputs << 1 << QByteArray::fromHex("0555194077");
    QTest::newRow("ALL IN4 -> row 4 input 3")
        << vocabulary::allOutputs << 4 << QByteArray::fromHex("0555194377");
}

void tst_Frames::windowRowsOnTheLine()
{
    QFETCH(int, output);
    QFETCH(int, input);
    QFETCH(QByteArray, expected);
    QVERIFY(vocabulary::isRow(output));
    QVERIFY(vocabulary::isInput(input));
    const QByteArray frame =
        frames::Route(vocabulary::routeRow(output), vocabulary::inputIndex(input));
    QCOMPARE(frame, expected);
    const int parameter = quint8(frame.at(3));
    QCOMPARE(vocabulary::rowOutput(vocabulary::routeRowOf(parameter)), output);
    QCOMPARE(vocabulary::inputAt(vocabulary::routeInputOf(parameter)), input);
}

void tst_Frames::addressText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<std::optional<Octets>>("octets");
    const std::optional<Octets> refused;

    QTest::newRow("start-up address 0.0.0.1")
        << QStringLiteral("0.0.0.1") << std::optional(Octets{0, 0, 0, 1});
    QTest::newRow("192.168.1.100 in text order")
        << QStringLiteral("192.168.1.100") << std::optional(Octets{192, 168, 1, 100});
    QTest::newRow("marker values 10.85.119.1")
        << QStringLiteral("10.85.119.1") << std::optional(Octets{10, 85, 119, 1});
    QTest::newRow("largest 255.255.255.255")
        << QStringLiteral("255.255.255.255") << std::optional(Octets{255, 255, 255, 255});
    QTest::newRow("leading zeros are decimal 010.001.000.009")
        << QStringLiteral("010.001.000.009") << std::optional(Octets{10, 1, 0, 9});

    QTest::newRow("empty text") << QString() << refused;
    QTest::newRow("three groups 1.2.3") << QStringLiteral("1.2.3") << refused;
    QTest::newRow("five groups 1.2.3.4.5") << QStringLiteral("1.2.3.4.5") << refused;
    QTest::newRow("empty inner group 1..2.3") << QStringLiteral("1..2.3") << refused;
    QTest::newRow("empty first group .1.2.3") << QStringLiteral(".1.2.3") << refused;
    QTest::newRow("empty last group 1.2.3.") << QStringLiteral("1.2.3.") << refused;
    QTest::newRow("only dots ...") << QStringLiteral("...") << refused;
    QTest::newRow("group 256 does not wrap to 0") << QStringLiteral("1.2.3.256") << refused;
    QTest::newRow("first group 300") << QStringLiteral("300.1.1.1") << refused;
    QTest::newRow("digit run longer than an int")
        << QStringLiteral("1.2.3.99999999999999999999") << refused;
    QTest::newRow("digit run that wraps an int to a small value")
        << QStringLiteral("4294967297.0.0.1") << refused;
    QTest::newRow("blank around a group") << QStringLiteral("1. 2.3.4") << refused;
    QTest::newRow("letter in a group") << QStringLiteral("1.2x.3.4") << refused;
    QTest::newRow("minus sign") << QStringLiteral("-1.2.3.4") << refused;
    QTest::newRow("comma as separator") << QStringLiteral("1,2,3,4") << refused;
    QTest::newRow("full-width digit is no digit") << QStringLiteral("1.2.3.\uFF14") << refused;
    QTest::newRow("trailing line break") << QStringLiteral("1.2.3.4\n") << refused;
}

static QString render(const std::optional<Octets> &octets)
{
    if (!octets)
        return QStringLiteral("refused");
    return QStringLiteral("%1 %2 %3 %4")
        .arg((*octets)[0])
        .arg((*octets)[1])
        .arg((*octets)[2])
        .arg((*octets)[3]);
}

void tst_Frames::addressText()
{
    QFETCH(QString, text);
    QFETCH(std::optional<Octets>, octets);
    QCOMPARE(render(fixedAddressOctets(text)), render(octets));
}

QTEST_GUILESS_MAIN(tst_Frames)
#include "tst_frames.moc"
