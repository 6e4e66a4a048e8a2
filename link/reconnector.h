// SPDX-License-Identifier: MIT
#pragma once

#include <QElapsedTimer>
#include <QObject>

#include <functional>

class QTimer;

// After a lost link, tries the same port again until it opens: every second at first, every
// five seconds once half a minute has passed. Each try is one call of the attempt function
// (true: the port is open again and the retries end). Nothing else runs between tries, so
// the program stays idle meanwhile. The operator's own Connect, Disconnect or choice of port
// ends the retries (stop()).
class Reconnector : public QObject
{
    Q_OBJECT

public:
    static constexpr int fastIntervalMs = 1000;
    static constexpr int slowIntervalMs = 5000;
    static constexpr int fastPhaseMs = 30000;

    explicit Reconnector(std::function<bool()> attempt, QObject *parent = nullptr);

    bool isEnabled() const { return m_enabled; }
    // Off: start() does nothing.
    void setEnabled(bool enabled);

    void start();
    void stop();
    bool isRetrying() const;
    // The wait before the next try, as it is now.
    int currentInterval() const;

private:
    void tryNow();

    std::function<bool()> m_attempt;
    QTimer *m_timer = nullptr;
    QElapsedTimer m_since;
    bool m_enabled = false;
};
