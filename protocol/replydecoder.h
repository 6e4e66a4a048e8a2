// SPDX-License-Identifier: MIT
#pragma once

// Decoding of the matrix's text replies.
//
// A reply line is one line the device sent, without its line end: what arrives is cut at
// line ends before it is decoded (ReplyLines), so a record that reaches the program in
// several reads is decoded whole; only text without a line end is handed over as it stands,
// once the line has gone quiet or a short deadline has passed. A line is tested at fixed
// character positions only (no terminator, no length), case-sensitively, and nothing is
// kept between lines. Positions below are 0-based.
//
//   Output status records, five characters at 0, 5, 10 and 15 (nothing from 20 on):
//     "s" <output 1..4> <input 0..9> . .   output has a display, input counted from 0
//     "p" <output 1..4> <digit>      . .   output has no display
//   Tagged replies at position 0:
//     "MP" <0..3>  video-wall input    "MD" <0|1>  mode (0 matrix, 1 video wall)
//     "RS" <0..8>  output resolution   "IP", "DHCP"  the device took an address setting
//
// decodeReply reports in this fixed order, which the window relies on: every "s" record in
// slot order, then every "p" record in slot order (so "p" wins for an output named by both),
// then at most one of MP/MD/RS, then "IP", then "DHCP". Text that matches nothing is skipped
// silently; any byte value is safe.

#include <QByteArrayView>

class ReplySink
{
public:
    virtual ~ReplySink() = default;

    // An "s" record: output 1..4 has a display; inputDigit 0..9 as sent, where 0..3 name the
    // inputs IN1..IN4 routed to it and 4..9 name no input.
    virtual void outputStatus(int output, int inputDigit) = 0;
    // A "p" record: output 1..4 has no display attached.
    virtual void outputWithoutDisplay(int output) = 0;
    // "MP": the video-wall input, 0..3 for IN1..IN4.
    virtual void wallInput(int input) = 0;
    // "MD": the device mode, 0 matrix, 1 video wall.
    virtual void mode(int mode) = 0;
    // "RS": the output resolution index, 0..8.
    virtual void resolution(int index) = 0;
    // "IP" or "DHCP": the device took the network address setting.
    virtual void addressConfirmed() = 0;
};

// Walks one reply line and reports what it finds to sink. Holds no state and does not allocate.
void decodeReply(QByteArrayView line, ReplySink &sink);
