// SPDX-License-Identifier: MIT
#pragma once

// The monitor window's list: a copy of a LineLog's entries, taken in batches by refresh(), so
// that a flood on the line costs the view one insertion for each refresh rather than one for
// each entry, and bounded as the log is. While paused it keeps what it shows and takes
// nothing new; going on takes what the log still holds.

#include "linelog.h"

#include <QAbstractTableModel>

#include <algorithm>
#include <deque>

class LineEntryModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { Time, Direction, Hex, Meaning, ColumnCount };

    explicit LineEntryModel(LineLog &log, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    const LineEntry &entry(int row) const { return m_rows[size_t(row)]; }

    // Takes what came since the last time (nothing while paused).
    void refresh();

    void setPaused(bool paused);
    bool isPaused() const { return m_paused; }
    // Entries the log has that the list does not show yet.
    quint64 unseen() const { return m_log.endNumber() - std::max(m_next, m_log.firstNumber()); }

private:
    void onCleared();

    LineLog &m_log;
    std::deque<LineEntry> m_rows;
    quint64 m_next = 0; // the number of the first log entry not taken yet
    bool m_paused = false;
};
