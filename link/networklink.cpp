// SPDX-License-Identifier: MIT
#include "networklink.h"

#include "linktrace.h"

#include <QElapsedTimer>
#include <QTcpSocket>

#include <cstring>

NetworkLink::NetworkLink(QObject *parent) : QIODevice(parent), m_socket(new QTcpSocket(this))
{
    connect(m_socket, &QTcpSocket::readyRead, this, &NetworkLink::onSocketReadyRead);
    connect(m_socket, &QTcpSocket::disconnected, this, &NetworkLink::onSocketGone);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &NetworkLink::onSocketGone);
}

NetworkLink::~NetworkLink()
{
    m_socket->abort();
}

bool NetworkLink::openLink(const NetworkPort &server, const SerialSettings &settings, int timeoutMs)
{
    close();
    m_failure = Failure::None;
    m_lostReported = false;
    m_in.clear();
    m_label = QStringLiteral("%1://%2:%3")
                  .arg(server.kind == NetworkPort::Kind::Raw ? QStringLiteral("tcp")
                                                             : QStringLiteral("rfc2217"))
                  .arg(server.host)
                  .arg(server.port);
    if (server.kind == NetworkPort::Kind::Rfc2217)
        m_codec.emplace(true, settings);
    else
        m_codec.reset();

    QElapsedTimer clock;
    clock.start();
    if (!connectTo(server, timeoutMs))
        return false;
    if (m_codec && !negotiate(timeoutMs - clock.elapsed()))
        return false;

    QIODevice::open(QIODevice::ReadWrite | QIODevice::Unbuffered);
    // What arrived while the link came up is there to be read.
    if (!m_in.isEmpty())
        QMetaObject::invokeMethod(this, &QIODevice::readyRead, Qt::QueuedConnection);
    return true;
}

bool NetworkLink::fail(Failure failure, const QString &why)
{
    m_failure = failure;
    setErrorString(why);
    m_socket->abort();
    m_codec.reset();
    return false;
}

bool NetworkLink::connectTo(const NetworkPort &server, int timeoutMs)
{
    m_socket->connectToHost(server.host, server.port);
    if (!m_socket->waitForConnected(timeoutMs)) {
        const QAbstractSocket::SocketError error = m_socket->error();
        const QString why = error == QAbstractSocket::SocketTimeoutError
                                ? QStringLiteral("no connection within %1 ms").arg(timeoutMs)
                                : m_socket->errorString();
        return fail(error == QAbstractSocket::HostNotFoundError        ? Failure::NotFound
                    : error == QAbstractSocket::ConnectionRefusedError ? Failure::Refused
                                                                       : Failure::Other,
                    why);
    }
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    return true;
}

bool NetworkLink::negotiate(qint64 timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    m_socket->write(m_codec->start());
    m_socket->flush();
    // The settings must be on the far end's line before the first frame goes out.
    while (negotiating() && m_socket->state() == QAbstractSocket::ConnectedState) {
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0 || !m_socket->waitForReadyRead(int(left)))
            break;
    }
    if (m_socket->state() != QAbstractSocket::ConnectedState)
        return fail(Failure::Other, QStringLiteral("the server closed the connection"));
    if (m_codec->comPort() == TelnetCodec::ComPort::Offered)
        qCDebug(lcSerial).noquote()
            << m_label << "no answer to COM-PORT-OPTION: plain Telnet, line settings unchanged";
    else if (m_codec->comPort() == TelnetCodec::ComPort::Accepted &&
             m_codec->confirmedSettings() < 4)
        qCDebug(lcSerial).noquote() << m_label << "server confirmed" << m_codec->confirmedSettings()
                                    << "of 4 line settings";
    return true;
}

bool NetworkLink::negotiating() const
{
    if (!m_codec)
        return false;
    return m_codec->comPort() == TelnetCodec::ComPort::Offered ||
           (m_codec->comPort() == TelnetCodec::ComPort::Accepted &&
            m_codec->confirmedSettings() < 4);
}

void NetworkLink::close()
{
    // Closing here is no loss of the link: abort() reports the disconnection at once.
    m_lostReported = true;
    if (m_socket->state() != QAbstractSocket::UnconnectedState) {
        m_socket->flush();
        m_socket->abort();
    }
    m_in.clear();
    if (isOpen())
        QIODevice::close();
}

qint64 NetworkLink::bytesAvailable() const
{
    return m_in.size() + QIODevice::bytesAvailable();
}

bool NetworkLink::flush()
{
    return m_socket->flush();
}

qint64 NetworkLink::readData(char *data, qint64 maxSize)
{
    const qint64 count = std::min<qint64>(maxSize, m_in.size());
    std::memcpy(data, m_in.constData(), size_t(count));
    m_in.remove(0, count);
    return count;
}

qint64 NetworkLink::writeData(const char *data, qint64 size)
{
    if (m_socket->state() != QAbstractSocket::ConnectedState)
        return -1;
    const QByteArrayView bytes(data, size);
    const QByteArray wire = m_codec ? TelnetCodec::escape(bytes) : bytes.toByteArray();
    return m_socket->write(wire) == wire.size() ? size : -1;
}

void NetworkLink::onSocketReadyRead()
{
    const QByteArray bytes = m_socket->readAll();
    qsizetype before = m_in.size();
    if (m_codec) {
        QByteArray reply;
        m_codec->receive(bytes, &m_in, &reply);
        if (!reply.isEmpty()) {
            m_socket->write(reply);
            m_socket->flush();
        }
        traceEvents();
    } else {
        m_in.append(bytes);
    }
    if (m_in.size() > before && isOpen())
        emit readyRead();
}

void NetworkLink::traceEvents()
{
    for (const TelnetCodec::Event &event : m_codec->takeEvents()) {
        switch (event.kind) {
        case TelnetCodec::Event::Kind::ComPortAccepted:
            qCDebug(lcSerial).noquote() << m_label << "COM-PORT-OPTION accepted, setting the line";
            break;
        case TelnetCodec::Event::Kind::ComPortRefused:
            qCDebug(lcSerial).noquote()
                << m_label << "COM-PORT-OPTION refused: plain Telnet, line settings unchanged";
            break;
        case TelnetCodec::Event::Kind::ComPortConfirmed: {
            static const char *const names[] = {"baud rate", "data size", "parity", "stop size"};
            qCDebug(lcSerial).noquote()
                << m_label << "server set" << names[event.command - 1] << event.value;
            break;
        }
        }
    }
}

void NetworkLink::onSocketGone()
{
    if (!isOpen() || m_lostReported)
        return;
    m_lostReported = true;
    emit lost(m_socket->errorString());
}
