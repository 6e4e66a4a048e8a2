// SPDX-License-Identifier: MIT
#pragma once

// Brings the window's routes onto a preset's, one output at a time. For each output whose row
// shows another input, the recall selects the preset's input in that row, so that the row's
// own handler sends its Route frame; an output that shows it already sends nothing. After
// each frame it waits gap milliseconds before the next, and it looks at each row only when
// its turn comes, so a row that the device has brought onto the preset meanwhile is passed
// over.
//
// A new recall replaces the one running; cancel() ends it where it is (the window calls it
// for any route the operator or a remote command sets). It ends by itself when the window
// can no longer route: the port closed, the rows disabled.

#include "presetrules.h"

#include <QObject>

#include <functional>

class QTimer;

class PresetRecall : public QObject
{
    Q_OBJECT

public:
    // How the recall sees and changes the window.
    struct Window
    {
        std::function<int(int output)> shownRoute;        // 1..4, 0 none
        std::function<bool()> canRoute;                   // the port open, the rows enabled
        std::function<void(int output, int input)> route; // selects input in output's row
    };

    explicit PresetRecall(Window window, QObject *parent = nullptr);

    void start(const Routes &routes, int gapMs);
    void cancel();

private:
    void step();

    Window m_window;
    Routes m_routes{};
    int m_next = 0; // the output whose turn comes next, 0 when no recall runs
    QTimer *m_gap = nullptr;
};
