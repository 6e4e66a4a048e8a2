// SPDX-License-Identifier: MIT
#pragma once

#include "linkopener.h"
#include "linktrace.h"
#include "portmap.h"
#include "replypump.h"

#include <QByteArray>
#include <QObject>
#include <QString>

// MSComm1, the window's serial-port service: a serial device, or a TCP link to a serial
// device server when the port map names one (tcp://HOST:PORT, rfc2217://HOST:PORT). It offers
// what the handlers use: CommPort, Settings, InputLen, PortOpen, Output (one flushed write),
// Input (one reply line) and OnComm(), raised once for every reply line. Every operation that
// can fail throws a NumberedError (error numbers below) for the handler's error trap.
//
// Two parts of link/ do the work: LinkOpener opens the link a port map entry names and holds
// it, ReplyPump cuts what arrives into reply lines and hands them over. What arrives in pieces
// is cut at line ends and every complete line is handed over at once, in arrival order, one
// OnComm() each; text with no line end yet waits until the line has been quiet for settleMs,
// and at the latest maxDelayMs after its first byte.
//
// One event at a time: OnComm() is never raised while a handler runs OnComm() already, nor
// while holdReplies() is in force (a modal box waits for the operator). Lines that arrive
// meanwhile wait and are handed over in order afterwards. A port that fails while open
// (adapter unplugged, line hung up) is closed at once and linkLost() is raised, box or not;
// what was still waiting goes with the line.
//
// A serial port opens before setPortOpen(true) returns. A network port waits for its server
// and opens in the background while the event loop runs: PortOpening() until it is done,
// then openFinished(). A device that reads slowly holds the frames back in order (up to
// LinkOpener::maxWaitingBytes); Output() refuses more with LineBusy, and drops nothing.
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
        LineBusy = 8021, // the frames written before still wait for the device, and fill its queue
    };

    static constexpr int settleMs = ReplyPump::settleMs;
    static constexpr int maxDelayMs = ReplyPump::maxDelayMs;
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
    // held by another program: a lock file, a flock, an exclusive open; or opening already)
    // or PortOpenFailed. A network port only starts to open and throws nothing more: its
    // server is waited for connectTimeoutMs at most, and openFinished() reports the outcome
    // with the same numbers; one that does not resolve or refuses the connection is
    // InvalidPortNumber, as an absent device is. An open port holds the device exclusively
    // (PortLock). Closing an open port releases it and its hold at once and sends nothing;
    // closing while opening gives the open up (no openFinished()); closing a closed port does
    // nothing.
    bool PortOpen() const;
    void setPortOpen(bool open);
    bool PortOpening() const { return m_opening; }

    // Writes the bytes raw, in order, in one write, and pushes them to the driver. Throws
    // PortNotOpen when closed, LineBusy while the frames written before fill the device's
    // queue, and WriteFailed when the line refuses them; a write that finds the line gone
    // closes the port (linkLost()) before it throws. A refused write sends nothing of its
    // bytes.
    void Output(const QByteArray &bytes);
    // The next reply line, one character per byte and without its line end (InputLen > 0:
    // at most that many bytes of it; the rest stays first in line). Empty when no line is
    // ready. Throws PortNotOpen.
    QByteArray Input();

    // While held (the calls nest), no OnComm() is raised; the lines that arrive wait. The
    // last release hands them over in order once control is back in the event loop.
    void holdReplies() { m_pump->holdReplies(); }
    void releaseReplies() { m_pump->releaseReplies(); }

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
    // The port has just been opened (true; a serial port before setPortOpen(true) returns) or
    // closed.
    void portOpenChanged(bool open);
    // For the line monitor, beside the trace: a frame Output() has written, and whether it
    // was written while a handler of OnComm() ran (the window answering a reply); a reply
    // line Input() has handed over.
    void frameWritten(const QByteArray &frame, bool whileReplying);
    void replyRead(const QByteArray &line);
    // The open of a network port is done: error 0 when it is open (after portOpenChanged()),
    // otherwise the number setPortOpen(true) would have thrown and why.
    void openFinished(int error, const QString &why);

private:
    QString portLabel() const;
    // The outcome of the open of device: the port is open from here, or the error it throws.
    void takeOpenedLink(const QString &device, const LinkOpener::Result &opened);
    void onLinkOpened(const LinkOpener::Result &opened);
    void closePort();
    void onLinkLost(const QString &why);
    void closeLostLink();
    void raiseOnComm();

    PortMap m_ports;
    LinkOpener *m_opener = nullptr;
    ReplyPump *m_pump = nullptr;
    int m_commPort = 1;
    QString m_settings = QStringLiteral("9600,N,8,1");
    int m_inputLen = 0;
    QString m_openingDevice;
    bool m_opening = false;
    quint64 m_openAttempt = 0; // a report of an open given up meanwhile is not delivered
    bool m_linkLostPending = false;
    int m_replying = 0; // handlers of OnComm() running now
};
