// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QString>

class QTimer;

// Tells systemd how the panel is doing, through the notify socket it names in NOTIFY_SOCKET
// (a unit of Type=notify): READY=1 once the settings are read and every surface listens,
// STATUS= with one line whenever that line changes, WATCHDOG=1 from the event loop at half
// of the watchdog's time (WATCHDOG_USEC), so that a loop that hangs is restarted, and
// STOPPING=1 at an orderly end. Without NOTIFY_SOCKET it sends nothing and runs no timer.
class ServiceNotifier : public QObject
{
    Q_OBJECT

public:
    explicit ServiceNotifier(QObject *parent = nullptr);

    bool isActive() const { return m_active; }
    void ready(const QString &status);
    // Sent only when it differs from the last.
    void setStatus(const QString &status);
    void stopping();

private:
    void send(const QByteArray &message);

    bool m_active = false;
    bool m_ready = false;
    QString m_status;
    QTimer *m_watchdog = nullptr;
};
