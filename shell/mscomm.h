// SPDX-License-Identifier: MIT
#pragma once

#include "linktrace.h"
#include "portlock.h"
#include "portmap.h"
#include "replylines.h"
#include "serialsettings.h"

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>

class NetworkLink;
class QIODevice;
class QTimer;

// MSComm1, the window's serial-port service over QSerialPort, or over a TCP link to a serial
// device server when the port map names one (tcp://HOST:PORT, rfc2217://HOST:PORT). It offers what
// the handlers use: CommPort, Settings, InputLen, PortOpen, Output (one flushed write), Input (one
// reply line) and OnComm(), raised once for every reply line. Every operation that can fail throws
// a NumberedError (error numbers below) for the handler's error trap.
//
// The device answers back to back, and the line hands over what has arrived in pieces: a
// UART interrupts every few bytes, a USB adapter delivers every 16 ms, so one read may hold
// part of a reply or several replies. What arrives is cut at line ends (ReplyLines) and
// every complete line is handed over at once, in arrival order, one OnComm() each. Text with
// no line end yet waits until the line has been quiet for settleMs, and at the latest
// maxDelayMs after its first byte, so a flood cannot hold the window off; then it is handed
// over as it stands.
//
// One event at a time: OnComm() is never raised while a handler runs OnComm() already, nor
// while holdReplies() is in force (a modal box waits for the operator). Lines that arrive
// meanwhile wait and are handed over in order afterwards. A port that fails while open
// (adapter unplugged, line hung up) is closed at once and linkLost() is raised, box or not;
// what was still waiting goes with the line. The modem lines are never touched, since
// pseudo-terminals and many adapters refuse them.
class MSComm : public QObject
{
    Q_OBJECT

public:
    enum ErrorNumber {
        InvalidPropertyValue = 380,
        InvalidPortNumber = 8002, // CommPort 0 or above 255, or no such device
        PortAlreadyOpen = 8005,   // opened by this control or held by another program
        PortOpenFailed = 8012,
        PortNotOpen = 8018,
        WriteFailed = 8020,
    };

    static constexpr int settleMs = 30;
    static constexpr int maxDelayMs = 200;
    // Longest wait for a network port to connect (and to set the far end's line).
    static constexpr int connectTimeoutMs = 3000;

    explicit MSComm(const PortMap &ports = {}, QObject *parent = nullptr);
    ~MSComm() override;

    // 1-based port number opened by the next setPortOpen(true). Throws InvalidPortNumber
    // outside 1..255 and PortAlreadyOpen while the port is open.
    int CommPort() const { return m_commPort; }
    void setCommPort(int port);

    // "baud,parity,data,stop" such as "9600,N,8,1"; throws InvalidPropertyValue for a text of
    // another form, or one the open port refuses.
    QString Settings() const { return m_settings; }
    void setSettings(const QString &settings);

    // 0: Input() hands over everything pending; n > 0: at most n bytes.
    int InputLen() const { return m_inputLen; }
    void setInputLen(int length);

    // Opening throws InvalidPortNumber (no such device), PortAlreadyOpen (open already, or
    // held by another program: a lock file, a flock, an exclusive open) or PortOpenFailed.
    // A network port that does not resolve or refuses the connection is InvalidPortNumber,
    // as an absent device is; it is waited for connectTimeoutMs at most, under a busy cursor.
    // An open port holds the device exclusively (PortLock). Closing an open port releases it
    // and its hold at once and sends nothing; closing a closed port does nothing.
    bool PortOpen() const;
    void setPortOpen(bool open);

    // Writes the bytes raw, in order, in one write, and pushes them to the driver. Throws
    // PortNotOpen when closed and WriteFailed when the line refuses them; a write that finds
    // the line gone closes the port (linkLost()) before it throws.
    void Output(const QByteArray &bytes);
    // The next reply line, one character per byte and without its line end (InputLen > 0:
    // at most that many bytes of it; the rest stays first in line). Empty when no line is
    // ready. Throws PortNotOpen.
    QByteArray Input();

    // While held (the calls nest), no OnComm() is raised; the lines that arrive wait. The
    // last release hands them over in order once control is back in the event loop.
    void holdReplies();
    void releaseReplies();

    // Holds the replies for as long as it lives.
    class ReplyHold
    {
    public:
        explicit ReplyHold(MSComm &comm) : m_comm(comm) { m_comm.holdReplies(); }
        ~ReplyHold() { m_comm.releaseReplies(); }
        ReplyHold(const ReplyHold &) = delete;
        ReplyHold &operator=(const ReplyHold &) = delete;

    private:
        MSComm &m_comm;
    };

    // The device path COM<port> opens (shown as the port list's tooltips).
    QString deviceFor(int port) const { return m_ports.deviceFor(port); }
    // A new map applies from the next open; an open port stays open.
    const PortMap &portMap() const { return m_ports; }
    void setPortMap(const PortMap &ports) { m_ports = ports; }

signals:
    // A reply line is ready: Input() hands it over.
    void OnComm();
    // The open port vanished (adapter unplugged, line hung up) and has been closed.
    void linkLost();
    // The port has just been opened (true, before setPortOpen(true) returns) or closed.
    void portOpenChanged(bool open);

private:
    QString portLabel() const;
    // Opens device, the port map's entry for CommPort, with its exclusive hold.
    void openDevice(const QString &device);
    void openNetwork(const QString &entry);
    void onNetworkLost(const QString &why);
    void closePort();
    void closeLostLink();
    void onReadyRead();
    void endWaitingText();
    void postDelivery();
    void deliverLines();
    void onPortError(QSerialPort::SerialPortError error);

    PortMap m_ports;
    QSerialPort *m_port = nullptr;
    NetworkLink *m_net = nullptr;
    QIODevice *m_link = nullptr; // m_port or m_net while one is open
    PortLock m_lock;
    ReplyLines m_lines;
    QTimer *m_settle = nullptr;   // restarted by every piece that leaves text waiting
    QTimer *m_deadline = nullptr; // started by the first byte of the waiting text
    int m_holds = 0;
    bool m_delivering = false;
    bool m_deliveryPosted = false;
    quint64 m_bytesTaken = 0; // by Input(), so that delivery sees whether a line was taken
    int m_commPort = 1;
    QString m_settings = QStringLiteral("9600,N,8,1");
    int m_inputLen = 0;
    bool m_linkLostPending = false;
};
