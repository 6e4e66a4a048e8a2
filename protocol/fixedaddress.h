// SPDX-License-Identifier: MIT
#pragma once

// The four octets of a fixed device address, taken from the dotted text of the address box.

#include <QStringView>
#include <QtGlobal>

#include <array>
#include <optional>

// Walks the text left to right: the digits '0'..'9' build the current group, each '.' ends it
// and the group's decimal value becomes the next octet; the last group ends with the text.
// Leading zeros are allowed ("010" is 10, never octal).
//
// Only a complete address gives octets. nullopt for: fewer or more than four groups, an empty
// group ("1..2.3", ".1.2.3", "1.2.3.", ""), a group above 255 (however long its digit run), any
// character other than a digit or a dot (blanks included). The frame has room for exactly four
// octets of one byte each, so such text sends nothing rather than a truncated or wrapped address.
std::optional<std::array<quint8, 4>> fixedAddressOctets(QStringView text);
