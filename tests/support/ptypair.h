// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

// A pseudo-terminal pair standing in for the matrix on its serial line, for the tests and the
// benchmarks. They hold the master side as "the device"; the window opens the slave path (map
// COM1 to slavePath() through PortMap, as --port does). The line is raw: no echo, no CR/LF
// translation.
class PtyPair
{
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool isValid() const { return m_master >= 0; }
    QString errorString() const { return m_error; }

    // The device path the program opens, such as /dev/pts/7.
    QString slavePath() const { return m_slavePath; }
    int masterFd() const { return m_master; }

    // Sends bytes to the program, as the device would. False when the master is closed.
    bool write(const QByteArray &bytes);

    // What the program has sent so far and not yet read, without waiting.
    QByteArray readAvailable();
    // Waits, processing events, until at least count bytes came from the program or
    // timeoutMs passed; returns all bytes read meanwhile.
    QByteArray read(int count, int timeoutMs = 1000);
    // Collects everything the program sends during ms (events are processed meanwhile).
    QByteArray readFor(int ms);

    // Hangs the line up: the program's side then reads end of line / EIO, and the path is gone.
    void closeMaster();

private:
    int m_master = -1;
    int m_heldSlave = -1; // after the hang-up, until the pair goes
    QString m_slavePath;
    QString m_error;
};
