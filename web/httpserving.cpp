// SPDX-License-Identifier: MIT
#include "httpserving.h"

#include <QAbstractHttpServer>
#include <QElapsedTimer>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QTcpServer>
#include <QTimer>
#include <QUrlQuery>
#include <QWebSocket>

#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
#include <QHttpHeaders>
#endif
#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
#include <QHttpServerWebSocketUpgradeResponse>
#endif

namespace {

// Qt HttpServer keeps all of a request until its end before the handler sees it, however
// large: a connection that has sent more than this in requests is cut, so that a visitor
// cannot fill the memory with one endless request. A browser's requests for the page take a
// few kilobytes; once the connection has become a WebSocket, Qt WebSockets bounds its messages
// itself and the count stops.
constexpr qint64 maxRequestStream = 1024 * 1024;
// The request line and headers looked at before Qt HttpServer parses them; a longer head is
// left to it (and gets 413 from the page's server).
constexpr qsizetype maxHead = 16 * 1024;
// What a page's socket reads from the system at a time: a whole message of Qt WebSockets' size
// and its frame's header. What one read makes the panel answer (pongs) is bounded so too.
constexpr qint64 webSocketReadBuffer = 128 * 1024;
// How long a refused connection has to take its answer before it is cut.
constexpr int refusedCloseMs = 1000;

QByteArray headerValue(const QHttpServerRequest &request, QByteArrayView name)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    return request.headers().value(name).toByteArray();
#else
    return request.value(name.toByteArray());
#endif
}

qsizetype requestSize(const QHttpServerRequest &request)
{
    // "METHOD PATH HTTP/1.1\r\n", each "Name: value\r\n", the blank line, the body.
    qsizetype size =
        request.url().toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority).size() + 20;
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    const QHttpHeaders headers = request.headers();
    for (qsizetype i = 0; i < headers.size(); ++i)
        size += headers.nameAt(i).size() + headers.valueAt(i).size() + 4;
#else
    for (const auto &[name, value] : request.headers())
        size += name.size() + value.size() + 4;
#endif
    return size + 2 + request.body().size();
}

#if QT_VERSION < QT_VERSION_CHECK(6, 8, 0)
// Before 6.8 an upgrade goes through when the handler takes the request (returns true) and
// writes nothing itself; one it declines is cut.
bool isWebSocketUpgrade(const QHttpServerRequest &request)
{
    return headerValue(request, "upgrade").compare("websocket", Qt::CaseInsensitive) == 0;
}
bool upgradeAccepted(const QHttpServerRequest &request)
{
    return request.url().path() == QLatin1String("/ws");
}
#endif

void setKey(WebRequest &web, const QUrl &url)
{
    const QUrlQuery query(url);
    web.path = url.path();
    web.hasKey = query.hasQueryItem(QStringLiteral("key"));
    if (web.hasKey)
        web.key = query.queryItemValue(QStringLiteral("key"), QUrl::FullyDecoded).toUtf8();
}

WebRequest webRequest(const QHttpServerRequest &request)
{
    WebRequest web;
    web.get = request.method() == QHttpServerRequest::Method::Get ||
              request.method() == QHttpServerRequest::Method::Head;
    web.head = request.method() == QHttpServerRequest::Method::Head;
    setKey(web, request.url());
    web.cookie = headerValue(request, "cookie");
    web.host = headerValue(request, "host");
    web.origin = headerValue(request, "origin");
    web.size = requestSize(request);
    return web;
}

void answer(QHttpServerResponder &responder, const WebReply &reply, bool head)
{
    const auto status = QHttpServerResponder::StatusCode(reply.status);
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    QHttpHeaders headers;
    headers.append(QHttpHeaders::WellKnownHeader::ContentType, reply.contentType);
    for (const auto &[name, value] : reply.headers)
        headers.append(name, value);
    if (head) {
        headers.append(QHttpHeaders::WellKnownHeader::ContentLength,
                       QByteArray::number(reply.body.size()));
        responder.writeStatusLine(status);
        responder.writeHeaders(headers);
        responder.writeBody(QByteArray());
        return;
    }
    responder.write(reply.body, headers, status);
#else
    responder.writeStatusLine(status);
    responder.writeHeader("Content-Type", reply.contentType);
    responder.writeHeader("Content-Length", QByteArray::number(reply.body.size()));
    for (const auto &[name, value] : reply.headers)
        responder.writeHeader(name, value);
    responder.writeBody(head ? QByteArray() : reply.body);
#endif
}

QByteArray statusText(int status)
{
    switch (status) {
    case 403:
        return "Forbidden";
    case 501:
        return "Not Implemented";
    case 503:
        return "Service Unavailable";
    default:
        return "Error";
    }
}

// The request's line and headers as they came: "GET /ws?key=… HTTP/1.1", then "Name: value"
// lines. Header names are compared without case; a name given twice keeps its first value.
struct RequestHead
{
    QByteArray method;
    QByteArray target;
    QByteArray version;
    QList<QPair<QByteArray, QByteArray>> headers;

    QByteArray value(QByteArrayView name) const
    {
        for (const auto &[key, text] : headers) {
            if (key.compare(name, Qt::CaseInsensitive) == 0)
                return text;
        }
        return {};
    }
    // A comma-separated header (Connection) holds token, without regard to case.
    bool lists(QByteArrayView name, QByteArrayView token) const
    {
        for (const QByteArray &part : value(name).split(',')) {
            if (part.trimmed().compare(token, Qt::CaseInsensitive) == 0)
                return true;
        }
        return false;
    }
};

RequestHead parseHead(QByteArrayView text)
{
    RequestHead head;
    const QList<QByteArray> lines = text.toByteArray().split('\n');
    const QList<QByteArray> words = lines.value(0).trimmed().split(' ');
    if (words.size() == 3) {
        head.method = words[0];
        head.target = words[1];
        head.version = words[2];
    }
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon > 0)
            head.headers.append(
                {lines[i].left(colon).trimmed(), lines[i].mid(colon + 1).trimmed()});
    }
    return head;
}

} // namespace

// One connection as long as it is open: where it stands, since when, and what its request has
// shown of itself so far.
struct HttpServing::Connection
{
    enum class Phase {
        Waiting,   // for the first byte of a request: evicted first when the place is needed
        Request,   // a request is coming or being answered
        Upgrading, // its WebSocket upgrade was let through to Qt
        WebSocket, // a page's socket
        Closing,   // refused or told to close: it goes once its answer is out
    };

    QTcpSocket *socket = nullptr;
    QTimer *deadline = nullptr;
    Phase phase = Phase::Waiting;
    qint64 waitingSince = 0; // ms since the program started, for the eviction order
    qint64 received = 0;     // bytes of requests, all of this connection's
    QByteArray head;         // the request's line and headers as they come
    bool headDone = false;
    bool closeAfter = false; // HTTP/1.0, or "Connection: close": close once answered
};

namespace {
QElapsedTimer &sinceStart()
{
    static QElapsedTimer timer = [] {
        QElapsedTimer started;
        started.start();
        return started;
    }();
    return timer;
}
} // namespace

// Each connection sends its small messages at once: a state push or an answer waits for no
// acknowledgement of the one before (Nagle's algorithm against the browser's delayed ACK
// would hold it up to 40 ms). A connection past the bound is answered 503 at once and never
// reaches Qt HttpServer.
class HttpServing::Listener : public QTcpServer
{
public:
    explicit Listener(HttpServing &owner) : m_owner(owner) {}

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto *socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        if (!m_owner.admit()) {
            connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
            m_owner.refuse(socket, {503,
                                    "text/plain; charset=utf-8",
                                    "too many connections to the panel; try again\n",
                                    {{"Retry-After", "2"}}});
            m_owner.countRefusal("too many connections");
            return;
        }
        // Tracked before the server's own handler connects, so that what comes is seen first.
        m_owner.track(socket);
        addPendingConnection(socket);
    }

private:
    HttpServing &m_owner;
};

class HttpServing::Server : public QAbstractHttpServer
{
public:
    Server(Handler handler, const HttpServing &owner)
        : m_handler(std::move(handler)), m_owner(owner)
    {
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
        // From 6.8 an upgrade goes through only when a verifier lets it; the connection layer
        // has judged it already, and the page's server checks the socket again.
        addWebSocketUpgradeVerifier(this, [](const QHttpServerRequest &request) {
            return request.url().path() == QLatin1String("/ws")
                       ? QHttpServerWebSocketUpgradeResponse::accept()
                       : QHttpServerWebSocketUpgradeResponse::passToNext();
        });
#endif
    }

protected:
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
    bool handleRequest(const QHttpServerRequest &request, QHttpServerResponder &responder) override
    {
#if QT_VERSION < QT_VERSION_CHECK(6, 8, 0)
        if (isWebSocketUpgrade(request))
            return upgradeAccepted(request);
#endif
        respond(request, responder, peerConnection(request));
        return true;
    }
    void missingHandler(const QHttpServerRequest &, QHttpServerResponder &) override {}
#else
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override
    {
        if (isWebSocketUpgrade(request))
            return upgradeAccepted(request);
        QHttpServerResponder responder = makeResponder(request, socket);
        respond(request, responder, m_owner.connectionOf(socket));
        return true;
    }
    void missingHandler(const QHttpServerRequest &, QTcpSocket *) override {}
#endif

private:
    void respond(const QHttpServerRequest &request, QHttpServerResponder &responder,
                 const Connection *connection)
    {
        const WebRequest web = webRequest(request);
        WebReply reply = m_handler(web);
        if (connection && connection->closeAfter)
            reply.headers.append(qMakePair(QByteArray("Connection"), QByteArray("close")));
        answer(responder, reply, web.head);
    }
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
    const Connection *peerConnection(const QHttpServerRequest &request) const
    {
        for (const auto &connection : m_owner.m_connections) {
            if (connection->socket->peerPort() == request.remotePort() &&
                connection->socket->peerAddress() == request.remoteAddress())
                return connection.get();
        }
        return nullptr;
    }
#endif

    Handler m_handler;
    const HttpServing &m_owner;
};

HttpServing::HttpServing(Handler handler, Handler upgradeCheck, QObject *parent)
    : QObject(parent), m_upgradeCheck(std::move(upgradeCheck)),
      m_server(std::make_unique<Server>(std::move(handler), *this)), m_noteTimer(new QTimer(this))
{
    m_noteTimer->setSingleShot(true);
    connect(m_noteTimer, &QTimer::timeout, this, &HttpServing::noteRefusals);
    connect(m_server.get(), &QAbstractHttpServer::newWebSocketConnection, this,
            &HttpServing::adoptWebSockets);
}

HttpServing::~HttpServing()
{
    // The sockets go with the server; they tell nothing to this any more.
    for (const auto &connection : std::as_const(m_connections)) {
        connection->socket->disconnect(this);
        connection->deadline->disconnect(this);
    }
}

bool HttpServing::listen(const QHostAddress &address, quint16 port, QString *error)
{
#ifdef Q_OS_UNIX
    // Well below the descriptors the process may have, wherever the system sets them low.
    rlimit descriptors{};
    if (::getrlimit(RLIMIT_NOFILE, &descriptors) == 0 && descriptors.rlim_cur != RLIM_INFINITY)
        m_limits.maxConnections =
            int(qMin(rlim_t(m_limits.maxConnections), descriptors.rlim_cur / 4));
#endif
    auto tcp = std::make_unique<Listener>(*this);
    if (!tcp->listen(address, port)) {
        *error = tcp->errorString();
        return false;
    }
    m_tcp = tcp.get();
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    if (!m_server->bind(tcp.get())) {
        *error = QStringLiteral("the web server cannot take the socket");
        m_tcp = nullptr;
        return false;
    }
#else
    m_server->bind(tcp.get());
#endif
    tcp.release()->setParent(m_server.get());
    return true;
}

quint16 HttpServing::port() const
{
    return m_tcp ? m_tcp->serverPort() : 0;
}

bool HttpServing::admit()
{
    if (m_connections.size() < m_limits.maxConnections)
        return true;
    const Connection *oldest = nullptr;
    for (const auto &connection : std::as_const(m_connections)) {
        if (connection->phase == Connection::Phase::Waiting &&
            (!oldest || connection->waitingSince < oldest->waitingSince))
            oldest = connection.get();
    }
    if (!oldest)
        return false;
    drop(oldest->socket, "closed to make room: idle longest");
    return true;
}

void HttpServing::track(QTcpSocket *socket)
{
    auto connection = std::make_shared<Connection>();
    connection->socket = socket;
    connection->deadline = new QTimer(socket);
    connection->deadline->setSingleShot(true);
    m_connections.insert(socket, connection);
    // Looked up each time: a connection dropped is gone from the table before its socket.
    connect(connection->deadline, &QTimer::timeout, this, [this, socket] {
        if (const Connection *c = connectionOf(socket))
            drop(socket, c->phase == Connection::Phase::Waiting && c->received > 0
                             ? "closed: no next request in time"
                             : "closed: request not complete in time");
    });
    connect(socket, &QIODevice::readyRead, this, [this, socket] {
        if (Connection *c = connectionOf(socket))
            received(*c);
    });
    connect(socket, &QIODevice::bytesWritten, this, [this, socket] {
        if (Connection *c = connectionOf(socket))
            written(*c);
    });
    // Told by the deadline, a child of the socket: Qt HttpServer and Qt WebSockets may take
    // every connection off the socket itself.
    connect(connection->deadline, &QObject::destroyed, this,
            [this, socket] { m_connections.remove(socket); });
    wait(*connection, m_limits.requestTimeoutMs);
}

void HttpServing::wait(Connection &connection, int ms)
{
    connection.phase = Connection::Phase::Waiting;
    connection.waitingSince = sinceStart().elapsed();
    connection.head.clear();
    connection.headDone = false;
    connection.closeAfter = false;
    connection.deadline->start(ms);
}

void HttpServing::received(Connection &connection)
{
    QTcpSocket *socket = connection.socket;
    const qint64 available = socket->bytesAvailable();
    connection.received += available;
    if (connection.received > maxRequestStream) {
        drop(socket, "cut: more than 1 MiB of requests");
        return;
    }
    if (connection.phase == Connection::Phase::Waiting) {
        // A new connection's time runs from its start; a kept-alive one's from the first byte.
        if (connection.received > available)
            connection.deadline->start(m_limits.requestTimeoutMs);
        connection.phase = Connection::Phase::Request;
    }
    if (connection.phase != Connection::Phase::Request || connection.headDone)
        return;
    connection.head += socket->peek(qMin(available, maxHead - connection.head.size()));
    const qsizetype end = connection.head.indexOf("\r\n\r\n");
    if (end < 0) {
        connection.headDone = connection.head.size() >= maxHead;
        return;
    }
    connection.headDone = true;
    connection.head.truncate(end);
    readHead(connection);
}

void HttpServing::readHead(Connection &connection)
{
    const RequestHead head = parseHead(connection.head);
    connection.closeAfter = head.version != "HTTP/1.1" || head.lists("connection", "close");
    if (!head.lists("connection", "upgrade") || head.value("upgrade").isEmpty())
        return;
    if (head.value("upgrade").compare("websocket", Qt::CaseInsensitive) != 0) {
        refuse(connection.socket,
               {501, "text/plain; charset=utf-8", "no upgrade but to a WebSocket\n", {}});
        countRefusal("upgrade to another protocol");
        return;
    }
    WebRequest web;
    web.get = head.method == "GET";
    setKey(web, QUrl(QString::fromLatin1(head.target)));
    web.cookie = head.value("cookie");
    web.host = head.value("host");
    web.origin = head.value("origin");
    web.size = connection.head.size() + 4;
    const WebReply reply = m_upgradeCheck(web);
    if (reply.status == 101) {
        connection.phase = Connection::Phase::Upgrading; // the deadline still runs
        return;
    }
    refuse(connection.socket, reply);
    countRefusal(reply.body.trimmed());
}

void HttpServing::written(Connection &connection)
{
    if (connection.phase != Connection::Phase::Request || connection.socket->bytesToWrite() > 0)
        return;
    if (connection.closeAfter) {
        connection.phase = Connection::Phase::Closing;
        connection.socket->disconnectFromHost();
        return;
    }
    wait(connection, m_limits.idleTimeoutMs);
}

void HttpServing::refuse(QTcpSocket *socket, const WebReply &reply)
{
    if (Connection *connection = connectionOf(socket)) {
        connection->phase = Connection::Phase::Closing;
        connection->deadline->stop();
    }
    // Qt HttpServer sees nothing more of it, so that it neither upgrades nor answers it too.
    disconnect(socket, &QIODevice::readyRead, m_server.get(), nullptr);
    QByteArray text = "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' +
                      statusText(reply.status) + "\r\nContent-Type: " + reply.contentType +
                      "\r\nContent-Length: " + QByteArray::number(reply.body.size()) +
                      "\r\nConnection: close\r\nCache-Control: no-store\r\n";
    for (const auto &[name, value] : reply.headers)
        text += name + ": " + value + "\r\n";
    socket->write(text + "\r\n" + reply.body);
    socket->disconnectFromHost();
    QTimer::singleShot(refusedCloseMs, socket, &QAbstractSocket::abort);
}

void HttpServing::drop(QTcpSocket *socket, const QByteArray &why)
{
    m_connections.remove(socket); // its place is free now, whenever the object goes
    countRefusal(why);
    disconnect(socket, &QIODevice::readyRead, m_server.get(), nullptr);
    socket->abort();
}

void HttpServing::adoptWebSockets()
{
    while (m_server->hasPendingWebSocketConnections()) {
        QWebSocket *socket = m_server->nextPendingWebSocketConnection().release();
        if (!socket)
            continue;
        for (const auto &tracked : std::as_const(m_connections)) {
            Connection &connection = *tracked;
            QTcpSocket *tcp = connection.socket;
            if (connection.phase != Connection::Phase::Upgrading ||
                tcp->peerPort() != socket->peerPort() ||
                tcp->peerAddress() != socket->peerAddress())
                continue;
            connection.phase = Connection::Phase::WebSocket;
            connection.deadline->stop();
            // Whatever a page sends, pings included, is answered at once; what it leaves
            // unread is bounded after each read, whether or not a push is going out.
            tcp->setReadBufferSize(webSocketReadBuffer);
            connect(tcp, &QIODevice::readyRead, this, [this, tcp] {
                if (tcp->bytesToWrite() > m_limits.maxUnsentBytes)
                    drop(tcp, "cut: a page left more than 1 MiB unread");
            });
            break;
        }
        emit webSocketOpened(socket);
    }
}

HttpServing::Connection *HttpServing::connectionOf(const QTcpSocket *socket) const
{
    const auto found = m_connections.constFind(socket);
    return found == m_connections.cend() ? nullptr : found->get();
}

void HttpServing::countRefusal(const QByteArray &why)
{
    ++m_refusals[why];
    if (!m_noteTimer->isActive())
        m_noteTimer->start(m_limits.refusalNoteMs);
}

void HttpServing::noteRefusals()
{
    int total = 0;
    QStringList reasons;
    for (auto it = m_refusals.cbegin(); it != m_refusals.cend(); ++it) {
        total += it.value();
        reasons.append(QStringLiteral("%1 %2").arg(it.value()).arg(QString::fromUtf8(it.key())));
    }
    m_refusals.clear();
    emit refusalNote(QStringLiteral("the web page refused or cut %1 connection%2 in %3 s: %4")
                         .arg(total)
                         .arg(total == 1 ? QString() : QStringLiteral("s"))
                         .arg(m_limits.refusalNoteMs / 1000.0)
                         .arg(reasons.join(QStringLiteral(", "))));
}
