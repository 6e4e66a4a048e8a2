// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

// Cuts what arrives from the device into reply lines.
//
// The device ends every reply with CR LF and sends one reply after the other without a
// pause, and the line hands the program whatever has arrived: part of a reply, or several
// at once. Each complete line (ended by CR, LF or CR LF) is ready at once, without its line
// end and in arrival order; empty lines are skipped. Text after the last line end waits
// for the rest of its line, until the caller decides the line has gone quiet and ends it
// with endPartial(). How the bytes were cut into pieces never changes the lines: a CR at the
// end of one piece and an LF at the start of the next are one line end.
class ReplyLines
{
public:
    // True when the bytes held a line end: the text waiting afterwards is a new line's.
    bool append(QByteArrayView bytes);

    bool hasLine() const { return !m_lines.isEmpty(); }
    qsizetype lineCount() const { return m_lines.size(); }
    // The oldest ready line, or at most maxBytes of it (the rest stays first in line);
    // empty when no line is ready.
    QByteArray takeLine(qsizetype maxBytes = -1);

    // Text that has no line end yet.
    bool hasPartial() const { return !m_partial.isEmpty(); }
    const QByteArray &partial() const { return m_partial; }
    // The waiting text becomes a ready line of its own, as it stands.
    void endPartial() { endLine(); }

    void clear();

private:
    void endLine();

    QList<QByteArray> m_lines;
    QByteArray m_partial;
    bool m_afterCr = false; // the last byte was a CR: an LF now only completes its line end
};
