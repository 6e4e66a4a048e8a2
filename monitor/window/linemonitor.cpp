// SPDX-License-Identifier: MIT
#include "linemonitor.h"

#include "form1.h"
#include "linehints.h"
#include "linelog.h"
#include "monitorwindow.h"
#include "pagemenu.h"

#include <QAction>
#include <QMenu>

#include <utility>

LineMonitor::LineMonitor(Form1 &form)
    : QObject(&form), m_form(form), m_log(&form.model().lineLog()),
      m_hints(new LineHints(*m_log, this))
{
    // The log is the model's, which goes first when the window closes: what shows the log
    // goes before it.
    connect(&form.model(), &QObject::destroyed, this, [this] {
        delete m_window;
        delete std::exchange(m_hints, nullptr);
    });

    m_open = new QAction(QStringLiteral("Line monitor\u2026"), this);
    m_open->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    m_open->setShortcutContext(Qt::WindowShortcut);
    m_form.addAction(m_open); // the shortcut works anywhere in the window
    connect(m_open, &QAction::triggered, this, &LineMonitor::open);
    m_form.addSwitchPageEntries([this](QMenu &menu) { menu.addAction(m_open); });
}

LineMonitor::~LineMonitor()
{
    delete m_window; // before the log and hints it shows
}

MonitorWindow *LineMonitor::window() const
{
    return m_window;
}

void LineMonitor::open()
{
    if (!m_window)
        m_window = new MonitorWindow(*m_log, *m_hints, &m_form);
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}
