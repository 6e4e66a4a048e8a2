// SPDX-License-Identifier: MIT
#pragma once

// What the bytes on the line mean, in words, for the serial trace, the line monitor and the
// finder: a frame the panel writes by its name in the command catalogue and what it asks
// for, a reply line by what each of its reports says, in the order the window applies them.
//
//   05 55 19 12 77   "Route: IN3 → Out2 (from the Out2 row)"
//   s21              "s21: output 2 shows IN2"
//   MD1              "MD1: video-wall mode"
//   seven bytes of noise  "not a reply: 7 bytes"
//
// Any bytes are safe; nothing is kept between calls.

#include <QByteArrayView>
#include <QString>

namespace linewords {

QString frame(QByteArrayView bytes);
QString reply(QByteArrayView line);

// True when the window would take something from the line: at least one record or tag decodes.
bool isReply(QByteArrayView line);

} // namespace linewords
