// SPDX-License-Identifier: MIT
#include "addresstext.h"

#include "errortrap.h"

#include <QStringList>

#include <algorithm>

namespace {

[[noreturn]] void failOverflow()
{
    throw NumberedError(AddressError::Overflow, QStringLiteral("Overflow"));
}

[[noreturn]] void failTypeMismatch()
{
    throw NumberedError(AddressError::TypeMismatch, QStringLiteral("Type mismatch"));
}

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Index of the first digit 1..9 in digits at or after from, or -1.
qsizetype firstNonZero(QStringView digits, qsizetype from)
{
    for (qsizetype k = from; k < digits.size(); ++k) {
        if (digits[k] != u'0')
            return k;
    }
    return -1;
}

// A decimal number as it is written: its sign, its mantissa digits (integer part, then
// fraction) and its exponent.
struct WrittenNumber
{
    bool negative = false;
    QString digits;
    qsizetype integerDigits = 0;
    qint64 exponent = 0;
};

// The exponent at position i, if one stands there: e|E [+|-] digits. i ends after it.
qint64 readExponent(QStringView part, qsizetype &i, qsizetype end)
{
    if (i == end || (part[i] != u'e' && part[i] != u'E'))
        return 0;
    ++i;
    bool negativeExponent = false;
    if (i < end && (part[i] == u'+' || part[i] == u'-')) {
        negativeExponent = part[i] == u'-';
        ++i;
    }
    if (i == end || !isDigit(part[i]))
        failTypeMismatch();
    qint64 exponent = 0;
    for (; i < end && isDigit(part[i]); ++i) {
        // Saturate: beyond a million places the value is 0 or far above 255 anyway.
        if (exponent < 1'000'000)
            exponent = exponent * 10 + (part[i].unicode() - u'0');
    }
    return negativeExponent ? -exponent : exponent;
}

// [blanks] [+|-] digits [. digits] [e|E [+|-] digits] [blanks], at least one mantissa digit;
// anything else fails with TypeMismatch.
WrittenNumber readNumber(QStringView part)
{
    qsizetype i = 0;
    qsizetype end = part.size();
    while (i < end && isBlank(part[i]))
        ++i;
    while (end > i && isBlank(part[end - 1]))
        --end;

    WrittenNumber number;
    if (i < end && (part[i] == u'+' || part[i] == u'-')) {
        number.negative = part[i] == u'-';
        ++i;
    }
    for (; i < end && isDigit(part[i]); ++i, ++number.integerDigits)
        number.digits += part[i];
    if (i < end && part[i] == u'.') {
        for (++i; i < end && isDigit(part[i]); ++i)
            number.digits += part[i];
    }
    if (number.digits.isEmpty())
        failTypeMismatch();
    number.exponent = readExponent(part, i, end);
    if (i != end)
        failTypeMismatch();
    return number;
}

// The number's magnitude rounded exactly in decimal to a whole number, half to even; 1000 or
// more fails with Overflow.
int roundHalfToEven(const WrittenNumber &number)
{
    // value = 0.<significant> x 10^point
    const qsizetype firstSignificant = firstNonZero(number.digits, 0);
    if (firstSignificant < 0)
        return 0;
    const QStringView significant = QStringView(number.digits).mid(firstSignificant);
    const qint64 point = number.integerDigits + number.exponent - firstSignificant;
    if (point > 3)
        failOverflow(); // 1000 or more

    int whole = 0;
    for (qint64 k = 0; k < point && k < significant.size(); ++k)
        whole = whole * 10 + (significant[k].unicode() - u'0');
    for (qint64 k = significant.size(); k < point; ++k)
        whole *= 10;

    // Round on the first fraction digit; a 5 with nothing after it is a tie.
    if (point >= 0 && point < significant.size()) {
        const QChar first = significant[point];
        const bool moreAfterFive = firstNonZero(significant, point + 1) >= 0;
        if (first > u'5' || (first == u'5' && (moreAfterFive || whole % 2 == 1)))
            ++whole;
    }
    return whole;
}

} // namespace

qint16 CountIF(QStringView lzExpr, QStringView nChar)
{
    if (nChar.isEmpty())
        return 0;
    const QChar wanted = nChar.front();
    qint16 count = 0;
    for (const QChar c : lzExpr) {
        if (c != wanted)
            continue;
        if (count == 32767)
            failOverflow();
        ++count;
    }
    return count;
}

// Accepted: [blanks] [+|-] digits [. digits] [e|E [+|-] digits] [blanks], with at least one
// mantissa digit ("7", " 42 ", "+3", "010", "25e-1"). Always decimal: leading zeros do not
// mean octal, and hexadecimal, thousands separators and locale decimal commas are not
// numbers here, so an address reads the same on every machine. The value is rounded
// exactly in decimal (no binary floating point), half to even: 2.5 -> 2, 3.5 -> 4.
quint8 AddressPartToByte(QStringView part)
{
    const WrittenNumber number = readNumber(part);
    const int whole = roundHalfToEven(number);
    if (number.negative && whole != 0)
        failOverflow();
    if (whole > 255)
        failOverflow();
    return static_cast<quint8>(whole);
}

quint32 AddressTextToPacked(const QString &NewIP)
{
    if (CountIF(NewIP, u".") < 3) {
        throw NumberedError(AddressError::BadFormat,
                            QStringLiteral("Ip 地址格式错误") + QStringLiteral("\r\n") +
                                QStringLiteral("正确的格式应该为: 255.255.255.255"));
    }
    const QStringList parts = NewIP.split(u'.', Qt::KeepEmptyParts);
    quint32 packed = 0;
    for (int k = 3; k >= 0; --k)
        packed |= quint32(AddressPartToByte(parts[k])) << (8 * (3 - k));
    return packed;
}

QString PackedToAddressText(quint32 packed)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(packed >> 24)
        .arg((packed >> 16) & 0xFF)
        .arg((packed >> 8) & 0xFF)
        .arg(packed & 0xFF);
}

std::optional<quint32> PastedAddressToPacked(QStringView text)
{
    const QList<QStringView> parts = text.trimmed().split(u'.');
    if (parts.size() != 4)
        return std::nullopt;
    quint32 packed = 0;
    for (QStringView part : parts) {
        if (part.isEmpty() || part.size() > 3 || !std::all_of(part.begin(), part.end(), isDigit))
            return std::nullopt;
        const int value = part.toInt();
        if (value > 255)
            return std::nullopt;
        packed = packed << 8 | quint32(value);
    }
    return packed;
}
