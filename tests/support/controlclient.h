// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QIODevice;
struct ListenAddress;

// A program at the other end of the control socket. The panel runs in the test's own thread,
// so every wait processes events until the answer is there.
class ControlClient
{
public:
    // Connects to a TCP port on 127.0.0.1, or to a local socket. receiveBuffer > 0: at most
    // that many bytes are taken from the panel before the test reads them (a slow reader).
    explicit ControlClient(quint16 port, int receiveBuffer = 0);
    explicit ControlClient(const QString &localPath);
    ~ControlClient();

    bool waitForConnected(int timeoutMs = 5000);
    bool isConnected() const;
    // Waits until the panel has closed the connection.
    bool waitForDisconnected(int timeoutMs = 5000);

    // Sends the bytes as they are.
    void send(const QByteArray &bytes);
    // Sends the line with its line end and returns the next line that comes back (empty when
    // nothing came in time).
    QByteArray ask(const QByteArray &line, int timeoutMs = 5000);
    std::optional<QByteArray> nextLine(int timeoutMs = 5000);
    // The lines that have come so far, without waiting.
    QList<QByteArray> takeLines();
    // Reads lines as they come until none has come for quietMs or the panel closed the
    // connection; meanwhile runs between the reads (a device that takes the window's echo).
    QList<QByteArray> linesUntilQuiet(int quietMs, const std::function<void()> &meanwhile = {});

    QIODevice &socket() { return *m_socket; }

private:
    std::unique_ptr<QIODevice> m_socket;
};
