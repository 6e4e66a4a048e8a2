// SPDX-License-Identifier: MIT
#pragma once

#include "lockfile.h"

#include <QString>

// The exclusive hold that goes with an open port. Before the port opens, the device is
// checked for a lock file that names a live process (the UUCP convention, /var/lock/LCK..name
// holding the PID, which other serial tools write), then opened once more on a descriptor of
// its own that takes an exclusive flock(). Other serial tools take that flock too; it binds
// root as well, which passes the TIOCEXCL that QSerialPort sets, and QSerialPort sees neither
// a flock nor a lock file of another tool (it takes any lock file without its own three lines
// for a stale one and replaces it). The flock lasts until release().
//
// A device that is merely open elsewhere, without a lock file or a flock, cannot be told
// apart from a free one on Linux.
class PortLock
{
public:
    enum class Outcome {
        Taken,    // the hold is ours
        Held,     // another program holds the device
        NotFound, // no such device
        Denied,   // the device may not be opened (permissions, TIOCEXCL of another user)
        Failed,   // any other reason
    };
    struct Result
    {
        Outcome outcome = Outcome::Failed;
        QString why; // for the trace and the error text; empty when taken
    };

    PortLock() = default;
    ~PortLock() { release(); }
    PortLock(const PortLock &) = delete;
    PortLock &operator=(const PortLock &) = delete;

    // Takes the hold on device. Links are followed (/dev/serial/by-id/... leads to
    // /dev/ttyUSB0), so the hold and the lock files are those of the device itself.
    Result acquire(const QString &device);
    void release();
    bool isTaken() const { return m_fd >= 0; }

    // The device with its links resolved; what the port should open while the hold is taken.
    QString systemPath() const { return m_systemPath; }

private:
    int m_fd = -1;
    QString m_systemPath;
};
