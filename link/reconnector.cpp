// SPDX-License-Identifier: MIT
#include "reconnector.h"

#include <QElapsedTimer>
#include <QTimer>

#include <utility>

namespace {

class SystemClock : public RetryClock
{
public:
    SystemClock()
    {
        m_clock.start();
        m_timer.setSingleShot(true);
        // A coarse timer: the tries need no precision, and it lets the system bunch wake-ups.
        m_timer.setTimerType(Qt::CoarseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] {
            if (m_then)
                std::exchange(m_then, {})();
        });
    }
    qint64 nowMs() const override { return m_clock.elapsed(); }
    void wakeIn(int ms, std::function<void()> then) override
    {
        m_then = std::move(then);
        m_timer.start(ms);
    }
    void cancel() override
    {
        m_timer.stop();
        m_then = {};
    }

private:
    QElapsedTimer m_clock;
    QTimer m_timer;
    std::function<void()> m_then;
};

} // namespace

Reconnector::Reconnector(std::function<void()> attempt, QObject *parent,
                         std::unique_ptr<RetryClock> clock)
    : QObject(parent), m_attempt(std::move(attempt)),
      m_clock(clock ? std::move(clock) : std::make_unique<SystemClock>())
{
}

Reconnector::~Reconnector() = default;

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
    const qint64 now = m_clock->nowMs();
    const bool stayedUp = m_upSince >= 0 && now - m_upSince >= stableMs;
    if (m_backOffSince < 0 || stayedUp)
        m_backOffSince = now;
    m_upSince = -1;
    m_retrying = true;
    m_trying = false;
    planNextTry();
}

void Reconnector::stop()
{
    m_clock->cancel();
    m_retrying = false;
    m_trying = false;
    m_backOffSince = -1;
    m_upSince = -1;
}

void Reconnector::linkUp()
{
    if (!m_retrying)
        return;
    m_clock->cancel();
    m_retrying = false;
    m_trying = false;
    m_upSince = m_clock->nowMs();
}

void Reconnector::tryFailed()
{
    if (!m_retrying || !m_trying)
        return;
    m_trying = false;
    planNextTry();
}

int Reconnector::currentInterval() const
{
    return m_backOffSince >= 0 && m_clock->nowMs() - m_backOffSince >= fastPhaseMs ? slowIntervalMs
                                                                                   : fastIntervalMs;
}

void Reconnector::planNextTry()
{
    m_clock->wakeIn(currentInterval(), [this] { tryNow(); });
}

void Reconnector::tryNow()
{
    if (!m_retrying || m_trying)
        return;
    m_trying = true;
    m_attempt();
}
