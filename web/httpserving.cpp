// SPDX-License-Identifier: MIT
#include "httpserving.h"

#include <QAbstractHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QTcpServer>
#include <QUrlQuery>
#include <QWebSocket>

#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
#include <QHttpHeaders>
#endif
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
#include <QHttpServerWebSocketUpgradeResponse>
#endif

namespace {

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

WebRequest webRequest(const QHttpServerRequest &request)
{
    WebRequest web;
    web.get = request.method() == QHttpServerRequest::Method::Get ||
              request.method() == QHttpServerRequest::Method::Head;
    web.path = request.url().path();
    const QUrlQuery query = request.query();
    web.hasKey = query.hasQueryItem(QStringLiteral("key"));
    if (web.hasKey)
        web.key = query.queryItemValue(QStringLiteral("key"), QUrl::FullyDecoded).toUtf8();
    web.cookie = headerValue(request, "cookie");
    web.host = headerValue(request, "host");
    web.size = requestSize(request);
    return web;
}

void answer(QHttpServerResponder &responder, const WebReply &reply)
{
    const auto status = QHttpServerResponder::StatusCode(reply.status);
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    QHttpHeaders headers;
    headers.append(QHttpHeaders::WellKnownHeader::ContentType, reply.contentType);
    for (const auto &[name, value] : reply.headers)
        headers.append(name, value);
    responder.write(reply.body, headers, status);
#else
    responder.writeStatusLine(status);
    responder.writeHeader("Content-Type", reply.contentType);
    responder.writeHeader("Content-Length", QByteArray::number(reply.body.size()));
    for (const auto &[name, value] : reply.headers)
        responder.writeHeader(name, value);
    responder.writeBody(reply.body);
#endif
}

// Each connection sends its small messages at once: a state push or an answer waits for no
// acknowledgement of the one before (Nagle's algorithm against the browser's delayed ACK
// would hold it up to 40 ms). And Qt HttpServer keeps all of a request until its end before
// the handler sees it, however large: a connection that has sent more than maxRequestStream
// bytes of requests is cut, so that a visitor cannot fill the memory with one endless
// request. A browser's requests for the page take a few kilobytes; once the connection has
// become a WebSocket, Qt WebSockets bounds its messages itself and the count stops.
class GuardedServer : public QTcpServer
{
public:
    static constexpr qint64 maxRequestStream = 1024 * 1024;

    using QTcpServer::QTcpServer;

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto *socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        // Connected before the server's own handler, which takes what has come; the upgrade to
        // a WebSocket disconnects it with every other connection of the socket.
        connect(socket, &QIODevice::readyRead, socket, [socket, received = qint64(0)]() mutable {
            received += socket->bytesAvailable();
            if (received > maxRequestStream)
                socket->abort();
        });
        addPendingConnection(socket);
    }
};

} // namespace

class HttpServing::Server : public QAbstractHttpServer
{
public:
    explicit Server(Handler handler) : m_handler(std::move(handler))
    {
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
        // From 6.8 an upgrade goes through only when a verifier lets it; the page's server
        // checks the key and the origin on the socket itself, as with the older versions.
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
        answer(responder, m_handler(webRequest(request)));
        return true;
    }
    void missingHandler(const QHttpServerRequest &, QHttpServerResponder &) override {}
#else
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override
    {
        if (isWebSocketUpgrade(request))
            return upgradeAccepted(request);
        QHttpServerResponder responder = makeResponder(request, socket);
        answer(responder, m_handler(webRequest(request)));
        return true;
    }
    void missingHandler(const QHttpServerRequest &, QTcpSocket *) override {}
#endif

private:
    Handler m_handler;
};

HttpServing::HttpServing(Handler handler, QObject *parent)
    : QObject(parent), m_server(std::make_unique<Server>(std::move(handler)))
{
    connect(m_server.get(), &QAbstractHttpServer::newWebSocketConnection, this, [this] {
        while (m_server->hasPendingWebSocketConnections()) {
            std::unique_ptr<QWebSocket> socket = m_server->nextPendingWebSocketConnection();
            if (socket)
                emit webSocketOpened(socket.release());
        }
    });
}

HttpServing::~HttpServing() = default;

bool HttpServing::listen(const QHostAddress &address, quint16 port, QString *error)
{
    auto tcp = std::make_unique<GuardedServer>();
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
