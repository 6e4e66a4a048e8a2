// SPDX-License-Identifier: MIT
#include "presetrecall.h"

#include <QTimer>

PresetRecall::PresetRecall(Window window, QObject *parent)
    : QObject(parent), m_window(std::move(window)), m_gap(new QTimer(this))
{
    m_gap->setSingleShot(true);
    // A coarse timer may fire up to 5 % early, and the gap is a least.
    m_gap->setTimerType(Qt::PreciseTimer);
    connect(m_gap, &QTimer::timeout, this, &PresetRecall::step);
}

void PresetRecall::start(const Routes &routes, int gapMs)
{
    cancel();
    m_routes = routes;
    m_gap->setInterval(qBound(0, gapMs, presets::maxGap));
    m_next = 1;
    step();
}

void PresetRecall::cancel()
{
    m_gap->stop();
    m_next = 0;
}

void PresetRecall::step()
{
    while (m_next != 0 && m_next <= vocabulary::outputCount) {
        if (!m_window.canRoute()) {
            cancel();
            return;
        }
        const int output = m_next++;
        const int input = m_routes[vocabulary::outputIndex(output)];
        if (m_window.shownRoute(output) == input)
            continue;
        m_window.route(output, input);
        // The route may have ended this recall (a box, a new recall started from it).
        if (m_next != 0)
            m_gap->start();
        return;
    }
    m_next = 0;
}
