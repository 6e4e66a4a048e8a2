// SPDX-License-Identifier: MIT
#include "replylines.h"

bool ReplyLines::append(QByteArrayView bytes)
{
    bool lineEnded = false;
    for (const char c : bytes) {
        const bool lineFeedOfCrLf = c == '\n' && m_afterCr;
        m_afterCr = c == '\r';
        if (lineFeedOfCrLf)
            continue;
        if (c == '\r' || c == '\n') {
            endLine();
            lineEnded = true;
        } else {
            m_partial.append(c);
        }
    }
    return lineEnded;
}

QByteArray ReplyLines::takeLine(qsizetype maxBytes)
{
    if (m_lines.isEmpty())
        return {};
    QByteArray &first = m_lines.first();
    if (maxBytes < 0 || maxBytes >= first.size())
        return m_lines.takeFirst();
    QByteArray head = first.first(maxBytes);
    first.remove(0, maxBytes);
    return head;
}

void ReplyLines::clear()
{
    m_lines.clear();
    m_partial.clear();
    m_afterCr = false;
}

void ReplyLines::endLine()
{
    if (m_partial.isEmpty())
        return;
    m_lines.append(m_partial);
    m_partial.clear();
}
