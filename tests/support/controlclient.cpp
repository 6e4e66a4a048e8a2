// SPDX-License-Identifier: MIT
#include "controlclient.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QTcpSocket>
#include <QTest>

ControlClient::ControlClient(quint16 port, int receiveBuffer)
{
    auto socket = std::make_unique<QTcpSocket>();
    if (receiveBuffer > 0) {
        // Qt would read everything into its own buffer otherwise, whether the test reads or not.
        socket->setReadBufferSize(receiveBuffer);
        socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, receiveBuffer);
    }
    socket->connectToHost(QHostAddress::LocalHost, port);
    m_socket = std::move(socket);
}

ControlClient::ControlClient(const QString &localPath)
{
    auto socket = std::make_unique<QLocalSocket>();
    socket->connectToServer(localPath);
    m_socket = std::move(socket);
}

ControlClient::~ControlClient() = default;

bool ControlClient::isConnected() const
{
    if (auto *tcp = qobject_cast<QTcpSocket *>(m_socket.get()))
        return tcp->state() == QAbstractSocket::ConnectedState;
    return static_cast<QLocalSocket *>(m_socket.get())->state() == QLocalSocket::ConnectedState;
}

bool ControlClient::waitForConnected(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!isConnected() && !deadline.hasExpired())
        QTest::qWait(5);
    return isConnected();
}

bool ControlClient::waitForDisconnected(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (isConnected() && !deadline.hasExpired())
        QTest::qWait(5);
    return !isConnected();
}

void ControlClient::send(const QByteArray &bytes)
{
    m_socket->write(bytes);
}

QByteArray ControlClient::ask(const QByteArray &line, int timeoutMs)
{
    send(line + '\n');
    return nextLine(timeoutMs).value_or(QByteArray());
}

std::optional<QByteArray> ControlClient::nextLine(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!m_socket->canReadLine()) {
        if (deadline.hasExpired())
            return std::nullopt;
        QTest::qWait(2);
    }
    return m_socket->readLine().chopped(1);
}

QList<QByteArray> ControlClient::takeLines()
{
    QList<QByteArray> lines;
    while (m_socket->canReadLine())
        lines.append(m_socket->readLine().chopped(1));
    return lines;
}

QList<QByteArray> ControlClient::linesUntilQuiet(int quietMs,
                                                 const std::function<void()> &meanwhile)
{
    QList<QByteArray> lines;
    QElapsedTimer quiet;
    quiet.start();
    while (quiet.elapsed() < quietMs && isConnected()) {
        if (meanwhile)
            meanwhile();
        if (const QList<QByteArray> more = takeLines(); !more.isEmpty()) {
            lines += more;
            quiet.restart();
        }
        QTest::qWait(2);
    }
    return lines;
}
