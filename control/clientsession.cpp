// SPDX-License-Identifier: MIT
#include "clientsession.h"

#include "controlcommand.h"

#include <QLocalSocket>
#include <QTcpSocket>
#include <QTimer>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#endif

namespace {

// How long a closed client has to take its last line before the connection is cut.
constexpr int farewellMs = 5000;

} // namespace

ControlServer::ClientSession::ClientSession(ControlServer &server, QIODevice *socket)
    : QObject(&server), m_server(server), m_socket(socket), m_output(*socket),
      m_lastLineAt(server.m_clock()), m_progressAt(m_lastLineAt)
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
    connect(socket, &QIODevice::bytesWritten, this, &ClientSession::onBytesWritten);
}

bool ControlServer::ClientSession::isStalled(qint64 now) const
{
    return !m_ended && m_output.queued() > 0 && now - m_progressAt >= stallMs;
}

void ControlServer::ClientSession::send(const QByteArray &line, ClientOutput::Stream stream)
{
    if (m_peerGone || m_ended)
        return;
    if (m_output.queued() == 0)
        m_progressAt = m_server.m_clock();
    m_output.send(line, stream);
}

void ControlServer::ClientSession::onBytesWritten()
{
    if (m_ended)
        return;
    m_progressAt = m_server.m_clock();
    m_output.pump();
    if (!m_output.isFull() && hasInput())
        serveLater(); // commands that waited for the client to read its answers
}

bool ControlServer::ClientSession::hasInput() const
{
    return m_lines.hasLine() || m_socket->bytesAvailable() > 0;
}

void ControlServer::ClientSession::serveLater()
{
    if (m_turnPosted)
        return;
    m_turnPosted = true;
    QMetaObject::invokeMethod(this, &ClientSession::serve, Qt::QueuedConnection);
}

void ControlServer::ClientSession::serve()
{
    m_turnPosted = false;
    // While the client leaves a window of answers unread, its commands wait in its socket,
    // and then in the system's, until it reads: its own writes wait meanwhile. A client that
    // went away has nothing to read; what it sent is carried out all the same.
    const auto mayServe = [this] { return !m_ended && (m_peerGone || !m_output.isFull()); };
    int budget = linesPerTurn;
    while (budget > 0 && mayServe()) {
        if (!m_lines.hasLine()) {
            if (m_socket->bytesAvailable() <= 0)
                break;
            m_lines.append(m_socket->read(readBuffer));
            continue;
        }
        m_lastLineAt = m_server.m_clock();
        handle(m_lines.takeLine());
        --budget;
    }
    if (m_ended)
        return;
    if (!hasInput()) {
        if (m_peerGone)
            finish();
    } else if (mayServe()) {
        serveLater(); // the window and the other clients get their turn first
    }
}

void ControlServer::ClientSession::handle(const CommandLines::Line &line)
{
    if (line.tooLong) {
        send("error line too long (more than " + QByteArray::number(CommandLines::maxLine) +
             " bytes)");
        return;
    }
    auto follow = ControlCommand::Action::Help;
    const ControlAnswer answer = runCommandLine(m_server.m_target, line.text, &follow);
    m_watching = m_watching || follow == ControlCommand::Action::Watch;
    m_monitoring = m_monitoring || follow == ControlCommand::Action::Monitor;
    send(answer.line());
}

void ControlServer::ClientSession::onDisconnected()
{
    if (m_ended) {
        deleteLater(); // the last line went out
        return;
    }
    m_peerGone = true;
    if (!m_turnPosted)
        serve();
}

void ControlServer::ClientSession::close(const QByteArray &farewell)
{
    m_ended = true;
    m_server.forget(this);
    // The last line goes out past the window: it is short, and nothing follows it.
    m_socket->write(farewell + '\n');
    m_socket->close(); // the connection ends once the socket has handed over what it holds
    QTimer::singleShot(farewellMs, this, &QObject::deleteLater);
}

void ControlServer::ClientSession::drop()
{
    qCWarning(lcControl).noquote()
        << "control client dropped: it has taken none of its output for" << stallMs / 1000 << "s";
    m_ended = true;
    emit m_server.clientDropped();
    finish(); // the connection is cut with the session
}

void ControlServer::ClientSession::finish()
{
    m_server.forget(this);
    deleteLater();
}
