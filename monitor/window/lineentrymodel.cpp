// SPDX-License-Identifier: MIT
#include "lineentrymodel.h"

#include <QFontDatabase>

#include <algorithm>

LineEntryModel::LineEntryModel(LineLog &log, QObject *parent)
    : QAbstractTableModel(parent), m_log(log), m_next(log.firstNumber())
{
    connect(&m_log, &LineLog::cleared, this, &LineEntryModel::onCleared);
    refresh();
}

int LineEntryModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int LineEntryModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant LineEntryModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const LineEntry &e = entry(index.row());
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case Time:
            return e.ms;
        case Direction:
            return e.directionText();
        case Hex:
            return e.hex();
        case Meaning:
            return e.words();
        }
        break;
    case Qt::ToolTipRole:
        if (e.direction == LineEntry::Direction::Echo)
            return QStringLiteral("Written by the window in answer to the reply before it: the "
                                  "window follows what the device reports");
        break;
    case Qt::TextAlignmentRole:
        if (index.column() == Time)
            return QVariant(Qt::AlignRight | Qt::AlignVCenter);
        break;
    case Qt::FontRole:
        if (index.column() == Hex)
            return QFontDatabase::systemFont(QFontDatabase::FixedFont);
        break;
    }
    return {};
}

QVariant LineEntryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case Time:
        return QStringLiteral("ms");
    case Direction:
        return QStringLiteral("Direction");
    case Hex:
        return QStringLiteral("Hex");
    case Meaning:
        return QStringLiteral("Meaning");
    }
    return {};
}

void LineEntryModel::refresh()
{
    if (m_paused)
        return;
    const quint64 first = std::max(m_next, m_log.firstNumber());
    const quint64 end = m_log.endNumber();
    if (first >= end)
        return;
    const auto coming = qsizetype(end - first);
    const qsizetype capacity = LineLog::capacity;
    m_next = end;
    if (coming >= capacity) {
        beginResetModel();
        m_rows.clear();
        for (quint64 n = end - quint64(capacity); n < end; ++n)
            m_rows.push_back(m_log.byNumber(n));
        endResetModel();
        return;
    }
    if (const qsizetype over = qsizetype(m_rows.size()) + coming - capacity; over > 0) {
        beginRemoveRows({}, 0, int(over - 1));
        m_rows.erase(m_rows.begin(), m_rows.begin() + over);
        endRemoveRows();
    }
    const int from = int(m_rows.size());
    beginInsertRows({}, from, from + int(coming) - 1);
    for (quint64 n = first; n < end; ++n)
        m_rows.push_back(m_log.byNumber(n));
    endInsertRows();
}

void LineEntryModel::setPaused(bool paused)
{
    m_paused = paused;
    refresh();
}

void LineEntryModel::onCleared()
{
    beginResetModel();
    m_rows.clear();
    m_next = m_log.endNumber();
    endResetModel();
}
