// SPDX-License-Identifier: MIT
#pragma once

// The command catalogue: every frame the panel sends to the matrix, as the exact bytes.
//
// Frame layout, all sizes in bytes:
//   [0] length byte = total frame size (4, 5 or 8)   [1] 0x55 start marker
//   [2] command byte   [3..] 0, 1 or 4 parameter bytes   [last] 0x77 end marker
// There is no checksum and no escaping: a parameter byte equal to 0x55 or 0x77 goes out as it
// is. One frame breaks the length rule: BorderReset is the four bytes 05 55 04 77, whose length
// byte says 5; the device expects it exactly so.
//
// Inputs and output rows count from 0 here ("IN1" is input 0, "Out1" is row 0, "ALL" is row 4;
// vocabulary.h maps them to the window's numbering).
// An argument outside its range gives an empty array, so nothing reaches the line instead of a
// frame for another output or input; the window's controls never pass such a value.

#include <QByteArray>
#include <QtGlobal>

#include <array>

namespace frames {

QByteArray OutputSelect(int row);     // 05 55 02 rr 77, row 0..3
QByteArray BorderReset();             // 05 55 04 77 (four bytes)
QByteArray BorderVerticalIn();        // 04 55 05 77
QByteArray BorderVerticalOut();       // 04 55 06 77
QByteArray BorderHorizontalIn();      // 04 55 07 77
QByteArray BorderHorizontalOut();     // 04 55 08 77
QByteArray Route(int row, int input); // 05 55 19 (row*16+input) 77, row 0..4, input 0..3
QByteArray StatusRequest();           // 04 55 20 77
QByteArray SetMode(int mode);         // 05 55 21 mm 77, 0 matrix, 1 video wall
QByteArray SetResolution(int index);  // 05 55 22 ii 77, index 0..8 ("720P@60" .. "1920X1200")
QByteArray VideoWallInput(int input); // 05 55 23 ii 77, input 0..3
QByteArray SetAutoAddress();          // 04 55 30 77
// 08 55 31 a1 a2 a3 a4 77, octets in the order they stand in the dotted text.
QByteArray SetFixedAddress(const std::array<quint8, 4> &octets);

} // namespace frames
