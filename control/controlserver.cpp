// SPDX-License-Identifier: MIT
#include "controlserver.h"

#include "clientsession.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <numeric>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

Q_LOGGING_CATEGORY(lcControl, "velquor.control", QtInfoMsg)

namespace {

ControlServer::Clock steadyClock()
{
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    return [started] { return started->elapsed(); };
}

} // namespace

ControlServer::ControlServer(ControlTarget &target, QObject *parent)
    : ControlServer(target, steadyClock(), parent)
{
}

ControlServer::ControlServer(ControlTarget &target, Clock clock, QObject *parent)
    : QObject(parent), m_target(target), m_clock(std::move(clock)), m_check(new QTimer(this))
{
    m_check->setInterval(checkMs);
    connect(m_check, &QTimer::timeout, this, &ControlServer::checkClients);
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
        ClientSession *idlest = longestIdle();
        if (!idlest) {
            refuse(socket);
            return;
        }
        qCInfo(lcControl) << "control client closed as idle to make room for a new one";
        idlest->close("error idle");
    }
    m_clients.append(new ClientSession(*this, socket));
    if (!m_check->isActive())
        m_check->start();
}

void ControlServer::refuse(QIODevice *socket)
{
    socket->write("error busy\n");
    if (auto *tcp = qobject_cast<QTcpSocket *>(socket)) {
        connect(tcp, &QTcpSocket::disconnected, tcp, &QObject::deleteLater);
        tcp->disconnectFromHost();
    } else if (auto *local = qobject_cast<QLocalSocket *>(socket)) {
        connect(local, &QLocalSocket::disconnected, local, &QObject::deleteLater);
        local->disconnectFromServer();
    }
}

ControlServer::ClientSession *ControlServer::longestIdle() const
{
    ClientSession *idlest = nullptr;
    for (ClientSession *client : m_clients) {
        if (client->mayBeIdle() && (!idlest || client->lastLineAt() < idlest->lastLineAt()))
            idlest = client;
    }
    return idlest;
}

void ControlServer::checkClients()
{
    const qint64 now = m_clock();
    const QList<ClientSession *> clients = m_clients; // closing one takes it off the list
    for (ClientSession *client : clients) {
        if (client->isStalled(now)) {
            client->drop();
        } else if (client->mayBeIdle() && now - client->lastLineAt() >= idleMs) {
            qCDebug(lcControl) << "control client closed: idle for" << idleMs / 1000 << "s";
            client->close("error idle");
        }
    }
}

qint64 ControlServer::queuedBytes() const
{
    return std::accumulate(
        m_clients.begin(), m_clients.end(), qint64(0),
        [](qint64 sum, const ClientSession *client) { return sum + client->queuedBytes(); });
}

void ControlServer::broadcast(const QByteArray &json)
{
    for (ClientSession *client : std::as_const(m_clients)) {
        if (client->isWatching())
            client->sendState(json);
    }
}

void ControlServer::relayLineEntry(const QByteArray &line)
{
    for (ClientSession *client : std::as_const(m_clients)) {
        if (client->isMonitoring())
            client->sendLogEntry(line);
    }
}

void ControlServer::forget(ClientSession *client)
{
    m_clients.removeOne(client);
    if (m_clients.isEmpty())
        m_check->stop();
}
