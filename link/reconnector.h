// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>

#include <functional>
#include <memory>

// The time the retries go by: the system's steady clock and a coarse timer, or a test's own.
class RetryClock
{
public:
    virtual ~RetryClock() = default;
    virtual qint64 nowMs() const = 0;
    // Runs then once, ms from now, in place of what was planned before; cancel() drops it.
    virtual void wakeIn(int ms, std::function<void()> then) = 0;
    virtual void cancel() = 0;
};

// After a lost link, tries the same port again until it opens: every second at first, every
// five seconds once half a minute has passed. Each try is one call of the attempt function,
// which reports how it went, at once or later (a network port takes a while): linkUp() ends
// the retries, tryFailed() plans the next. Nothing else runs between tries, so the program
// stays idle meanwhile, and no try starts while one is under way.
//
// The back-off lasts until a link has stayed up for stableMs: a server that accepts and drops
// each connection at once is tried every five seconds after the first half minute, not every
// second for ever. The operator's own Connect, Disconnect or choice of port ends the retries
// and the back-off (stop()).
class Reconnector : public QObject
{
    Q_OBJECT

public:
    static constexpr int fastIntervalMs = 1000;
    static constexpr int slowIntervalMs = 5000;
    static constexpr int fastPhaseMs = 30000;
    static constexpr int stableMs = 30000;

    explicit Reconnector(std::function<void()> attempt, QObject *parent = nullptr,
                         std::unique_ptr<RetryClock> clock = {});
    ~Reconnector() override;

    bool isEnabled() const { return m_enabled; }
    // Off: start() does nothing.
    void setEnabled(bool enabled);

    // The link is lost, or the port did not open at start-up: the tries begin, or go on with
    // the back-off of a link that came back only briefly.
    void start();
    void stop();
    // What the try under way came to.
    void linkUp();
    void tryFailed();

    bool isRetrying() const { return m_retrying; }
    // The wait before the next try, as it is now.
    int currentInterval() const;

private:
    void planNextTry();
    void tryNow();

    std::function<void()> m_attempt;
    std::unique_ptr<RetryClock> m_clock;
    qint64 m_backOffSince = -1; // the loss the back-off counts from; -1 none
    qint64 m_upSince = -1;      // when a try brought the link back; -1 not up by a try
    bool m_enabled = false;
    bool m_retrying = false;
    bool m_trying = false;
};
