// SPDX-License-Identifier: MIT
#pragma once

#include "portlock.h"
#include "serialsettings.h"

#include <QObject>
#include <QSerialPort>
#include <QString>

class NetworkLink;
class QIODevice;

// Opens the link that one port map entry names and holds it while it is open: a serial
// device with its exclusive hold (PortLock, then QSerialPort on the device itself), or a
// serial device server through NetworkLink (tcp:// raw, rfc2217:// with the far end's line
// set). Whatever the kind, the open link is one QIODevice to read and write, send() pushes
// what is written to the system, and lost() reports once that the line has gone.
//
// open() finishes before it returns; a network entry may wait up to its timeout for the
// connection (opensOverNetwork() tells the caller so beforehand). An asynchronous open would
// take the same arguments and report the same Result when it is done.
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

    explicit LinkOpener(QObject *parent = nullptr);
    ~LinkOpener() override;

    // True when opening entry waits for a connection over the network.
    static bool opensOverNetwork(const QString &entry);

    // Opens entry with the line set to settings. The opener holds one link at a time: the
    // one it held is closed first.
    Result open(const QString &entry, const SerialSettings &settings, int timeoutMs);
    // Releases the link and its hold at once; sends nothing.
    void close();
    QIODevice *link() const { return m_link; }

    // Sets the open serial line to settings (an open network link keeps the far end's line
    // as it was set when it opened). False, with why, when the line refuses them.
    bool setLineSettings(const SerialSettings &settings, QString *why);

    // Writes the bytes in one write and pushes them to the system at once: write() only
    // queues, and a close() right after an unflushed write would drop them. False, with why,
    // when the link refuses them.
    bool send(const QByteArray &bytes, QString *why);

signals:
    // The open link failed (adapter unplugged, line hung up, connection dropped); raised
    // once for each link opened, from inside the link's own signal or from inside send().
    // The link stays open until close(); never close it from inside this signal.
    void lost(const QString &why);

private:
    Result openSerial(const QString &device, const SerialSettings &settings);
    Result openNetwork(const QString &entry, const SerialSettings &settings, int timeoutMs);
    void onSerialError(QSerialPort::SerialPortError error);
    void onNetworkLost(const QString &why);
    void reportLost(const QString &why);

    QSerialPort *m_serial = nullptr;
    NetworkLink *m_net = nullptr;
    QIODevice *m_link = nullptr; // m_serial or m_net while one is open
    PortLock m_lock;
    bool m_lostReported = false;
};
