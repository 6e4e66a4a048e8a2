// SPDX-License-Identifier: MIT
#pragma once

// For the start-up benchmark's two windows: once the window's first frame has been painted
// and handed to the screen, prints "shown" on standard output and ends the program.

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <ctime>

// With VELQUOR_BENCH_SPAWNED_NS set (by bench_startup --phases: the CLOCK_MONOTONIC time of
// the spawn), prints how long after the spawn the program reached a step, on standard error.
inline void startupPhase(const char *step)
{
    static const char *spawned = std::getenv("VELQUOR_BENCH_SPAWNED_NS");
    if (!spawned)
        return;
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const double ns = double(now.tv_sec) * 1e9 + double(now.tv_nsec) - std::atof(spawned);
    std::fprintf(stderr, "  %-28s %7.1f ms\n", step, ns / 1e6);
}

class FirstFrame : public QObject
{
public:
    explicit FirstFrame(QObject *window) : QObject(window) { window->installEventFilter(this); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!m_seen && event->type() == QEvent::Paint) {
            m_seen = true;
            // Queued: runs once this paint, and the flush that follows it, are done.
            startupPhase("first paint");
            QTimer::singleShot(0, this, [] {
                startupPhase("first frame done");
                std::puts("shown");
                std::fflush(stdout);
                QCoreApplication::quit();
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_seen = false;
};
