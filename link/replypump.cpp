// SPDX-License-Identifier: MIT
#include "replypump.h"

#include "linewords.h"
#include "linktrace.h"

#include <QIODevice>
#include <QScopeGuard>
#include <QTimer>

ReplyPump::ReplyPump(QObject *parent)
    : QObject(parent), m_settle(new QTimer(this)), m_deadline(new QTimer(this))
{
    for (QTimer *timer : {m_settle, m_deadline}) {
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
    }
    m_settle->setInterval(settleMs);
    m_deadline->setInterval(maxDelayMs);
    connect(m_settle, &QTimer::timeout, this, &ReplyPump::endWaitingText);
    connect(m_deadline, &QTimer::timeout, this, &ReplyPump::endWaitingText);
}

void ReplyPump::setDevice(QIODevice *device)
{
    stopTimers();
    m_lines.clear();
    disconnect(m_readyRead);
    m_device = device;
    if (m_device)
        m_readyRead = connect(m_device, &QIODevice::readyRead, this, &ReplyPump::onReadyRead);
}

QByteArray ReplyPump::takeLine(qsizetype maxBytes)
{
    const QByteArray line = m_lines.takeLine(maxBytes);
    if (!line.isEmpty())
        qCDebug(lcSerial).noquote() << "read" << line.toHex(' ') << "" << linewords::reply(line);
    m_bytesTaken += quint64(line.size());
    return line;
}

void ReplyPump::holdReplies()
{
    ++m_holds;
}

void ReplyPump::releaseReplies()
{
    if (m_holds > 0 && --m_holds == 0 && m_lines.hasLine())
        postDelivery();
}

bool ReplyPump::reading() const
{
    return m_device && m_device->isOpen();
}

void ReplyPump::onReadyRead()
{
    if (!reading())
        return;
    const bool waitedBefore = m_lines.hasPartial();
    const bool lineEnded = m_lines.append(m_device->readAll());
    if (!m_lines.hasPartial()) {
        stopTimers();
    } else {
        // The deadline counts from the first byte of the text that is waiting now.
        if (lineEnded || !waitedBefore)
            m_deadline->start();
        m_settle->start();
    }
    postDelivery();
}

void ReplyPump::endWaitingText()
{
    stopTimers();
    m_lines.endPartial();
    postDelivery();
}

void ReplyPump::stopTimers()
{
    m_settle->stop();
    m_deadline->stop();
}

void ReplyPump::postDelivery()
{
    if (m_deliveryPosted)
        return;
    m_deliveryPosted = true;
    QMetaObject::invokeMethod(this, &ReplyPump::deliverLines, Qt::QueuedConnection);
}

void ReplyPump::deliverLines()
{
    m_deliveryPosted = false;
    if (m_delivering)
        return; // the receiver that runs now is followed by the rest, in order
    m_delivering = true;
    const auto delivered = qScopeGuard([this] { m_delivering = false; });
    while (m_holds == 0 && m_lines.hasLine() && reading()) {
        const quint64 before = m_bytesTaken;
        emit lineReady();
        if (m_bytesTaken == before)
            break; // nobody took the line: it waits for the next takeLine()
    }
}
