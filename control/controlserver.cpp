// SPDX-License-Identifier: MIT
#include "controlserver.h"

#include "clientsession.h"

#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTcpServer>
#include <QTcpSocket>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

Q_LOGGING_CATEGORY(lcControl, "velquor.control", QtInfoMsg)

ControlServer::ControlServer(ControlTarget &target, QObject *parent)
    : QObject(parent), m_target(target)
{
    connect(&m_target, &ControlTarget::changed, this, &ControlServer::broadcast);
    connect(&m_target, &ControlTarget::lineEntry, this, &ControlServer::relayLineEntry);
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
    m_clients.append(new ClientSession(*this, socket));
}

void ControlServer::broadcast(const QByteArray &json)
{
    const QList<ClientSession *> clients = m_clients; // a client may be dropped meanwhile
    for (ClientSession *client : clients) {
        if (m_clients.contains(client) && client->isWatching())
            client->send(json);
    }
}

void ControlServer::relayLineEntry(const QByteArray &line)
{
    const QList<ClientSession *> clients = m_clients; // a client may be dropped meanwhile
    for (ClientSession *client : clients) {
        if (m_clients.contains(client) && client->isMonitoring())
            client->send(line);
    }
}

void ControlServer::forget(ClientSession *client)
{
    m_clients.removeOne(client);
}
