// SPDX-License-Identifier: MIT
#include "mscomm.h"

#include "errortrap.h"
#include "linewords.h"
#include "serialsettings.h"

#include <QIODevice>

namespace {

// The one mapping of an open that failed to the error number the handlers trap.
int errorNumberOf(LinkOpener::Failure failure)
{
    switch (failure) {
    case LinkOpener::Failure::NoSuchDevice:
        return MSComm::InvalidPortNumber;
    case LinkOpener::Failure::Held:
        return MSComm::PortAlreadyOpen;
    case LinkOpener::Failure::None:
    case LinkOpener::Failure::Failed:
        break;
    }
    return MSComm::PortOpenFailed;
}

NumberedError notOpen()
{
    return NumberedError(MSComm::PortNotOpen,
                         QStringLiteral("Operation valid only when the port is open"));
}

} // namespace

MSComm::MSComm(const PortMap &ports, QObject *parent)
    : QObject(parent), m_ports(ports), m_opener(new LinkOpener(this)), m_pump(new ReplyPump(this))
{
    connect(m_opener, &LinkOpener::lost, this, &MSComm::onLinkLost);
    connect(m_opener, &LinkOpener::opened, this, &MSComm::onLinkOpened);
    connect(m_pump, &ReplyPump::lineReady, this, &MSComm::raiseOnComm);
}

MSComm::~MSComm()
{
    m_pump->setDevice(nullptr);
    m_opener->close();
}

void MSComm::setCommPort(int port)
{
    if (port < 1 || port > PortMap::maxPort)
        throw NumberedError(InvalidPortNumber, QStringLiteral("Invalid port number %1").arg(port));
    if (PortOpen() || m_opening)
        throw NumberedError(PortAlreadyOpen, QStringLiteral("Port already open"));
    m_commPort = port;
}

void MSComm::setSettings(const QString &settings)
{
    const std::optional<SerialSettings> parsed = parseSerialSettings(settings);
    if (!parsed)
        throw NumberedError(InvalidPropertyValue,
                            QStringLiteral("Invalid port settings \"%1\"").arg(settings));
    QString why;
    if (!m_opener->setLineSettings(*parsed, &why))
        throw NumberedError(InvalidPropertyValue,
                            QStringLiteral("Port refused settings \"%1\": %2").arg(settings, why));
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
    return !m_opening && m_opener->link() && m_opener->link()->isOpen();
}

void MSComm::setPortOpen(bool open)
{
    if (!open) {
        closePort();
        return;
    }
    if (PortOpen() || m_opening)
        throw NumberedError(PortAlreadyOpen, QStringLiteral("Port already open"));

    const QString device = m_ports.deviceFor(m_commPort);
    const SerialSettings settings = parseSerialSettings(m_settings).value_or(SerialSettings());
    m_linkLostPending = false;
    // Counted before the open starts: a network open may report before open() returns.
    m_opening = true;
    m_openingDevice = device;
    ++m_openAttempt;
    const std::optional<LinkOpener::Result> opened =
        m_opener->open(device, settings, connectTimeoutMs);
    if (opened) {
        m_opening = false;
        takeOpenedLink(device, *opened);
        return;
    }
    qCDebug(lcSerial).noquote() << portLabel() << device << "opening";
}

QString MSComm::portLabel() const
{
    return QStringLiteral("COM%1").arg(m_commPort);
}

void MSComm::takeOpenedLink(const QString &device, const LinkOpener::Result &opened)
{
    if (!opened.link) {
        qCDebug(lcSerial).noquote() << portLabel() << device << "open failed:" << opened.why;
        throw NumberedError(errorNumberOf(opened.failure), opened.why);
    }
    m_pump->setDevice(opened.link);
    qCDebug(lcSerial).noquote() << portLabel() << device << "open" << m_settings;
    emit portOpenChanged(true);
}

void MSComm::onLinkOpened(const LinkOpener::Result &opened)
{
    // Raised inside the socket's own signal: the steps that follow an open may show a box, so
    // they run once control is back in the event loop.
    QMetaObject::invokeMethod(
        this,
        [this, opened, attempt = m_openAttempt] {
            if (!m_opening || attempt != m_openAttempt)
                return; // given up meanwhile
            m_opening = false;
            try {
                takeOpenedLink(m_openingDevice, opened);
            } catch (const NumberedError &error) {
                emit openFinished(error.number(), error.description());
                return;
            }
            emit openFinished(0, QString());
        },
        Qt::QueuedConnection);
}

void MSComm::closePort()
{
    m_pump->setDevice(nullptr);
    m_linkLostPending = false;
    if (m_opening) {
        m_opening = false;
        m_opener->close();
        qCDebug(lcSerial).noquote() << portLabel() << "open given up";
        return;
    }
    if (!PortOpen())
        return;
    m_opener->close();
    qCDebug(lcSerial).noquote() << portLabel() << "closed";
    emit portOpenChanged(false);
}

void MSComm::Output(const QByteArray &bytes)
{
    if (!PortOpen())
        throw notOpen();
    qCDebug(lcSerial).noquote() << "write" << bytes.toHex(' ') << "" << linewords::frame(bytes);
    QString why;
    const LinkOpener::Sent sent = m_opener->send(bytes, &why);
    if (m_linkLostPending) {
        closeLostLink();
        throw NumberedError(WriteFailed, QStringLiteral("The line is gone; port closed"));
    }
    if (sent == LinkOpener::Sent::Busy) {
        qCDebug(lcSerial).noquote() << "write refused," << why;
        throw NumberedError(LineBusy, why);
    }
    if (sent == LinkOpener::Sent::Failed)
        throw NumberedError(WriteFailed, QStringLiteral("Write failed: %1").arg(why));
    emit frameWritten(bytes, m_replying > 0);
}

QByteArray MSComm::Input()
{
    if (!PortOpen())
        throw notOpen();
    const QByteArray line = m_pump->takeLine(m_inputLen > 0 ? m_inputLen : -1);
    if (!line.isEmpty())
        emit replyRead(line);
    return line;
}

void MSComm::raiseOnComm()
{
    ++m_replying;
    const auto done = qScopeGuard([this] { --m_replying; });
    emit OnComm();
}

void MSComm::onLinkLost(const QString &why)
{
    // Raised inside the link's own signal (QSerialPort's errorOccurred): closing there would
    // pull its notifier from under it, so the close runs once control is back in the event
    // loop, or at once when the loss shows inside Output().
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
