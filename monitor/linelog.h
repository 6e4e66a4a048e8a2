// SPDX-License-Identifier: MIT
#pragma once

// The line monitor's record of the traffic on the serial line: every frame the panel wrote and
// every reply line it read, with the time since the port opened. It keeps the last `capacity`
// entries, so that a monitor left open for days holds the same memory as one opened a minute
// ago. Adding an entry does no more than store the bytes; the words are made when an entry is
// shown (linewords, protocol/).
//
// Fed from the serial-port service's frameWritten and replyRead (MSComm, shell/); read by the
// monitor window, by the control socket's "monitor" and by the hints (LineHints).

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <deque>

struct LineEntry
{
    enum class Direction {
        Out,  // a frame the panel wrote
        In,   // a reply line the panel read
        Echo, // a frame the window wrote in answer to the reply line before it (it follows the
              // device: a change made at the device reads as a reply and its echo)
    };

    qint64 ms = 0; // since the port opened
    Direction direction = Direction::Out;
    QByteArray bytes; // the frame, or the reply line without its line end

    // "out", "in" or "echo".
    QString directionText() const;
    // The bytes as hex pairs, "05 55 19 12 77".
    QString hex() const;
    // What the bytes mean (linewords).
    QString words() const;
    // One line of text: time, direction, hex and words, separated by tabs, without a line end.
    QString text() const;
};

class LineLog : public QObject
{
    Q_OBJECT

public:
    static constexpr qsizetype capacity = 10000;

    explicit LineLog(QObject *parent = nullptr);

    // The port has just opened (the clock starts again at 0) or closed.
    void portOpenChanged(bool open);
    void frameWritten(const QByteArray &frame, bool whileReplying);
    void replyRead(const QByteArray &line);
    // Appends an entry as it is (the time included); the oldest goes once capacity is reached.
    void append(const LineEntry &entry);
    void clear();

    qsizetype size() const { return qsizetype(m_entries.size()); }
    const LineEntry &at(qsizetype index) const { return m_entries[size_t(index)]; }
    // Entries are numbered from 0 in the order they came, over the life of the log: the
    // oldest kept has number firstNumber(), the next one to come endNumber().
    quint64 firstNumber() const { return m_firstNumber; }
    quint64 endNumber() const { return m_firstNumber + quint64(m_entries.size()); }
    const LineEntry &byNumber(quint64 number) const
    {
        return at(qsizetype(number - m_firstNumber));
    }

signals:
    void added(const LineEntry &entry);
    void opened();
    void closed();
    void cleared();

private:
    qint64 msSinceOpen() const { return m_sinceOpen.isValid() ? m_sinceOpen.elapsed() : 0; }

    std::deque<LineEntry> m_entries;
    quint64 m_firstNumber = 0;
    QElapsedTimer m_sinceOpen;
};
