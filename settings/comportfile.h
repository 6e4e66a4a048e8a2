// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

#include <optional>

// The port settings file COMPORT: one ASCII line in the working directory holding the index
// of the chosen entry of the port list. A line is a sign position (blank, or "-" for a
// negative value), the decimal digits, one blank and CR LF: index 0 is 20 30 20 0D 0A.
namespace comport {

// The file's name, resolved against the current working directory when it is opened.
inline QString fileName()
{
    return QStringLiteral("COMPORT");
}

// The folder that holds the file for a program started from the desktop menu, where the
// working directory is not the user's choice: ${XDG_STATE_HOME:-~/.local/state}/velquor.
QString menuDirectory();

// At most this much of the file is looked at; a line of the program's own is five bytes.
inline constexpr qsizetype maxReadBytes = 64 * 1024;

// The line that stores index.
QByteArray formatLine(int index);

// The stored index from the file's content: skip leading blanks, the first field ends at the
// next blank, comma, CR, LF or the end; a field that is not a decimal number from 0 to 255
// (empty, "-1", "256", text) gives 0.
quint8 parseStoredIndex(QByteArrayView content);

// The COM port start-up opens for what readStoredIndex gave: the stored index + 1, or COM1 when
// there was no file to read (start-up then stores index 0). Nothing for index 255, whose port
// number does not fit. The demo maps the emulator to this port before start-up runs.
std::optional<quint8> rememberedPort(std::optional<quint8> storedIndex);

// Opens the file at path for reading and returns its stored index, or nothing when it cannot
// be opened: missing, unreadable, or not a regular file at all (a directory, a FIFO, a
// device). Never blocks and reads at most maxReadBytes, whatever the file holds.
std::optional<quint8> readStoredIndex(const QString &path = fileName());

// Replaces the file at path with the line for index. The new line is written to a temporary
// file and renamed over the old one, so an interrupted write leaves the old line in place;
// where the directory takes no new files the existing file is rewritten in place. A path
// that exists but is no regular file is left alone. False when nothing was written.
bool writeStoredIndex(int index, const QString &path = fileName());

} // namespace comport
