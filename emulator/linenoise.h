// SPDX-License-Identifier: MIT
#pragma once

// What reaches the panel when the line is not what it should be, for the emulator's "junk"
// console command. Neither holds a line end, a letter or a digit: no byte of either is ever
// part of a reply the panel decodes.

#include <QByteArray>
#include <QByteArrayView>

namespace linenoise {

inline constexpr int maxJunk = 4096;

// count bytes of noise, the same for the same count.
QByteArray junk(int count);

// A reply as the panel receives it when the device runs at another baud rate: as many bytes,
// each one of them mangled.
QByteArray atAnotherBaudRate(QByteArrayView reply);

} // namespace linenoise
