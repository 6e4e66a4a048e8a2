// SPDX-License-Identifier: MIT
#pragma once

// "Line monitor": a window of its own beside the panel's, listing every frame written and
// every reply line read (LineEntryModel over the LineLog), with the hint line on top and
// Pause, Clear, Save as text and Copy below. It never waits for the operator, so the panel's
// window works on while it is open, and it lists the line in batches, so it does not slow it.

#include <QWidget>

class LineEntryModel;
class LineHints;
class LineLog;
class QLabel;
class QPushButton;
class QTableView;
class QTimer;

class MonitorWindow : public QWidget
{
    Q_OBJECT

public:
    static constexpr int refreshMs = 100; // the list takes what came this often while shown

    MonitorWindow(LineLog &log, LineHints &hints, QWidget *parent = nullptr);

    LineEntryModel &model() const { return *m_model; }
    QTableView *view() const { return m_view; }
    QLabel *hintLine() const { return m_hint; }
    QPushButton *pauseButton() const { return m_pause; }
    QPushButton *clearButton() const { return m_clear; }
    QPushButton *saveButton() const { return m_save; }
    QPushButton *copyButton() const { return m_copy; }

    // The selected lines, as Save writes them, to the clipboard.
    void copySelection();
    // What the list shows, one line an entry, to path (UTF-8, written in one go). False, with
    // why, when it cannot be written.
    bool saveAs(const QString &path, QString *why) const;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void createControls();
    void connectControls();
    void showHint(const QString &hint);
    void askAndSave();
    void follow();
    void showCount();

    LineLog &m_log;
    LineHints &m_hints;
    LineEntryModel *m_model = nullptr;
    QTableView *m_view = nullptr;
    QLabel *m_hint = nullptr;
    QLabel *m_count = nullptr;
    QPushButton *m_pause = nullptr;
    QPushButton *m_clear = nullptr;
    QPushButton *m_save = nullptr;
    QPushButton *m_copy = nullptr;
    QTimer *m_follow = nullptr;
    QString m_saveProblem; // why the last Save failed, until the next one
};
