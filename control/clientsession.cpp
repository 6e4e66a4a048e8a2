// SPDX-License-Identifier: MIT
#include "clientsession.h"

#include "controlcommand.h"

#include <QLocalSocket>
#include <QTcpSocket>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#endif

ControlServer::ClientSession::ClientSession(ControlServer &server, QIODevice *socket)
    : QObject(&server), m_server(server), m_socket(socket)
{
    socket->setParent(this);
    if (auto *tcp = qobject_cast<QTcpSocket *>(socket)) {
        tcp->setReadBufferSize(readBuffer);
        tcp->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        tcp->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, int(sendBuffer));
        connect(tcp, &QTcpSocket::disconnected, this, &ClientSession::onDisconnected);
    } else if (auto *local = qobject_cast<QLocalSocket *>(socket)) {
        local->setReadBufferSize(readBuffer);
#ifdef Q_OS_UNIX
        const int size = int(sendBuffer);
        ::setsockopt(int(local->socketDescriptor()), SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
#endif
        connect(local, &QLocalSocket::disconnected, this, &ClientSession::onDisconnected);
    }
    connect(socket, &QIODevice::readyRead, this, &ClientSession::serve);
}

void ControlServer::ClientSession::send(const QByteArray &line)
{
    if (m_closing)
        return;
    m_socket->write(line + '\n');
    if (m_socket->bytesToWrite() > maxQueued)
        drop();
}

void ControlServer::ClientSession::serve()
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
            QMetaObject::invokeMethod(this, &ClientSession::serve, Qt::QueuedConnection);
        }
    } else if (m_closing) {
        finish();
    }
}

void ControlServer::ClientSession::handle(const CommandLines::Line &line)
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
    case ControlCommand::Action::Monitor:
        m_monitoring = true;
        send("ok");
        break;
    case ControlCommand::Action::Help:
        send("ok " + controlCommandSummary());
        break;
    default:
        send(m_server.m_target.execute(parsed.command));
    }
}

void ControlServer::ClientSession::onDisconnected()
{
    m_closing = true;
    if (!m_turnPosted)
        serve();
}

void ControlServer::ClientSession::drop()
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

void ControlServer::ClientSession::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    m_server.forget(this);
    deleteLater();
}
