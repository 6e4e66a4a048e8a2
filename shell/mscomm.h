#pragma once

#include "portmap.h"

#include <QByteArray>
#include <QObject>
#include <QString>

class QSerialPort;
class QTimer;

// MSComm1, the window's serial-port service over QSerialPort. It offers what the handlers
// use: CommPort, Settings, InputLen, PortOpen, Output (one flushed write), Input (everything
// pending) and OnComm(), raised once a reply has arrived. Every operation that can fail
// throws a NumberedError (error numbers below) for the handler's error trap.
class MSComm : public QObject
{
    Q_OBJECT

public:
    enum ErrorNumber {
        InvalidPropertyValue = 380,
        InvalidPortNumber = 8002,
        PortAlreadyOpen = 8005,
        PortOpenFailed = 8012,
        PortNotOpen = 8018,
        WriteFailed = 8020,
    };

    explicit MSComm(const PortMap &ports = {}, QObject *parent = nullptr);
    ~MSComm() override;

    int CommPort() const { return m_commPort; }
    void setCommPort(int port);

    QString Settings() const { return m_settings; }
    void setSettings(const QString &settings);

    int InputLen() const { return m_inputLen; }
    void setInputLen(int length);

    bool PortOpen() const;
    void setPortOpen(bool open);

    void Output(const QByteArray &bytes);
    QByteArray Input();

    // The device path COM<port> opens (shown as the port list's tooltips).
    QString deviceFor(int port) const { return m_ports.deviceFor(port); }

signals:
    // Data has arrived and the line has settled: Input() now holds one reply line.
    void OnComm();
    // The open port vanished (adapter unplugged, line hung up) and has been closed.
    void linkLost();

private:
    PortMap m_ports;
    QSerialPort *m_port = nullptr;
    int m_commPort = 1;
    QString m_settings = QStringLiteral("9600,N,8,1");
    int m_inputLen = 0;
};
