// SPDX-License-Identifier: MIT
#pragma once

// The panel's lines on standard error, "velquor: " and one line of text each. When standard
// error is the journal's stream (systemd sets JOURNAL_STREAM to its device and inode), each
// line starts with its priority as the journal reads it, <3> an error, <4> a warning, <6>
// information, and a secret the program was told of is never written out there; Qt's own
// messages go the same way. Anywhere else the lines are as they always were.

#include <QString>

namespace logline {

enum class Priority { Error = 3, Warning = 4, Info = 6 };

// Looks once whether standard error is the journal's stream; before any line is written.
void setUp();
bool toJournal();

// Text of several lines is written as that many lines, each with the priority.
void say(Priority priority, const QString &text);
inline void error(const QString &text)
{
    say(Priority::Error, text);
}
inline void warning(const QString &text)
{
    say(Priority::Warning, text);
}
inline void info(const QString &text)
{
    say(Priority::Info, text);
}

// From now on the journal's lines show "…" where this text would stand (a password, a key).
void hide(const QString &secret);

} // namespace logline
