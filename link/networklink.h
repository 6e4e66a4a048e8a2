// SPDX-License-Identifier: MIT
#pragma once

#include "portmap.h"
#include "serialsettings.h"
#include "telnetcodec.h"

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <optional>

class QTcpSocket;
class QTimer;

// A serial line reached over the network, as a QIODevice that reads and writes the line's own
// bytes: a TCP connection to a serial device server, raw or behind the Telnet layer with the
// COM Port Control option (TelnetCodec). The port service reads and writes it as it does a
// QSerialPort.
//
// What goes out waits in the socket until the server takes it: the frames written and the
// Telnet layer's answers to the server's requests. A server that takes nothing while more
// than maxQueuedBytes wait is not reading: the link is dropped as lost, with one line on
// standard error, so that a server that asks and asks without reading cannot fill the memory.
class NetworkLink : public QIODevice
{
    Q_OBJECT

public:
    static constexpr qint64 maxQueuedBytes = 64 * 1024;

    explicit NetworkLink(QObject *parent = nullptr);
    ~NetworkLink() override;

    // Starts to connect to the server and, for rfc2217, to negotiate the option and set the
    // far end's line to settings; returns at once. openFinished() reports within timeoutMs
    // whether the link came up (true: the device is open and readable) or why not (false:
    // errorString() and failure()). A Telnet server that has not answered the offer within
    // the time is taken for none. close() meanwhile gives the open up without a report.
    enum class Failure { None, NotFound, Refused, Other };
    void startOpen(const NetworkPort &server, const SerialSettings &settings, int timeoutMs);
    Failure failure() const { return m_failure; }

    void close() override;
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override;
    // Hands what was written to the system at once, as far as the system takes it.
    bool flush();
    // The bytes written that the server has not taken yet, Telnet answers included.
    qint64 bytesWaiting() const;

signals:
    void openFinished(bool opened);
    // The far end closed the connection or it dropped, or it does not read; the link is still
    // open until close().
    void lost(const QString &why);

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 size) override;

private:
    enum class State { Closed, Connecting, Negotiating, Open };

    // The steps of an open, as the socket reports them.
    void onConnected();
    void onOpenTimeout();
    void finishOpen();
    void fail(Failure failure, const QString &why);
    bool negotiating() const;
    void traceNegotiationResult();

    void onSocketReadyRead();
    void onSocketGone();
    // Queues bytes on the socket; false once the server does not read (the link is lost, or
    // the open failed).
    bool queue(const QByteArray &bytes);
    void reportLost(const QString &why);
    void traceEvents();

    QTcpSocket *m_socket = nullptr;
    QTimer *m_openTimer = nullptr;
    std::optional<TelnetCodec> m_codec;
    QString m_label;
    QByteArray m_in;
    State m_state = State::Closed;
    Failure m_failure = Failure::None;
    int m_timeoutMs = 0;
    bool m_lostReported = false;
};
