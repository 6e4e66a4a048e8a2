// SPDX-License-Identifier: MIT
#include "clientoutput.h"

#include <QIODevice>

void ClientOutput::send(const QByteArray &line, Stream stream)
{
    if (stream == Stream::Log) {
        sendLog(line);
        return;
    }
    if (stream == Stream::State) {
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

void ClientOutput::sendLog(const QByteArray &line)
{
    QByteArray lines = line + '\n';
    if (m_logLeftOut > 0)
        lines.prepend("... " + QByteArray::number(m_logLeftOut) +
                      " entries left out: this client read too slowly\n");
    if (m_waitingLogBytes + lines.size() > window) {
        ++m_logLeftOut;
        return;
    }
    m_logLeftOut = 0;
    m_waiting.append({lines, Stream::Log});
    m_waitingBytes += lines.size();
    m_waitingLogBytes += lines.size();
    pump();
}

void ClientOutput::pump()
{
    while (!m_waiting.isEmpty() && !isFull()) {
        const Waiting next = m_waiting.takeFirst();
        m_waitingBytes -= next.line.size();
        if (next.stream == Stream::Log)
            m_waitingLogBytes -= next.line.size();
        m_socket.write(next.line);
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
