// SPDX-License-Identifier: MIT
#pragma once

#include "portlock.h"
#include "serialsettings.h"

#include <QObject>
#include <QSerialPort>
#include <QString>

#include <optional>

class NetworkLink;
class QIODevice;

// Opens the link that one port map entry names and holds it while it is open: a serial
// device with its exclusive hold (PortLock, then QSerialPort on the device itself), or a
// serial device server through NetworkLink (tcp:// raw, rfc2217:// with the far end's line
// set). Whatever the kind, the open link is one QIODevice to read and write, send() pushes
// what is written to the system, and lost() reports once that the line has gone.
//
// A serial device opens before open() returns: nothing waits. A network entry waits for the
// connection, up to its timeout, and so only starts to open: opened() reports the Result
// once it is done, and the event loop runs meanwhile.
//
// A device that reads slower than frames are written holds them back: what the system does
// not take yet waits in the link, in order, and is sent as the device takes it. That is
// back-pressure, never a lost line; only a hang-up or a real error is. At most
// maxWaitingBytes wait: send() refuses more (Sent::Busy) until the device has taken some, so
// that what was sent is never dropped and never waits long.
//
// The modem lines are never touched: pseudo-terminals and many adapters refuse them.
class LinkOpener : public QObject
{
    Q_OBJECT

public:
    enum class Failure {
        None,
        NoSuchDevice, // the device is absent, or the server does not resolve or refuses
        Held,         // another program holds the device, or it may not be opened
        Failed,       // any other reason
    };
    struct Result
    {
        QIODevice *link = nullptr; // the open link; nullptr when it failed
        Failure failure = Failure::None;
        QString why; // for the trace and the error text; empty when open
    };

    enum class Sent {
        Yes,    // handed to the system, or waiting in order for the device to take it
        Busy,   // refused: maxWaitingBytes wait for the device already
        Failed, // refused: the link is gone or refuses bytes
    };

    // The device reads 960 bytes a second at 9600 baud, 8N1. Four seconds of the line: a
    // burst of several hundred frames waits, and a frame accepted is out within seconds.
    static constexpr qint64 lineBytesPerSecond = 960;
    static constexpr qint64 maxWaitingBytes = 4 * lineBytesPerSecond;

    explicit LinkOpener(QObject *parent = nullptr);
    ~LinkOpener() override;

    // Opens entry with the line set to settings: a serial device at once, its Result returned;
    // a network entry in the background (nullopt returned, opened() follows within
    // timeoutMs). The opener holds one link at a time: the one it held, or the open under
    // way, goes first.
    std::optional<Result> open(const QString &entry, const SerialSettings &settings, int timeoutMs);
    // Releases the link and its hold at once, or gives up the open under way without a
    // report; sends nothing.
    void close();
    QIODevice *link() const { return m_link; }

    // Sets the open serial line to settings (an open network link keeps the far end's line
    // as it was set when it opened). False, with why, when the line refuses them.
    bool setLineSettings(const SerialSettings &settings, QString *why);

    // Writes the bytes in one write and pushes them to the system at once, as far as the
    // device takes them: write() only queues, and a close() right after an unflushed write
    // would drop them. Busy or Failed, with why, when the link refuses them; then nothing of
    // them is sent.
    Sent send(const QByteArray &bytes, QString *why);
    // Bytes written that the device has not taken yet.
    qint64 bytesWaiting() const;

signals:
    // The open that open() started is done: result.link is the open link, or nullptr.
    void opened(const LinkOpener::Result &result);
    // The open link failed (adapter unplugged, line hung up, connection dropped); raised
    // once for each link opened, from inside the link's own signal or from inside send().
    // The link stays open until close(); never close it from inside this signal.
    void lost(const QString &why);

private:
    Result openSerial(const QString &device, const SerialSettings &settings);
    std::optional<Result> openNetwork(const QString &entry, const SerialSettings &settings,
                                      int timeoutMs);
    void onNetworkOpenFinished(bool opened);
    void onSerialError(QSerialPort::SerialPortError error);
    // The serial line is up and only takes no more for now (systemError EAGAIN): the write
    // waits for the device, it is no lost line.
    bool serialWriteMustWait(int systemError) const;
    void onNetworkLost(const QString &why);
    void reportLost(const QString &why);

    QSerialPort *m_serial = nullptr;
    NetworkLink *m_net = nullptr;
    QIODevice *m_link = nullptr; // m_serial or m_net while one is open
    PortLock m_lock;
    bool m_opening = false;
    bool m_lostReported = false;
};
