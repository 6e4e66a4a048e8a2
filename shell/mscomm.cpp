// SPDX-License-Identifier: MIT
#include "mscomm.h"

#include "errortrap.h"
#include "networklink.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScopeGuard>
#include <QTimer>

namespace {

QSerialPort::Parity toQt(SerialSettings::Parity parity)
{
    switch (parity) {
    case SerialSettings::Parity::None:
        return QSerialPort::NoParity;
    case SerialSettings::Parity::Even:
        return QSerialPort::EvenParity;
    case SerialSettings::Parity::Odd:
        return QSerialPort::OddParity;
    case SerialSettings::Parity::Mark:
        return QSerialPort::MarkParity;
    case SerialSettings::Parity::Space:
        return QSerialPort::SpaceParity;
    }
    return QSerialPort::NoParity;
}

QSerialPort::StopBits toQt(SerialSettings::StopBits stopBits)
{
    switch (stopBits) {
    case SerialSettings::StopBits::One:
        return QSerialPort::OneStop;
    case SerialSettings::StopBits::OneAndHalf:
        return QSerialPort::OneAndHalfStop;
    case SerialSettings::StopBits::Two:
        return QSerialPort::TwoStop;
    }
    return QSerialPort::OneStop;
}

} // namespace

MSComm::MSComm(const PortMap &ports, QObject *parent)
    : QObject(parent), m_ports(ports), m_port(new QSerialPort(this)), m_net(new NetworkLink(this)),
      m_settle(new QTimer(this)), m_deadline(new QTimer(this))
{
    // The control's line until Settings says otherwise: 9600 baud, 8N1, no handshaking.
    m_port->setBaudRate(QSerialPort::Baud9600);
    m_port->setDataBits(QSerialPort::Data8);
    m_port->setParity(QSerialPort::NoParity);
    m_port->setStopBits(QSerialPort::OneStop);
    m_port->setFlowControl(QSerialPort::NoFlowControl);

    for (QTimer *timer : {m_settle, m_deadline}) {
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
    }
    m_settle->setInterval(settleMs);
    m_deadline->setInterval(maxDelayMs);

    connect(m_port, &QSerialPort::readyRead, this, &MSComm::onReadyRead);
    connect(m_port, &QSerialPort::errorOccurred, this, &MSComm::onPortError);
    connect(m_net, &NetworkLink::readyRead, this, &MSComm::onReadyRead);
    connect(m_net, &NetworkLink::lost, this, &MSComm::onNetworkLost);
    connect(m_settle, &QTimer::timeout, this, &MSComm::endWaitingText);
    connect(m_deadline, &QTimer::timeout, this, &MSComm::endWaitingText);
}

MSComm::~MSComm()
{
    if (m_port->isOpen())
        m_port->close();
    m_net->close();
    m_lock.release();
}

void MSComm::setCommPort(int port)
{
    if (port < 1 || port > PortMap::maxPort)
        throw NumberedError(InvalidPortNumber, QStringLiteral("Invalid port number %1").arg(port));
    if (PortOpen())
        throw NumberedError(PortAlreadyOpen, QStringLiteral("Port already open"));
    m_commPort = port;
}

void MSComm::setSettings(const QString &settings)
{
    const std::optional<SerialSettings> parsed = parseSerialSettings(settings);
    if (!parsed)
        throw NumberedError(InvalidPropertyValue,
                            QStringLiteral("Invalid port settings \"%1\"").arg(settings));
    // On a closed port QSerialPort only keeps these and applies them when it opens.
    const bool applied = m_port->setBaudRate(parsed->baudRate) &&
                         m_port->setDataBits(QSerialPort::DataBits(parsed->dataBits)) &&
                         m_port->setParity(toQt(parsed->parity)) &&
                         m_port->setStopBits(toQt(parsed->stopBits));
    if (!applied) {
        const QString why = m_port->errorString();
        m_port->clearError();
        throw NumberedError(InvalidPropertyValue,
                            QStringLiteral("Port refused settings \"%1\": %2").arg(settings, why));
    }
    m_settings = settings;
}

void MSComm::setInputLen(int length)
{
    if (length < 0)
        throw NumberedError(InvalidPropertyValue,
                            QStringLiteral("Invalid InputLen %1").arg(length));
    m_inputLen = length;
}

bool MSComm::PortOpen() const
{
    return m_link && m_link->isOpen();
}

void MSComm::setPortOpen(bool open)
{
    if (!open) {
        closePort();
        return;
    }
    if (PortOpen())
        throw NumberedError(PortAlreadyOpen, QStringLiteral("Port already open"));

    const QString device = m_ports.deviceFor(m_commPort);
    openDevice(device);
    m_linkLostPending = false;
    qCDebug(lcSerial).noquote() << portLabel() << device << "open" << m_settings;
    emit portOpenChanged(true);
}

QString MSComm::portLabel() const
{
    return QStringLiteral("COM%1").arg(m_commPort);
}

void MSComm::closePort()
{
    m_settle->stop();
    m_deadline->stop();
    m_lines.clear();
    m_linkLostPending = false;
    if (!PortOpen())
        return;
    m_link->close();
    m_link = nullptr;
    m_port->clearError();
    m_lock.release();
    qCDebug(lcSerial).noquote() << portLabel() << "closed";
    emit portOpenChanged(false);
}

void MSComm::openDevice(const QString &device)
{
    const auto fail = [&](int number, const QString &why) {
        qCDebug(lcSerial).noquote() << portLabel() << device << "open failed:" << why;
        throw NumberedError(number,
                            QStringLiteral("COM%1 (%2): %3").arg(m_commPort).arg(device, why));
    };

    if (isNetworkEntry(device)) {
        openNetwork(device);
        return;
    }

    // The hold comes first: a device that another program holds is left as it is, its line
    // settings and its lock file untouched.
    const PortLock::Result hold = m_lock.acquire(device);
    switch (hold.outcome) {
    case PortLock::Outcome::Taken:
        break;
    case PortLock::Outcome::NotFound:
        fail(InvalidPortNumber, hold.why);
        break;
    case PortLock::Outcome::Held:
    case PortLock::Outcome::Denied:
        fail(PortAlreadyOpen, hold.why);
        break;
    case PortLock::Outcome::Failed:
        fail(PortOpenFailed, hold.why);
        break;
    }

    // The device itself, not a link to it: QSerialPort names its lock file after the path it
    // opens, and other tools name theirs after the device (LCK..ttyUSB0).
    m_port->setPortName(m_lock.systemPath());
    if (!m_port->open(QIODevice::ReadWrite)) {
        const QSerialPort::SerialPortError error = m_port->error();
        const QString why = m_port->errorString();
        m_port->clearError();
        m_lock.release();
        fail(error == QSerialPort::DeviceNotFoundError ? InvalidPortNumber
             : error == QSerialPort::PermissionError   ? PortAlreadyOpen
                                                       : PortOpenFailed,
             why);
    }
    m_link = m_port;
}

void MSComm::openNetwork(const QString &entry)
{
    const auto fail = [&](int number, const QString &why) {
        qCDebug(lcSerial).noquote() << portLabel() << entry << "open failed:" << why;
        throw NumberedError(number,
                            QStringLiteral("COM%1 (%2): %3").arg(m_commPort).arg(entry, why));
    };
    QString why;
    const std::optional<NetworkPort> server = parseNetworkPort(entry, &why);
    if (!server)
        fail(InvalidPortNumber, why);

    // The wait is bounded but the window is not redrawn meanwhile: say that it is busy.
    const bool gui = qobject_cast<QGuiApplication *>(QCoreApplication::instance()) != nullptr;
    if (gui)
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    const auto restore = qScopeGuard([gui] {
        if (gui)
            QGuiApplication::restoreOverrideCursor();
    });
    const SerialSettings settings = parseSerialSettings(m_settings).value_or(SerialSettings());
    if (!m_net->openLink(*server, settings, connectTimeoutMs)) {
        const NetworkLink::Failure failure = m_net->failure();
        fail(failure == NetworkLink::Failure::NotFound || failure == NetworkLink::Failure::Refused
                 ? InvalidPortNumber
                 : PortOpenFailed,
             m_net->errorString());
    }
    m_link = m_net;
}

void MSComm::Output(const QByteArray &bytes)
{
    if (!PortOpen())
        throw NumberedError(PortNotOpen,
                            QStringLiteral("Operation valid only when the port is open"));
    qCDebug(lcSerial).noquote() << "write" << bytes.toHex(' ');
    const bool queued = m_link->write(bytes) == bytes.size();
    // write() only queues; without the flush a close() right after would drop the frame.
    if (queued && !bytes.isEmpty()) {
        if (m_link == m_port)
            m_port->flush();
        else
            m_net->flush();
    }
    if (m_linkLostPending) {
        closeLostLink();
        throw NumberedError(WriteFailed, QStringLiteral("The line is gone; port closed"));
    }
    if (!queued) {
        const QString why = m_link->errorString();
        m_port->clearError();
        throw NumberedError(WriteFailed, QStringLiteral("Write failed: %1").arg(why));
    }
}

QByteArray MSComm::Input()
{
    if (!PortOpen())
        throw NumberedError(PortNotOpen,
                            QStringLiteral("Operation valid only when the port is open"));
    const QByteArray line = m_lines.takeLine(m_inputLen > 0 ? m_inputLen : -1);
    if (!line.isEmpty())
        qCDebug(lcSerial).noquote() << "read" << line.toHex(' ');
    m_bytesTaken += quint64(line.size());
    return line;
}

void MSComm::holdReplies()
{
    ++m_holds;
}

void MSComm::releaseReplies()
{
    if (m_holds > 0 && --m_holds == 0 && m_lines.hasLine())
        postDelivery();
}

void MSComm::onReadyRead()
{
    const bool waitedBefore = m_lines.hasPartial();
    if (!PortOpen())
        return;
    const bool lineEnded = m_lines.append(m_link->readAll());
    if (!m_lines.hasPartial()) {
        m_settle->stop();
        m_deadline->stop();
    } else {
        // The deadline counts from the first byte of the text that is waiting now.
        if (lineEnded || !waitedBefore)
            m_deadline->start();
        m_settle->start();
    }
    postDelivery();
}

void MSComm::endWaitingText()
{
    m_settle->stop();
    m_deadline->stop();
    m_lines.endPartial();
    postDelivery();
}

void MSComm::postDelivery()
{
    // Handed over from the event loop, never from inside QSerialPort's readyRead: a modal box
    // opened by a handler would otherwise run inside that signal, and QSerialPort does not
    // signal what arrives while its readyRead is still being handled.
    if (m_deliveryPosted)
        return;
    m_deliveryPosted = true;
    QMetaObject::invokeMethod(this, &MSComm::deliverLines, Qt::QueuedConnection);
}

void MSComm::deliverLines()
{
    m_deliveryPosted = false;
    if (m_delivering)
        return; // the handler that runs now is followed by the rest, in order
    m_delivering = true;
    const auto delivered = qScopeGuard([this] { m_delivering = false; });
    while (m_holds == 0 && m_lines.hasLine() && PortOpen()) {
        const quint64 before = m_bytesTaken;
        emit OnComm();
        if (m_bytesTaken == before)
            break; // nobody took the line: it waits for the next Input()
    }
}

void MSComm::onPortError(QSerialPort::SerialPortError error)
{
    if (error != QSerialPort::ReadError && error != QSerialPort::WriteError &&
        error != QSerialPort::ResourceError)
        return;
    if (m_link != m_port || !m_port->isOpen() || m_linkLostPending)
        return;
    // A hung-up line keeps reporting this for as long as it stays open, many times in a row.
    // Closing from inside QSerialPort's own signal would pull its notifier from under it, so
    // the close runs as soon as control is back in the event loop; later reports are ignored.
    m_linkLostPending = true;
    qCDebug(lcSerial).noquote() << portLabel() << "link lost:" << m_port->errorString();
    QMetaObject::invokeMethod(this, &MSComm::closeLostLink, Qt::QueuedConnection);
}

void MSComm::onNetworkLost(const QString &why)
{
    if (m_link != m_net || m_linkLostPending)
        return;
    // As for a serial port: closed once control is back in the event loop.
    m_linkLostPending = true;
    qCDebug(lcSerial).noquote() << portLabel() << "link lost:" << why;
    QMetaObject::invokeMethod(this, &MSComm::closeLostLink, Qt::QueuedConnection);
}

void MSComm::closeLostLink()
{
    if (!m_linkLostPending)
        return;
    closePort();
    emit linkLost();
}
