// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

// A file read as input that may be hostile: only a regular file is read, and only when it holds
// at most maxSize bytes. Nothing waits: a FIFO, a device or a socket in its place is refused
// without being read, and so is a path longer than the system's limit.
struct BoundedFile
{
    enum class Outcome {
        Read,    // content holds the whole file
        Missing, // there is no file (nor a folder) of that name
        Refused, // problem says why, e.g. "not a regular file but a directory"
    };
    Outcome outcome = Outcome::Missing;
    QByteArray content;
    QString problem;
};

BoundedFile readBoundedFile(const QString &path, qint64 maxSize);
