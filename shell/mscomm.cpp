// SPDX-License-Identifier: MIT
#include "mscomm.h"

#include "errortrap.h"
#include "linewords.h"
#include "linkopener.h"
#include "serialsettings.h"

#include <QCursor>
#include <QGuiApplication>
#include <QIODevice>
#include <QScopeGuard>

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
    return m_opener->link() && m_opener->link()->isOpen();
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
    openLink(device);
    m_linkLostPending = false;
    m_pump->setDevice(m_opener->link());
    qCDebug(lcSerial).noquote() << portLabel() << device << "open" << m_settings;
    emit portOpenChanged(true);
}

QString MSComm::portLabel() const
{
    return QStringLiteral("COM%1").arg(m_commPort);
}

void MSComm::openLink(const QString &device)
{
    // A network open waits up to connectTimeoutMs and the window is not redrawn meanwhile:
    // say that it is busy.
    const bool busy = LinkOpener::opensOverNetwork(device) &&
                      qobject_cast<QGuiApplication *>(QCoreApplication::instance()) != nullptr;
    if (busy)
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    const auto restore = qScopeGuard([busy] {
        if (busy)
            QGuiApplication::restoreOverrideCursor();
    });
    const SerialSettings settings = parseSerialSettings(m_settings).value_or(SerialSettings());
    const LinkOpener::Result opened = m_opener->open(device, settings, connectTimeoutMs);
    if (opened.link)
        return;
    qCDebug(lcSerial).noquote() << portLabel() << device << "open failed:" << opened.why;
    throw NumberedError(errorNumberOf(opened.failure),
                        QStringLiteral("COM%1 (%2): %3").arg(m_commPort).arg(device, opened.why));
}

void MSComm::closePort()
{
    m_pump->setDevice(nullptr);
    m_linkLostPending = false;
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
    const bool sent = m_opener->send(bytes, &why);
    if (m_linkLostPending) {
        closeLostLink();
        throw NumberedError(WriteFailed, QStringLiteral("The line is gone; port closed"));
    }
    if (!sent)
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
