// SPDX-License-Identifier: MIT
#include "servicenotifier.h"

#include <QTimer>

#ifdef VELQUOR_SYSTEMD
#include <systemd/sd-daemon.h>
#endif

#include <algorithm>
#include <cstdint>

namespace {

// A line end would end the STATUS= assignment and start another.
QByteArray oneLine(const QString &text)
{
    QByteArray line = text.toUtf8();
    line.replace('\n', ' ');
    return line;
}

} // namespace

ServiceNotifier::ServiceNotifier(QObject *parent) : QObject(parent)
{
#ifdef VELQUOR_SYSTEMD
    m_active = !qEnvironmentVariableIsEmpty("NOTIFY_SOCKET");
    std::uint64_t usec = 0;
    // Also checks WATCHDOG_PID: the watchdog may be meant for another process.
    if (!m_active || sd_watchdog_enabled(0, &usec) <= 0 || usec == 0)
        return;
    m_watchdog = new QTimer(this);
    // At least every millisecond, however short the time systemd gives.
    m_watchdog->setInterval(std::max<std::uint64_t>(usec / 2000, 1));
    m_watchdog->setTimerType(Qt::PreciseTimer);
    connect(m_watchdog, &QTimer::timeout, this, [this] { send("WATCHDOG=1"); });
    m_watchdog->start();
#endif
}

void ServiceNotifier::ready(const QString &status)
{
    m_ready = true;
    m_status = status;
    send("READY=1\nSTATUS=" + oneLine(status));
}

void ServiceNotifier::setStatus(const QString &status)
{
    if (!m_ready || status == m_status)
        return;
    m_status = status;
    send("STATUS=" + oneLine(status));
}

void ServiceNotifier::stopping()
{
    if (m_watchdog)
        m_watchdog->stop();
    send("STOPPING=1");
}

void ServiceNotifier::send(const QByteArray &message)
{
#ifdef VELQUOR_SYSTEMD
    if (m_active)
        sd_notify(0, message.constData());
#else
    Q_UNUSED(message);
#endif
}
