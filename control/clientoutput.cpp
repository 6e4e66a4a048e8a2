// SPDX-License-Identifier: MIT
#include "clientoutput.h"

#include <QIODevice>

void ClientOutput::send(const QByteArray &line, Stream stream)
{
    if (stream != Stream::Answer) {
        // The stream's older line, if it still waits, tells less than this one.
        for (qsizetype i = 0; i < m_waiting.size(); ++i) {
            if (m_waiting.at(i).stream == stream) {
                m_waitingBytes -= m_waiting.at(i).line.size();
                m_waiting.remove(i);
                break;
            }
        }
    }
    m_waiting.append({line + '\n', stream});
    m_waitingBytes += m_waiting.last().line.size();
    pump();
}

void ClientOutput::pump()
{
    while (!m_waiting.isEmpty() && !isFull()) {
        const QByteArray line = m_waiting.takeFirst().line;
        m_waitingBytes -= line.size();
        m_socket.write(line);
    }
}

bool ClientOutput::isFull() const
{
    return m_socket.bytesToWrite() >= window;
}

qint64 ClientOutput::queued() const
{
    return m_socket.bytesToWrite() + m_waitingBytes;
}
