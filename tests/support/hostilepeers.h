// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QMutex>
#include <QObject>
#include <QString>

#include <atomic>
#include <memory>
#include <thread>

class PtyPair;
class QTimer;

// A serial device server on 127.0.0.1 that misbehaves, in a thread of its own, so that it
// keeps to its script however busy or stalled the panel's event loop is. Map a COM port to
// entry(); it serves one connection at a time, as many as come.
class HostilePeer
{
public:
    enum class Script {
        // Agrees to COM Port Control and confirms the four settings unasked, then asks
        // DO STATUS, WILL STATUS over and over and reads nothing.
        NeverReads,
        // Accepts and says nothing; closes closeAfterMs later (never when -1).
        Silent,
        // Accepts and closes at once: a server that flaps.
        ClosesAtOnce,
        // Agrees to COM Port Control at once, then confirms the four settings gapMs apart, and
        // records what arrives.
        ConfirmsSlowly,
    };

    explicit HostilePeer(Script script, int ms = -1); // closeAfterMs or gapMs
    ~HostilePeer();
    HostilePeer(const HostilePeer &) = delete;
    HostilePeer &operator=(const HostilePeer &) = delete;

    bool isListening() const { return m_port != 0; }
    QString entry(bool rfc2217) const;
    int accepted() const { return m_accepted; }

    // ConfirmsSlowly, since the last connection was accepted: when the fourth confirmation
    // went out, and when the line bytes given arrived (-1 not yet).
    qint64 lastConfirmationAtMs() const { return m_lastConfirmationAt; }
    qint64 arrivedAtMs(const QByteArray &bytes) const;

private:
    void run();
    void serve(int connection);
    void neverRead(int connection);
    void confirmSlowly(int connection);
    // Sends everything, waiting while the panel reads nothing; false once it is gone or the
    // peer is stopping.
    bool sendAll(int connection, const QByteArray &bytes);
    // Reads what arrives for up to ms into m_received; false once the panel is gone.
    bool receiveFor(int connection, int ms);
    // Sleeps ms in short steps; false once the peer is stopping.
    bool pause(int ms);

    Script m_script;
    int m_ms;
    int m_listener = -1;
    quint16 m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_accepted{0};
    std::atomic<qint64> m_lastConfirmationAt{-1};
    QElapsedTimer m_sinceAccept;
    mutable QMutex m_mutex;
    QByteArray m_received;
    QList<qint64> m_receivedAt; // per byte of m_received
    std::thread m_thread;
};

// The device's end of a pseudo-terminal that reads no faster than bytesPerSecond, as a matrix
// at 9600 baud reads 960 bytes a second; what the window sends piles up before it.
class SlowDevice : public QObject
{
    Q_OBJECT

public:
    SlowDevice(PtyPair &line, int bytesPerSecond);

    QByteArray received() const { return m_received; }
    void stop();

private:
    void readSome();

    PtyPair &m_line;
    int m_bytesPerTick;
    QTimer *m_timer = nullptr;
    QByteArray m_received;
};
