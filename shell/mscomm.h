#pragma once

#include "portlock.h"
#include "portmap.h"
#include "serialsettings.h"

#include <QByteArray>
#include <QLoggingCategory>
#include <QObject>
#include <QSerialPort>
#include <QString>

class QTimer;

// The serial trace: every frame written and every reply read, as hex. Off unless switched
// on (--trace, or QT_LOGGING_RULES="velquor.serial.debug=true").
Q_DECLARE_LOGGING_CATEGORY(lcSerial)

// MSComm1, the window's serial-port service over QSerialPort. It offers what the handlers
// use: CommPort, Settings, InputLen, PortOpen, Output (one flushed write), Input (everything
// pending) and OnComm(), raised once a reply has arrived. Every operation that can fail
// throws a NumberedError (error numbers below) for the handler's error trap.
//
// Replies reach the program in pieces (a UART interrupts every few bytes, USB adapters
// deliver every 16 ms), so OnComm() is raised once the line has been quiet for settleMs, and
// at the latest maxDelayMs after the first byte that was still pending, so a flood cannot
// hold the window off. A port that fails while open (adapter unplugged, line hung up) is
// closed at once and linkLost() is raised; the modem lines are never touched, since
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
    // An open port holds the device exclusively (PortLock). Closing an open port releases it
    // and its hold at once and sends nothing; closing a closed port does nothing.
    bool PortOpen() const;
    void setPortOpen(bool open);

    // Writes the bytes raw, in order, in one write, and pushes them to the driver. Throws
    // PortNotOpen when closed and WriteFailed when the line refuses them; a write that finds
    // the line gone closes the port (linkLost()) before it throws.
    void Output(const QByteArray &bytes);
    // The bytes received and not yet read, one character per byte. Throws PortNotOpen.
    QByteArray Input();

    // The device path COM<port> opens (shown as the port list's tooltips).
    QString deviceFor(int port) const { return m_ports.deviceFor(port); }
    // A new map applies from the next open; an open port stays open.
    const PortMap &portMap() const { return m_ports; }
    void setPortMap(const PortMap &ports) { m_ports = ports; }

signals:
    // Data has arrived and the line has settled: Input() now holds one reply line.
    void OnComm();
    // The open port vanished (adapter unplugged, line hung up) and has been closed.
    void linkLost();
    // The port has just been opened (true, before setPortOpen(true) returns) or closed.
    void portOpenChanged(bool open);

private:
    QString portLabel() const;
    // Opens device, the port map's entry for CommPort, with its exclusive hold.
    void openDevice(const QString &device);
    void closePort();
    void closeLostLink();
    void onReadyRead();
    void raiseOnComm();
    void onPortError(QSerialPort::SerialPortError error);

    PortMap m_ports;
    QSerialPort *m_port = nullptr;
    PortLock m_lock;
    QTimer *m_settle = nullptr;   // restarted by every piece that arrives
    QTimer *m_deadline = nullptr; // started by the first pending piece
    int m_commPort = 1;
    QString m_settings = QStringLiteral("9600,N,8,1");
    int m_inputLen = 0;
    bool m_linkLostPending = false;
};
