// SPDX-License-Identifier: MIT
#include "reconnector.h"

#include <QTimer>

Reconnector::Reconnector(std::function<bool()> attempt, QObject *parent)
    : QObject(parent), m_attempt(std::move(attempt)), m_timer(new QTimer(this))
{
    m_timer->setSingleShot(true);
    // A coarse timer: the tries need no precision, and it lets the system bunch wake-ups.
    m_timer->setTimerType(Qt::CoarseTimer);
    connect(m_timer, &QTimer::timeout, this, &Reconnector::tryNow);
}

void Reconnector::setEnabled(bool enabled)
{
    m_enabled = enabled;
    if (!enabled)
        stop();
}

void Reconnector::start()
{
    if (!m_enabled)
        return;
    m_since.start();
    m_timer->start(fastIntervalMs);
}

void Reconnector::stop()
{
    m_timer->stop();
    m_since.invalidate();
}

bool Reconnector::isRetrying() const
{
    return m_since.isValid();
}

int Reconnector::currentInterval() const
{
    return m_since.isValid() && m_since.elapsed() >= fastPhaseMs ? slowIntervalMs : fastIntervalMs;
}

void Reconnector::tryNow()
{
    if (!m_since.isValid())
        return;
    if (m_attempt()) {
        stop();
        return;
    }
    // The attempt may have stopped the retries itself.
    if (m_since.isValid())
        m_timer->start(currentInterval());
}
