// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringView>

#include <limits>

// Text from a file or a command line, made fit for one line of a message: each control
// character (C0, DEL, C1) and line or paragraph separator is written as \xHH or \uHHHH, and
// the text is cut at maxLength characters, an ellipsis marking the cut. The cut never splits
// an escape or a surrogate pair, and only the characters shown are looked at, so a text of
// megabytes costs no more than a short one.
QString printableText(QStringView text,
                      qsizetype maxLength = std::numeric_limits<qsizetype>::max());

// True for the characters printableText() escapes.
bool isControlCharacter(char32_t c);
