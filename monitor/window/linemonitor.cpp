// SPDX-License-Identifier: MIT
#include "linemonitor.h"

#include "form1.h"
#include "linehints.h"
#include "linelog.h"
#include "monitorwindow.h"
#include "mscomm.h"
#include "pagemenu.h"

#include <QAction>
#include <QMenu>

LineMonitor::LineMonitor(Form1 &form)
    : QObject(&form), m_form(form), m_log(new LineLog(this)), m_hints(new LineHints(*m_log, this))
{
    MSComm *comm = m_form.MSComm1;
    connect(comm, &MSComm::frameWritten, m_log, &LineLog::frameWritten);
    connect(comm, &MSComm::replyRead, m_log, &LineLog::replyRead);
    connect(comm, &MSComm::portOpenChanged, m_log, &LineLog::portOpenChanged);
    if (comm->PortOpen())
        m_log->portOpenChanged(true);

    m_open = new QAction(QStringLiteral("Line monitor\u2026"), this);
    m_open->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    m_open->setShortcutContext(Qt::WindowShortcut);
    m_form.addAction(m_open); // the shortcut works anywhere in the window
    connect(m_open, &QAction::triggered, this, &LineMonitor::open);
    m_form.switchPageMenu->addEntries([this](QMenu &menu) { menu.addAction(m_open); });
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
