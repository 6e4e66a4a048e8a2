// SPDX-License-Identifier: MIT
#include "linelog.h"

#include "linewords.h"

QString LineEntry::directionText() const
{
    switch (direction) {
    case Direction::Out:
        return QStringLiteral("out");
    case Direction::In:
        return QStringLiteral("in");
    case Direction::Echo:
        return QStringLiteral("echo");
    }
    return {};
}

QString LineEntry::hex() const
{
    return QString::fromLatin1(bytes.toHex(' '));
}

QString LineEntry::words() const
{
    return direction == Direction::In ? linewords::reply(bytes) : linewords::frame(bytes);
}

QString LineEntry::text() const
{
    return QStringLiteral("%1\t%2\t%3\t%4").arg(ms).arg(directionText(), hex(), words());
}

LineLog::LineLog(QObject *parent) : QObject(parent) {}

void LineLog::portOpenChanged(bool open)
{
    if (!open) {
        emit closed();
        return;
    }
    m_sinceOpen.start();
    emit opened();
}

void LineLog::frameWritten(const QByteArray &frame, bool whileReplying)
{
    append({msSinceOpen(), whileReplying ? LineEntry::Direction::Echo : LineEntry::Direction::Out,
            frame});
}

void LineLog::replyRead(const QByteArray &line)
{
    append({msSinceOpen(), LineEntry::Direction::In, line});
}

void LineLog::append(const LineEntry &entry)
{
    if (size() >= capacity) {
        m_entries.pop_front();
        ++m_firstNumber;
    }
    m_entries.push_back(entry);
    emit added(m_entries.back());
}

void LineLog::clear()
{
    m_firstNumber = endNumber();
    m_entries.clear();
    emit cleared();
}
