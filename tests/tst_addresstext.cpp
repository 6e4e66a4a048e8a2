#include "addresstext.h"
#include "errortrap.h"

#include <QTest>

class tst_AddressText : public QObject
{
    Q_OBJECT

private slots:
    void textToPacked_data();
    void textToPacked();
    void packedToText_data();
    void packedToText();
    void partRounding_data();
    void partRounding();
    void countIF_data();
    void countIF();
    void countIFOverflows();
    void pastedAddress_data();
    void pastedAddress();
};

// error 0: the text is accepted and gives packed.
void tst_AddressText::textToPacked_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("error");
    QTest::addColumn<quint32>("packed");

    auto ok = [](const char *name, const char *text, quint32 packed) {
        QTest::newRow(name) << QString::fromUtf8(text) << 0 << packed;
    };
    auto fails = [](const char *name, const char *text, int error) {
        QTest::newRow(name) << QString::fromUtf8(text) << error << quint32(0);
    };

    ok("first field in the top byte", "10.0.0.1", 0x0A000001u);
    ok("all fields distinct", "1.2.3.4", 0x01020304u);
    ok("all 255", "255.255.255.255", 0xFFFFFFFFu);
    ok("all 0", "0.0.0.0", 0u);
    ok("parts after part 3 ignored", "1.2.3.4.5", 0x01020304u);
    ok("ignored tail is not validated", "1.2.3.4.x.999", 0x01020304u);
    ok("leading zeros are decimal, not octal", "010.001.000.009", 0x0A010009u);
    ok("blanks around numbers", "1. 2 .3 . 4", 0x01020304u);
    ok("tabs around numbers", "\t1\t.2.3.4 ", 0x01020304u);
    ok("plus sign", "+1.2.3.4", 0x01020304u);
    ok("minus zero", "-0.2.3.4", 0x00020304u);
    ok("exponent", "1e2.2.3.4", 0x64020304u);
    ok("exponent fraction rounds half to even (2.5 -> 2)", "1.2.3.25e-1", 0x01020302u);
    ok("exponent fraction rounds half to even (3.5 -> 4)", "1.2.3.35e-1", 0x01020304u);
    ok("just below 255.5 rounds to 255", "2554e-1.0.0.0", 0xFF000000u);

    fails("two dots", "1.2.3", AddressError::BadFormat);
    fails("no dots", "1234", AddressError::BadFormat);
    fails("empty text", "", AddressError::BadFormat);
    fails("part 3 above 255", "1.2.3.256", AddressError::Overflow);
    fails("empty part", "1.2..4", AddressError::TypeMismatch);
    fails("empty last part", "1.2.3.", AddressError::TypeMismatch);
    fails("blank part", "1.2. .4", AddressError::TypeMismatch);
    fails("part 3 is checked before part 0", "x.1.2.300", AddressError::Overflow);
    fails("part 0 not a number", "x.1.2.3", AddressError::TypeMismatch);
    fails("negative", "1.2.-1.4", AddressError::Overflow);
    fails("minus rounds below 0", "1.2.3.-6e-1", AddressError::Overflow);
    fails("255.5 rounds to 256", "2555e-1.0.0.0", AddressError::Overflow);
    fails("huge number", "1.2.3.99999999999999999999", AddressError::Overflow);
    fails("huge exponent", "1.2.3.1e99999999999", AddressError::Overflow);
    fails("hexadecimal", "0x10.0.0.1", AddressError::TypeMismatch);
    fails("decimal comma", "1,5.0.0.1", AddressError::TypeMismatch);
    fails("blank inside a number", "1 0.0.0.1", AddressError::TypeMismatch);
    fails("exponent without digits", "1e.0.0.1", AddressError::TypeMismatch);
    fails("non-ASCII digits", "\xd9\xa1.0.0.1", AddressError::TypeMismatch);
}

void tst_AddressText::textToPacked()
{
    QFETCH(QString, text);
    QFETCH(int, error);
    QFETCH(quint32, packed);

    try {
        const quint32 result = AddressTextToPacked(text);
        QCOMPARE(0, error);
        QCOMPARE(result, packed);
    } catch (const NumberedError &e) {
        QCOMPARE(e.number(), error);
        if (error == AddressError::BadFormat) {
            QCOMPARE(e.description(), QString::fromUtf8("Ip 地址格式错误\r\n"
                                                        "正确的格式应该为: 255.255.255.255"));
        } else if (error == AddressError::TypeMismatch) {
            QCOMPARE(e.description(), QStringLiteral("Type mismatch"));
        } else {
            QCOMPARE(e.description(), QStringLiteral("Overflow"));
        }
    }
}

void tst_AddressText::packedToText_data()
{
    QTest::addColumn<quint32>("packed");
    QTest::addColumn<QString>("text");
    QTest::newRow("first field from the top byte") << 0x0A000001u << QStringLiteral("10.0.0.1");
    QTest::newRow("no leading zeros") << 0x0A010009u << QStringLiteral("10.1.0.9");
    QTest::newRow("all 255") << 0xFFFFFFFFu << QStringLiteral("255.255.255.255");
    QTest::newRow("all 0") << 0u << QStringLiteral("0.0.0.0");
    QTest::newRow("each byte in place") << 0xC0A80164u << QStringLiteral("192.168.1.100");
}

void tst_AddressText::packedToText()
{
    QFETCH(quint32, packed);
    QFETCH(QString, text);
    QCOMPARE(PackedToAddressText(packed), text);
    QCOMPARE(AddressTextToPacked(text), packed);
}

// Fractions cannot reach a part through a dotted text, but the part conversion is the
// general number reading and rounds exactly, half to even.
void tst_AddressText::partRounding_data()
{
    QTest::addColumn<QString>("part");
    QTest::addColumn<int>("byte"); // -1: overflow
    QTest::newRow("0.5 -> 0") << QStringLiteral("0.5") << 0;
    QTest::newRow("1.5 -> 2") << QStringLiteral("1.5") << 2;
    QTest::newRow("2.5 -> 2") << QStringLiteral("2.5") << 2;
    QTest::newRow("2.51 -> 3") << QStringLiteral("2.51") << 3;
    QTest::newRow("2.5000001 -> 3 (exact, not binary)") << QStringLiteral("2.5000001") << 3;
    QTest::newRow("2.4999999 -> 2") << QStringLiteral("2.4999999") << 2;
    QTest::newRow("254.5 -> 254") << QStringLiteral("254.5") << 254;
    QTest::newRow("255.4 -> 255") << QStringLiteral("255.4") << 255;
    QTest::newRow("255.5 overflows") << QStringLiteral("255.5") << -1;
    QTest::newRow(".6 -> 1") << QStringLiteral(".6") << 1;
    QTest::newRow("7. -> 7") << QStringLiteral("7.") << 7;
    QTest::newRow("-0.4 -> 0") << QStringLiteral("-0.4") << 0;
    QTest::newRow("-0.5 -> 0") << QStringLiteral("-0.5") << 0;
    QTest::newRow("0.0000005e6 -> 0") << QStringLiteral("0.0000005e6") << 0;
    QTest::newRow("25.5E1 -> 255") << QStringLiteral("25.5E1") << 255;
    QTest::newRow("1e-99999999 -> 0") << QStringLiteral("1e-99999999") << 0;
    QTest::newRow("0e99999999 -> 0") << QStringLiteral("0e99999999") << 0;
}

void tst_AddressText::partRounding()
{
    QFETCH(QString, part);
    QFETCH(int, byte);
    try {
        QCOMPARE(int(AddressPartToByte(part)), byte);
    } catch (const NumberedError &e) {
        QCOMPARE(-1, byte);
        QCOMPARE(e.number(), AddressError::Overflow);
    }
}

void tst_AddressText::countIF_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("wanted");
    QTest::addColumn<int>("count");
    QTest::newRow("dots of an address") << QStringLiteral("1.2.3.4") << QStringLiteral(".") << 3;
    QTest::newRow("empty text") << QString() << QStringLiteral(".") << 0;
    QTest::newRow("only the first character of nChar counts")
        << QStringLiteral("a.b.c") << QStringLiteral(".b") << 2;
    QTest::newRow("empty nChar counts nothing") << QStringLiteral("...") << QString() << 0;
    QTest::newRow("case matters") << QStringLiteral("aAaA") << QStringLiteral("a") << 2;
    QTest::newRow("32767 is the largest count")
        << QString(32767, u'.') << QStringLiteral(".") << 32767;
    QTest::newRow("others do not count toward the limit")
        << QString(40000, u'x') + QStringLiteral("..") << QStringLiteral(".") << 2;
}

void tst_AddressText::countIF()
{
    QFETCH(QString, text);
    QFETCH(QString, wanted);
    QFETCH(int, count);
    QCOMPARE(int(CountIF(text, wanted)), count);
}

void tst_AddressText::countIFOverflows()
{
    try {
        CountIF(QString(32768, u'.'), u".");
        QFAIL("a count of 32768 did not fail");
    } catch (const NumberedError &e) {
        QCOMPARE(e.number(), AddressError::Overflow);
    }
    // The address write counts with it too, so the overflow reaches its caller.
    try {
        AddressTextToPacked(QString(32768, u'.'));
        QFAIL("an address of 32768 dots did not fail");
    } catch (const NumberedError &e) {
        QCOMPARE(e.number(), AddressError::Overflow);
    }
}

// Text the box takes from the clipboard, and what it refuses (packed then unused).
void tst_AddressText::pastedAddress_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("taken");
    QTest::addColumn<quint32>("packed");
    auto taken = [](const char *name, const char *text, quint32 packed) {
        QTest::newRow(name) << QString::fromUtf8(text) << true << packed;
    };
    auto refused = [](const char *name, const char *text) {
        QTest::newRow(name) << QString::fromUtf8(text) << false << 0xFFFFFFFFu;
    };
    taken("plain", "192.168.1.100", 0xC0A80164u);
    taken("all 255", "255.255.255.255", 0xFFFFFFFFu);
    taken("all 0", "0.0.0.0", 0u);
    taken("blanks around", "  10.85.119.1\t", 0x0A557701u);
    taken("copied with its line end", "10.0.0.1\r\n", 0x0A000001u);
    taken("leading zeros", "010.001.000.009", 0x0A010009u);
    refused("empty", "");
    refused("blanks only", "   ");
    refused("three fields", "1.2.3");
    refused("five fields", "1.2.3.4.5");
    refused("a trailing dot", "1.2.3.4.");
    refused("an empty field", "1.2..4");
    refused("a field above 255", "1.2.3.256");
    refused("four digits", "1.2.3.0255");
    refused("blank inside", "1. 2.3.4");
    refused("two addresses", "1.2.3.4 5.6.7.8");
    refused("sign", "+1.2.3.4");
    refused("exponent", "1e2.2.3.4");
    refused("fraction", "1.2.3.4.5e-1");
    refused("hexadecimal", "0x1.2.3.4");
    refused("full-width digits", "\xef\xbc\x91.2.3.4");
    refused("words", "router.local.lan.home");
}

void tst_AddressText::pastedAddress()
{
    QFETCH(QString, text);
    QFETCH(bool, taken);
    QFETCH(quint32, packed);
    const std::optional<quint32> result = PastedAddressToPacked(text);
    QCOMPARE(result.has_value(), taken);
    if (taken)
        QCOMPARE(*result, packed);
}

QTEST_GUILESS_MAIN(tst_AddressText)
#include "tst_addresstext.moc"
