// SPDX-License-Identifier: MIT
#include "commandlines.h"

void CommandLines::append(QByteArrayView bytes)
{
    for (const char c : bytes) {
        if (c == '\n' || c == '\r') {
            endLine();
        } else if (m_discarding) {
            continue;
        } else if (m_partial.size() == maxLine) {
            m_partial.clear();
            m_discarding = true;
            m_ready.append(Line{{}, true});
        } else {
            m_partial.append(c);
        }
    }
}

void CommandLines::endLine()
{
    if (!m_discarding && !m_partial.trimmed().isEmpty())
        m_ready.append(Line{m_partial, false});
    m_partial.clear();
    m_discarding = false;
}
