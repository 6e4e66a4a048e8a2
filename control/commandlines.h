// SPDX-License-Identifier: MIT
#pragma once

// Cuts what one client of the control socket sends into command lines. LF, CR and CR LF end a
// line; blank lines (nothing but blanks and tabs) are skipped. A line may hold maxLine bytes: one
// that runs longer is reported once, as soon as its byte maxLine + 1 arrives, and the rest of it up
// to the next line end is dropped, so a client never makes the panel keep more than maxLine bytes
// of an unfinished line.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

class CommandLines
{
public:
    static constexpr qsizetype maxLine = 256;

    struct Line
    {
        QByteArray text;      // without its line end; empty when tooLong
        bool tooLong = false; // the line ran past maxLine bytes
        bool operator==(const Line &) const = default;
    };

    void append(QByteArrayView bytes);
    bool hasLine() const { return !m_ready.isEmpty(); }
    Line takeLine() { return m_ready.takeFirst(); }
    // Bytes of the line that has no line end yet.
    qsizetype pending() const { return m_partial.size(); }

private:
    void endLine();

    QList<Line> m_ready;
    QByteArray m_partial;
    bool m_discarding = false; // inside a line that was reported too long
};
