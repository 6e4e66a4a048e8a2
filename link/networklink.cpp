// SPDX-License-Identifier: MIT
#include "networklink.h"

#include "linktrace.h"

#include <QTcpSocket>
#include <QTimer>

#include <cstring>

NetworkLink::NetworkLink(QObject *parent)
    : QIODevice(parent), m_socket(new QTcpSocket(this)), m_openTimer(new QTimer(this))
{
    m_openTimer->setSingleShot(true);
    m_openTimer->setTimerType(Qt::PreciseTimer); // a coarse one may end the wait 5 % early
    connect(m_openTimer, &QTimer::timeout, this, &NetworkLink::onOpenTimeout);
    connect(m_socket, &QTcpSocket::connected, this, &NetworkLink::onConnected);
    connect(m_socket, &QTcpSocket::readyRead, this, &NetworkLink::onSocketReadyRead);
    connect(m_socket, &QTcpSocket::disconnected, this, &NetworkLink::onSocketGone);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &NetworkLink::onSocketGone);
}

NetworkLink::~NetworkLink()
{
    m_socket->abort();
}

void NetworkLink::startOpen(const NetworkPort &server, const SerialSettings &settings,
                            int timeoutMs)
{
    close();
    m_failure = Failure::None;
    m_lostReported = false;
    m_label = QStringLiteral("%1://%2:%3")
                  .arg(server.kind == NetworkPort::Kind::Raw ? QStringLiteral("tcp")
                                                             : QStringLiteral("rfc2217"))
                  .arg(server.host)
                  .arg(server.port);
    if (server.kind == NetworkPort::Kind::Rfc2217)
        m_codec.emplace(true, settings);
    else
        m_codec.reset();
    m_timeoutMs = timeoutMs;
    m_state = State::Connecting;
    m_openTimer->start(timeoutMs);
    m_socket->connectToHost(server.host, server.port);
}

void NetworkLink::onConnected()
{
    if (m_state != State::Connecting)
        return;
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    if (!m_codec) {
        finishOpen();
        return;
    }
    // The settings must be on the far end's line before the first frame goes out.
    m_state = State::Negotiating;
    queue(m_codec->start());
}

void NetworkLink::onOpenTimeout()
{
    if (m_state == State::Connecting) {
        fail(Failure::Other, QStringLiteral("no connection within %1 ms").arg(m_timeoutMs));
    } else if (m_state == State::Negotiating) {
        if (m_codec->comPort() == TelnetCodec::ComPort::Offered)
            fail(Failure::Other, QStringLiteral("no answer to the Telnet offer within %1 ms, "
                                                "not a Telnet server")
                                     .arg(m_timeoutMs));
        else
            finishOpen(); // it confirmed some of the settings: the trace says which
    }
}

void NetworkLink::finishOpen()
{
    m_openTimer->stop();
    m_state = State::Open;
    traceNegotiationResult();
    QIODevice::open(QIODevice::ReadWrite | QIODevice::Unbuffered);
    // What arrived while the link came up is there to be read.
    if (!m_in.isEmpty())
        QMetaObject::invokeMethod(this, &QIODevice::readyRead, Qt::QueuedConnection);
    emit openFinished(true);
}

void NetworkLink::fail(Failure failure, const QString &why)
{
    m_openTimer->stop();
    m_state = State::Closed; // before abort(), which reports the disconnection at once
    m_failure = failure;
    setErrorString(why);
    m_socket->abort();
    m_codec.reset();
    m_in.clear();
    emit openFinished(false);
}

bool NetworkLink::negotiating() const
{
    return m_codec->comPort() == TelnetCodec::ComPort::Offered ||
           (m_codec->comPort() == TelnetCodec::ComPort::Accepted &&
            m_codec->confirmedSettings() < 4);
}

void NetworkLink::traceNegotiationResult()
{
    if (m_codec && m_codec->comPort() == TelnetCodec::ComPort::Accepted &&
        m_codec->confirmedSettings() < 4)
        qCDebug(lcSerial).noquote() << m_label << "server confirmed" << m_codec->confirmedSettings()
                                    << "of 4 line settings";
}

void NetworkLink::close()
{
    // Closing here is no loss of the link: abort() reports the disconnection at once.
    m_lostReported = true;
    m_openTimer->stop();
    m_state = State::Closed;
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

qint64 NetworkLink::bytesWaiting() const
{
    return m_socket->bytesToWrite();
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
    if (m_state != State::Open || m_socket->state() != QAbstractSocket::ConnectedState)
        return -1;
    const QByteArrayView bytes(data, size);
    return queue(m_codec ? TelnetCodec::escape(bytes) : bytes.toByteArray()) ? size : -1;
}

bool NetworkLink::queue(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return true;
    m_socket->write(bytes);
    m_socket->flush();
    if (m_socket->bytesToWrite() <= maxQueuedBytes)
        return true;
    const QString why = QStringLiteral("the server does not read: more than %1 KiB wait for it")
                            .arg(maxQueuedBytes / 1024);
    qCWarning(lcSerial).noquote() << m_label << "dropped," << why;
    if (m_state == State::Open) {
        setErrorString(why);
        reportLost(why);
        m_socket->abort(); // nothing more piles up until the port is closed
    } else {
        fail(Failure::Other, why);
    }
    return false;
}

void NetworkLink::onSocketReadyRead()
{
    if (m_state == State::Closed || m_state == State::Connecting)
        return;
    const QByteArray bytes = m_socket->readAll();
    const qsizetype before = m_in.size();
    if (m_codec) {
        QByteArray reply;
        m_codec->receive(bytes, &m_in, &reply);
        traceEvents();
        if (!queue(reply))
            return;
    } else {
        m_in.append(bytes);
    }
    if (m_state == State::Negotiating) {
        if (!negotiating())
            finishOpen();
    } else if (m_in.size() > before) {
        emit readyRead();
    }
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
    switch (m_state) {
    case State::Closed:
        return;
    case State::Connecting: {
        const QAbstractSocket::SocketError error = m_socket->error();
        fail(error == QAbstractSocket::HostNotFoundError        ? Failure::NotFound
             : error == QAbstractSocket::ConnectionRefusedError ? Failure::Refused
                                                                : Failure::Other,
             m_socket->errorString());
        return;
    }
    case State::Negotiating:
        fail(Failure::Other, QStringLiteral("the server closed the connection"));
        return;
    case State::Open:
        reportLost(m_socket->errorString());
        return;
    }
}

void NetworkLink::reportLost(const QString &why)
{
    if (!isOpen() || m_lostReported)
        return;
    m_lostReported = true;
    emit lost(why);
}
