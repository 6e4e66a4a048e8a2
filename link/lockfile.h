// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <optional>

// Lock files of serial devices, as other programs write them: a file LCK..<name> in a lock
// folder that holds the PID of the process that has the device.
namespace portlock {

// The process a lock file names: ASCII decimal digits after optional blanks (the usual form is
// ten columns and a line feed; QSerialPort's own files start with the PID on the first line),
// or, in a file of exactly four bytes that is not text, a binary int as old tools wrote it.
// Nothing for a file that names no process (empty, text, zero or negative).
std::optional<qint64> lockFilePid(QByteArrayView content);

// The program a lock file in QSerialPort's form names (PID, program's file name, host name,
// each on a line of its own): "velquor" for "1234\nvelquor\nhost\n". Empty for other forms.
// A live process of another program under that PID means the lock outlived its process and
// the PID was given out again.
QByteArray lockFileProgram(QByteArrayView content);

// The names a lock file for systemPath may have: "LCK.." and the name after /dev/ with "/"
// turned into "_" (QSerialPort's form, LCK..pts_3), and "LCK.." and the last part of the path
// (LCK..3, the form of other tools). Both are LCK..ttyUSB0 for /dev/ttyUSB0.
QStringList lockFileNames(const QString &systemPath);

// The folders lock files are looked for in, the ones QSerialPort may write to.
QStringList lockDirectories();

} // namespace portlock
