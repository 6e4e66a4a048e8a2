// SPDX-License-Identifier: MIT
#include "controlserver.h"

#include "commandlines.h"
#include "controlcommand.h"

#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTcpServer>
#include <QTcpSocket>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#include <sys/stat.h>
#endif

Q_LOGGING_CATEGORY(lcControl, "velquor.control", QtInfoMsg)

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

ControlServer::ControlServer(ControlTarget &target, QObject *parent)
    : QObject(parent), m_target(target)
{
    connect(&m_target, &ControlTarget::changed, this, &ControlServer::broadcast);
}

ControlServer::~ControlServer() = default;

bool ControlServer::listen(const ListenAddress &address, QString *error)
{
    const auto fail = [&](const QString &why) {
        if (error)
            *error = QStringLiteral("cannot listen on %1: %2").arg(address.text(), why);
        return false;
    };

    if (address.kind == ListenAddress::Kind::Tcp) {
        m_tcp = new QTcpServer(this);
        if (!m_tcp->listen(address.host, address.port)) {
            const QString why = m_tcp->errorString();
            delete m_tcp;
            m_tcp = nullptr;
            return fail(why);
        }
        connect(m_tcp, &QTcpServer::newConnection, this, &ControlServer::acceptTcp);
        m_address = address;
        m_address.port = m_tcp->serverPort();
    } else {
        // A socket file of a panel that ended without removing it is replaced; anything else
        // at that path stays as it is.
#ifdef Q_OS_UNIX
        const QByteArray path = QFile::encodeName(address.path);
        struct stat status = {};
        if (::lstat(path.constData(), &status) == 0) {
            if (!S_ISSOCK(status.st_mode))
                return fail(QStringLiteral("the file exists and is not a socket"));
            QLocalSocket probe;
            probe.connectToServer(address.path);
            if (probe.waitForConnected(1000))
                return fail(QStringLiteral("another program listens there"));
            QLocalServer::removeServer(address.path);
        }
#endif
        m_local = new QLocalServer(this);
        // Bound in a private folder and moved into place: nobody else can connect meanwhile.
        m_local->setSocketOptions(QLocalServer::UserAccessOption);
        if (!m_local->listen(address.path)) {
            const QString why = m_local->errorString();
            delete m_local;
            m_local = nullptr;
            return fail(why);
        }
#ifdef Q_OS_UNIX
        ::chmod(path.constData(), S_IRUSR | S_IWUSR);
#endif
        connect(m_local, &QLocalServer::newConnection, this, &ControlServer::acceptLocal);
        m_address = address;
    }
    if (!m_address.isLoopback())
        qCWarning(lcControl).noquote()
            << "warning: the control socket on" << m_address.text()
            << "has no authentication: anyone who can reach it can switch the matrix";
    return true;
}

void ControlServer::acceptTcp()
{
    while (QTcpSocket *socket = m_tcp->nextPendingConnection())
        accept(socket);
}

void ControlServer::acceptLocal()
{
    while (QLocalSocket *socket = m_local->nextPendingConnection())
        accept(socket);
}

void ControlServer::accept(QIODevice *socket)
{
    if (m_clients.size() >= maxClients) {
        socket->write("error busy\n");
        if (auto *tcp = qobject_cast<QTcpSocket *>(socket)) {
            connect(tcp, &QTcpSocket::disconnected, tcp, &QObject::deleteLater);
            tcp->disconnectFromHost();
        } else if (auto *local = qobject_cast<QLocalSocket *>(socket)) {
            connect(local, &QLocalSocket::disconnected, local, &QObject::deleteLater);
            local->disconnectFromServer();
        }
        return;
    }
    m_clients.append(new Client(*this, socket));
}

void ControlServer::broadcast(const QByteArray &json)
{
    const QList<Client *> clients = m_clients; // a client may be dropped meanwhile
    for (Client *client : clients) {
        if (m_clients.contains(client) && client->isWatching())
            client->send(json);
    }
}

void ControlServer::forget(Client *client)
{
    m_clients.removeOne(client);
}
