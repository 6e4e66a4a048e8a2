// SPDX-License-Identifier: MIT
#include "linkopener.h"

#include "networklink.h"
#include "portmap.h"

#include <cerrno>

#ifdef Q_OS_UNIX
#include <poll.h>
#endif

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

// On a closed port QSerialPort only keeps these and applies them when it opens.
bool apply(QSerialPort &port, const SerialSettings &settings)
{
    return port.setBaudRate(settings.baudRate) &&
           port.setDataBits(QSerialPort::DataBits(settings.dataBits)) &&
           port.setParity(toQt(settings.parity)) && port.setStopBits(toQt(settings.stopBits));
}

LinkOpener::Failure failureOf(PortLock::Outcome outcome)
{
    switch (outcome) {
    case PortLock::Outcome::Taken:
        return LinkOpener::Failure::None;
    case PortLock::Outcome::NotFound:
        return LinkOpener::Failure::NoSuchDevice;
    case PortLock::Outcome::Held:
    case PortLock::Outcome::Denied:
        return LinkOpener::Failure::Held;
    case PortLock::Outcome::Failed:
        break;
    }
    return LinkOpener::Failure::Failed;
}

} // namespace

LinkOpener::LinkOpener(QObject *parent)
    : QObject(parent), m_serial(new QSerialPort(this)), m_net(new NetworkLink(this))
{
    // No handshaking: the device knows none, and the modem lines stay as they are.
    m_serial->setFlowControl(QSerialPort::NoFlowControl);
    connect(m_serial, &QSerialPort::errorOccurred, this, &LinkOpener::onSerialError);
    connect(m_net, &NetworkLink::lost, this, &LinkOpener::onNetworkLost);
    connect(m_net, &NetworkLink::openFinished, this, &LinkOpener::onNetworkOpenFinished);
}

LinkOpener::~LinkOpener()
{
    close();
}

std::optional<LinkOpener::Result> LinkOpener::open(const QString &entry,
                                                   const SerialSettings &settings, int timeoutMs)
{
    close();
    m_lostReported = false;
    const std::optional<Result> result = isNetworkEntry(entry)
                                             ? openNetwork(entry, settings, timeoutMs)
                                             : openSerial(entry, settings);
    if (result)
        m_link = result->link;
    return result;
}

LinkOpener::Result LinkOpener::openSerial(const QString &device, const SerialSettings &settings)
{
    // The hold comes first: a device that another program holds is left as it is, its line
    // settings and its lock file untouched.
    const PortLock::Result hold = m_lock.acquire(device);
    if (hold.outcome != PortLock::Outcome::Taken)
        return {nullptr, failureOf(hold.outcome), hold.why};

    // The device itself, not a link to it: QSerialPort names its lock file after the path it
    // opens, and other tools name theirs after the device (LCK..ttyUSB0).
    m_serial->setPortName(m_lock.systemPath());
    apply(*m_serial, settings);
    if (!m_serial->open(QIODevice::ReadWrite)) {
        const QSerialPort::SerialPortError error = m_serial->error();
        const QString why = m_serial->errorString();
        m_serial->clearError();
        m_lock.release();
        return {nullptr,
                error == QSerialPort::DeviceNotFoundError ? Failure::NoSuchDevice
                : error == QSerialPort::PermissionError   ? Failure::Held
                                                          : Failure::Failed,
                why};
    }
    return {m_serial, Failure::None, QString()};
}

std::optional<LinkOpener::Result>
LinkOpener::openNetwork(const QString &entry, const SerialSettings &settings, int timeoutMs)
{
    QString why;
    const std::optional<NetworkPort> server = parseNetworkPort(entry, &why);
    if (!server)
        return Result{nullptr, Failure::NoSuchDevice, why};
    m_opening = true;
    m_net->startOpen(*server, settings, timeoutMs);
    return std::nullopt;
}

void LinkOpener::onNetworkOpenFinished(bool opened)
{
    if (!m_opening)
        return;
    m_opening = false;
    Result result{m_net, Failure::None, QString()};
    if (!opened) {
        const NetworkLink::Failure failure = m_net->failure();
        result = {nullptr,
                  failure == NetworkLink::Failure::NotFound ||
                          failure == NetworkLink::Failure::Refused
                      ? Failure::NoSuchDevice
                      : Failure::Failed,
                  m_net->errorString()};
    }
    m_link = result.link;
    emit this->opened(result);
}

void LinkOpener::close()
{
    if (m_opening)
        m_net->close();
    m_opening = false;
    if (m_link)
        m_link->close();
    m_link = nullptr;
    m_serial->clearError();
    m_lock.release();
}

bool LinkOpener::setLineSettings(const SerialSettings &settings, QString *why)
{
    if (m_link != m_serial || apply(*m_serial, settings))
        return true;
    *why = m_serial->errorString();
    m_serial->clearError();
    return false;
}

LinkOpener::Sent LinkOpener::send(const QByteArray &bytes, QString *why)
{
    if (!m_link) {
        *why = QStringLiteral("no link is open");
        return Sent::Failed;
    }
    const qint64 waiting = bytesWaiting();
    if (waiting > 0 && waiting + bytes.size() > maxWaitingBytes) {
        *why = QStringLiteral("the line is busy: %1 bytes wait for the device").arg(waiting);
        return Sent::Busy;
    }
    const bool queued = m_link->write(bytes) == bytes.size();
    if (queued && !bytes.isEmpty()) {
        if (m_link == m_serial)
            m_serial->flush();
        else
            m_net->flush();
    }
    if (!queued) {
        *why = m_link->errorString();
        m_serial->clearError();
    }
    return queued ? Sent::Yes : Sent::Failed;
}

qint64 LinkOpener::bytesWaiting() const
{
    if (m_link == m_serial)
        return m_serial->bytesToWrite();
    if (m_link == m_net)
        return m_net->bytesWaiting();
    return 0;
}

void LinkOpener::onSerialError(QSerialPort::SerialPortError error)
{
    // Raised right where the system call failed: errno still tells why.
    const int systemError = errno;
    if (error != QSerialPort::ReadError && error != QSerialPort::WriteError &&
        error != QSerialPort::ResourceError)
        return;
    if (m_link != m_serial || !m_serial->isOpen())
        return;
    // A device that reads slowly: the system takes no more for now (EAGAIN), and QSerialPort
    // reports that as a ResourceError. The bytes stay queued and go out as the line takes
    // them.
    if (error != QSerialPort::ReadError && m_serial->bytesToWrite() > 0 &&
        serialWriteMustWait(systemError)) {
        m_serial->clearError();
        return;
    }
    // Qt reports a hung-up tty as ReadError / ResourceError over and over, about a million
    // times a second, while isOpen() stays true: the first report on an open port is the
    // lost link, the rest are ignored until it is closed.
    reportLost(m_serial->errorString());
}

bool LinkOpener::serialWriteMustWait(int systemError) const
{
#ifdef Q_OS_UNIX
    if (systemError != EAGAIN && systemError != EWOULDBLOCK)
        return false;
    // A hung-up line refuses writes too; it shows as a hang-up or an error.
    pollfd line{int(m_serial->handle()), POLLOUT, 0};
    if (::poll(&line, 1, 0) < 0)
        return false;
    return (line.revents & (POLLHUP | POLLERR | POLLNVAL)) == 0;
#else
    Q_UNUSED(systemError);
    return false; // no refused write is told apart from a lost line here
#endif
}

void LinkOpener::onNetworkLost(const QString &why)
{
    if (m_link == m_net)
        reportLost(why);
}

void LinkOpener::reportLost(const QString &why)
{
    if (m_lostReported)
        return;
    m_lostReported = true;
    emit lost(why);
}
