// SPDX-License-Identifier: MIT
#pragma once

#include "commandlines.h"
#include "controlcommand.h"
#include "controlserver.h"

#include <QLocalSocket>
#include <QTcpSocket>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#endif

// One connected program: its socket, the command lines it sent, and whether it watches.
class ControlServer::Client : public QObject
{
public:
    Client(ControlServer &server, QIODevice *socket)
        : QObject(&server), m_server(server), m_socket(socket)
    {
        socket->setParent(this);
        if (auto *tcp = qobject_cast<QTcpSocket *>(socket)) {
            tcp->setReadBufferSize(readBuffer);
            tcp->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            tcp->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, int(sendBuffer));
            connect(tcp, &QTcpSocket::disconnected, this, &Client::onDisconnected);
        } else if (auto *local = qobject_cast<QLocalSocket *>(socket)) {
            local->setReadBufferSize(readBuffer);
#ifdef Q_OS_UNIX
            const int size = int(sendBuffer);
            ::setsockopt(int(local->socketDescriptor()), SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
#endif
            connect(local, &QLocalSocket::disconnected, this, &Client::onDisconnected);
        }
        connect(socket, &QIODevice::readyRead, this, &Client::serve);
    }

    bool isWatching() const
    {
        return m_watching && !m_closing;
    }

    // Queues one line for the client; drops the client once too much waits unread.
    void send(const QByteArray &line)
    {
        if (m_closing)
            return;
        m_socket->write(line + '\n');
        if (m_socket->bytesToWrite() > maxQueued)
            drop();
    }

    // Carries out what the client sent, a few lines at a time.
    void serve()
    {
        m_turnPosted = false;
        int budget = linesPerTurn;
        while (budget > 0 && !m_dropped) {
            if (!m_lines.hasLine()) {
                if (m_socket->bytesAvailable() <= 0)
                    break;
                m_lines.append(m_socket->read(readBuffer));
                continue;
            }
            handle(m_lines.takeLine());
            --budget;
        }
        if (m_dropped)
            return;
        if (m_lines.hasLine() || m_socket->bytesAvailable() > 0) {
            // More waits: the window and the other clients get their turn first.
            if (!m_turnPosted) {
                m_turnPosted = true;
                QMetaObject::invokeMethod(this, &Client::serve, Qt::QueuedConnection);
            }
        } else if (m_closing) {
            finish();
        }
    }

private:
    void handle(const CommandLines::Line &line)
    {
        if (line.tooLong) {
            send("error line too long (more than " + QByteArray::number(CommandLines::maxLine) +
                 " bytes)");
            return;
        }
        const ParsedControlCommand parsed = parseControlCommand(line.text);
        if (!parsed.ok) {
            send("error " + parsed.error);
            return;
        }
        switch (parsed.command.action) {
        case ControlCommand::Action::Watch:
            m_watching = true;
            send("ok");
            break;
        case ControlCommand::Action::Help:
            send("ok " + controlCommandSummary());
            break;
        default:
            send(m_server.m_target.execute(parsed.command));
        }
    }

    // The client went away: what it sent before is still carried out, in order.
    void onDisconnected()
    {
        m_closing = true;
        if (!m_turnPosted)
            serve();
    }

    void drop()
    {
        m_dropped = true;
        m_closing = true;
        qCWarning(lcControl).noquote()
            << "control client dropped: more than" << maxQueued / 1024 << "KiB of answers unread";
        emit m_server.clientDropped();
        finish();
        if (auto *tcp = qobject_cast<QTcpSocket *>(m_socket))
            tcp->abort();
        else if (auto *local = qobject_cast<QLocalSocket *>(m_socket))
            local->abort();
    }

    void finish()
    {
        if (m_finished)
            return;
        m_finished = true;
        m_server.forget(this);
        deleteLater();
    }

    ControlServer &m_server;
    QIODevice *m_socket = nullptr;
    CommandLines m_lines;
    bool m_watching = false;
    bool m_closing = false;
    bool m_dropped = false;
    bool m_turnPosted = false;
    bool m_finished = false;
};
