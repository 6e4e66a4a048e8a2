// SPDX-License-Identifier: MIT
#include "linkopener.h"

#include "networklink.h"
#include "portmap.h"

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
}

LinkOpener::~LinkOpener()
{
    close();
}

bool LinkOpener::opensOverNetwork(const QString &entry)
{
    return isNetworkEntry(entry) && parseNetworkPort(entry).has_value();
}

LinkOpener::Result LinkOpener::open(const QString &entry, const SerialSettings &settings,
                                    int timeoutMs)
{
    close();
    const Result result = isNetworkEntry(entry) ? openNetwork(entry, settings, timeoutMs)
                                                : openSerial(entry, settings);
    m_link = result.link;
    m_lostReported = false;
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

LinkOpener::Result LinkOpener::openNetwork(const QString &entry, const SerialSettings &settings,
                                           int timeoutMs)
{
    QString why;
    const std::optional<NetworkPort> server = parseNetworkPort(entry, &why);
    if (!server)
        return {nullptr, Failure::NoSuchDevice, why};
    if (!m_net->openLink(*server, settings, timeoutMs)) {
        const NetworkLink::Failure failure = m_net->failure();
        return {nullptr,
                failure == NetworkLink::Failure::NotFound ||
                        failure == NetworkLink::Failure::Refused
                    ? Failure::NoSuchDevice
                    : Failure::Failed,
                m_net->errorString()};
    }
    return {m_net, Failure::None, QString()};
}

void LinkOpener::close()
{
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

bool LinkOpener::send(const QByteArray &bytes, QString *why)
{
    if (!m_link) {
        *why = QStringLiteral("no link is open");
        return false;
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
    return queued;
}

void LinkOpener::onSerialError(QSerialPort::SerialPortError error)
{
    if (error != QSerialPort::ReadError && error != QSerialPort::WriteError &&
        error != QSerialPort::ResourceError)
        return;
    if (m_link != m_serial || !m_serial->isOpen())
        return;
    // Qt reports a hung-up tty as ReadError / ResourceError over and over, about a million
    // times a second, while isOpen() stays true: the first report on an open port is the
    // lost link, the rest are ignored until it is closed.
    reportLost(m_serial->errorString());
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
