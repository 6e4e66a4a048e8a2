// SPDX-License-Identifier: MIT
#include "monitorwindow.h"

#include "lineentrymodel.h"
#include "linehints.h"
#include "linelog.h"

#include <QAction>
#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

MonitorWindow::MonitorWindow(LineLog &log, LineHints &hints, QWidget *parent)
    : QWidget(parent, Qt::Window), m_log(log), m_hints(hints),
      m_model(new LineEntryModel(log, this)), m_follow(new QTimer(this))
{
    setWindowTitle(QStringLiteral("Line monitor"));
    setObjectName(QStringLiteral("lineMonitor"));
    resize(760, 420);
    createControls();
    connectControls();
    showHint(m_hints.hint());
    showCount();
}

void MonitorWindow::createControls()
{
    m_hint = new QLabel;
    m_hint->setObjectName(QStringLiteral("hint"));
    m_hint->setWordWrap(true);
    m_hint->setStyleSheet(QStringLiteral("background: #fff3c4; color: #5a4500; padding: 4px"));

    m_view = new QTableView;
    m_view->setModel(m_model);
    m_view->setAccessibleName(QStringLiteral("Frames and replies"));
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_view->setWordWrap(false);
    m_view->setShowGrid(false);
    m_view->verticalHeader()->hide();
    // Rows of one height and columns of set widths: a list of thousands of rows is not measured.
    m_view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_view->verticalHeader()->setDefaultSectionSize(m_view->fontMetrics().height() + 4);
    QHeaderView *columns = m_view->horizontalHeader();
    columns->setSectionResizeMode(QHeaderView::Interactive);
    columns->setStretchLastSection(true);
    columns->resizeSection(LineEntryModel::Time, 70);
    columns->resizeSection(LineEntryModel::Direction, 70);
    columns->resizeSection(LineEntryModel::Hex, 190);

    m_count = new QLabel;
    m_count->setObjectName(QStringLiteral("count"));
    m_pause = new QPushButton(QStringLiteral("&Pause"));
    m_pause->setCheckable(true);
    m_clear = new QPushButton(QStringLiteral("C&lear"));
    m_save = new QPushButton(QStringLiteral("&Save as text\u2026"));
    m_copy = new QPushButton(QStringLiteral("&Copy"));
    m_copy->setToolTip(QStringLiteral("Copy the selected lines (Ctrl+C)"));

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_count, 1);
    for (QPushButton *button : {m_pause, m_clear, m_save, m_copy}) {
        button->setAutoDefault(false);
        buttons->addWidget(button);
    }
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_hint);
    layout->addWidget(m_view, 1);
    layout->addLayout(buttons);
}

void MonitorWindow::connectControls()
{
    m_follow->setInterval(refreshMs);
    connect(m_follow, &QTimer::timeout, this, &MonitorWindow::follow);
    connect(&m_hints, &LineHints::hintChanged, this, &MonitorWindow::showHint);
    connect(&m_log, &LineLog::cleared, this, &MonitorWindow::showCount);
    connect(m_pause, &QPushButton::toggled, this, [this](bool paused) {
        m_pause->setText(paused ? QStringLiteral("&Go on") : QStringLiteral("&Pause"));
        m_model->setPaused(paused);
        showCount();
    });
    connect(m_clear, &QPushButton::clicked, &m_log, &LineLog::clear);
    connect(m_save, &QPushButton::clicked, this, &MonitorWindow::askAndSave);
    connect(m_copy, &QPushButton::clicked, this, &MonitorWindow::copySelection);

    auto *copy = new QAction(this);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(copy, &QAction::triggered, this, &MonitorWindow::copySelection);
    m_view->addAction(copy);
}

void MonitorWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    follow();
    m_follow->start();
}

void MonitorWindow::hideEvent(QHideEvent *event)
{
    m_follow->stop();
    QWidget::hideEvent(event);
}

void MonitorWindow::follow()
{
    // The list keeps to its last row while the operator has left it there.
    const QScrollBar *bar = m_view->verticalScrollBar();
    const bool atBottom = bar->value() == bar->maximum();
    const int before = m_model->rowCount();
    m_model->refresh();
    if (atBottom && m_model->rowCount() != before)
        m_view->scrollToBottom();
    showCount();
}

void MonitorWindow::showCount()
{
    const QLocale english(QLocale::English);
    QString text = QStringLiteral("%1 entries (the last %2 are kept)")
                       .arg(english.toString(m_model->rowCount()),
                            english.toString(qlonglong(LineLog::capacity)));
    if (m_model->isPaused())
        text += QStringLiteral("; paused, %1 more since").arg(m_model->unseen());
    if (!m_saveProblem.isEmpty())
        text += QStringLiteral("; not saved: ") + m_saveProblem;
    m_count->setText(text);
}

void MonitorWindow::showHint(const QString &hint)
{
    m_hint->setText(QStringLiteral("Hint: ") + hint);
    m_hint->setVisible(!hint.isEmpty());
}

void MonitorWindow::copySelection()
{
    QList<int> rows;
    for (const QModelIndex &index : m_view->selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    QStringList lines;
    for (int row : std::as_const(rows))
        lines.append(m_model->entry(row).text());
    if (!lines.isEmpty())
        QGuiApplication::clipboard()->setText(lines.join(QLatin1Char('\n')) + QLatin1Char('\n'));
}

bool MonitorWindow::saveAs(const QString &path, QString *why) const
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        for (int row = 0; row < m_model->rowCount(); ++row)
            file.write(m_model->entry(row).text().toUtf8() + '\n');
        if (file.commit())
            return true;
    }
    if (why)
        *why = file.errorString();
    return false;
}

void MonitorWindow::askAndSave()
{
    // Not modal: the panel's window and this one work on while the operator picks a file.
    auto *dialog = new QFileDialog(this, QStringLiteral("Save the line as text"), QDir::homePath(),
                                   QStringLiteral("Text (*.txt)"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::NonModal);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setDefaultSuffix(QStringLiteral("txt"));
    dialog->selectFile(
        QStringLiteral("velquor-line-%1.txt")
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"))));
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString &path) {
        QString why;
        m_saveProblem = saveAs(path, &why) ? QString() : why;
        showCount();
    });
    dialog->show();
}
