// SPDX-License-Identifier: MIT
#pragma once

// The line monitor of one window: the record of the line its model keeps (LineLog) from the
// start, so that the monitor shows what happened before it was opened, and hints (LineHints); "Line
// monitor…" in the "Switch" page's context menu and on Ctrl+L; and the monitor window, made the
// first time it is opened and kept, hidden, when closed. Made after the window and before its
// start-up, which opens the port.

#include <QObject>
#include <QPointer>

class Form1;
class LineHints;
class LineLog;
class MonitorWindow;
class QAction;

class LineMonitor : public QObject
{
    Q_OBJECT

public:
    explicit LineMonitor(Form1 &form);
    ~LineMonitor() override;

    LineLog &log() const { return *m_log; }
    LineHints &hints() const { return *m_hints; }
    QAction *openAction() const { return m_open; }
    // nullptr until it has been opened.
    MonitorWindow *window() const;

    // Shows the monitor window, or brings it to the front.
    void open();

private:
    Form1 &m_form;
    LineLog *m_log = nullptr;
    LineHints *m_hints = nullptr;
    QAction *m_open = nullptr;
    QPointer<MonitorWindow> m_window;
};
