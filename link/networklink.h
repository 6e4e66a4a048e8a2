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

// A serial line reached over the network, as a QIODevice that reads and writes the line's own
// bytes: a TCP connection to a serial device server, raw or behind the Telnet layer with the
// COM Port Control option (TelnetCodec). The port service reads and writes it as it does a
// QSerialPort.
class NetworkLink : public QIODevice
{
    Q_OBJECT

public:
    explicit NetworkLink(QObject *parent = nullptr);
    ~NetworkLink() override;

    // Connects to the server and, for rfc2217, negotiates the option and sets the far end's
    // line to settings; everything within timeoutMs. Blocks meanwhile (the caller's steps are
    // synchronous). False, with errorString() and error() saying why, when no link came up.
    enum class Failure { None, NotFound, Refused, Other };
    bool openLink(const NetworkPort &server, const SerialSettings &settings, int timeoutMs);
    Failure failure() const { return m_failure; }

    void close() override;
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override;
    // Hands what was written to the system at once.
    bool flush();

signals:
    // The far end closed the connection or it dropped; the link is still open until close().
    void lost(const QString &why);

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 size) override;

private:
    // The steps of openLink(); each false after fail().
    bool connectTo(const NetworkPort &server, int timeoutMs);
    bool negotiate(qint64 timeoutMs);
    bool fail(Failure failure, const QString &why);
    void onSocketReadyRead();
    void onSocketGone();
    void traceEvents();
    bool negotiating() const;

    QTcpSocket *m_socket = nullptr;
    std::optional<TelnetCodec> m_codec;
    QString m_label;
    QByteArray m_in;
    Failure m_failure = Failure::None;
    bool m_lostReported = false;
};
