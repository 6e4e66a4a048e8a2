#pragma once

// Dotted address text ("192.168.1.100") and the packed 32-bit address the address box's
// editor works with. The packed value of a.b.c.d is a x 2^24 + b x 2^16 + c x 2^8 + d: the
// first field sits in the most significant byte, byte 0 (the least significant) is d.
//
// Failures are thrown as NumberedError (errortrap.h) with the numbers below.

#include <QString>
#include <QStringView>
#include <QtGlobal>

#include <optional>

namespace AddressError {
inline constexpr int Overflow = 6;
inline constexpr int TypeMismatch = 13;
inline constexpr int BadFormat = 102; // fewer than three dots
} // namespace AddressError

// Number of characters in lzExpr equal to the first character of nChar (0 when nChar is
// empty). The count is 16-bit signed: more than 32767 fails with Overflow.
qint16 CountIF(QStringView lzExpr, QStringView nChar);

// One part of a dotted address as a byte: a decimal number with blanks around it, rounded
// half to even; not a number -> TypeMismatch, outside 0..255 after rounding -> Overflow.
quint8 AddressPartToByte(QStringView part);

// Dotted text to the packed address. Needs at least three dots (else BadFormat); parts 3,
// 2, 1 and 0 are converted in that order, so the first failing part from the right decides
// the error; parts after part 3 are ignored.
quint32 AddressTextToPacked(const QString &NewIP);

// The packed address as dotted decimal text without leading zeros.
QString PackedToAddressText(quint32 packed);

// An address as the operator pastes it into the box: exactly four numbers of one to three
// decimal digits, each 0 to 255, joined by three dots, with blanks and line ends allowed
// around the whole text (" 192.168.1.100\n"). Anything else is not an address: nullopt.
std::optional<quint32> PastedAddressToPacked(QStringView text);
