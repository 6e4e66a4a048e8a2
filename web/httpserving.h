// SPDX-License-Identifier: MIT
#pragma once

// The web page's HTTP side, the one place that knows Qt HttpServer: it listens, turns each
// request into a plain WebRequest for the page's server to answer with a WebReply, and hands
// over each WebSocket a page opens. Qt HttpServer changes from one Qt version to the next
// (how it listens, how a handler answers, how an upgrade is let through); those differences
// stay in httpserving.cpp.
//
// It also keeps every connection in hand before Qt HttpServer sees it: each is counted and
// bounded, timed out while its request comes and while it idles between requests, asked to
// close when its client asks for that, and a WebSocket's upgrade is judged on its request
// alone, so that a refused one gets a plain HTTP answer and never becomes a WebSocket.

#include "webaccess.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPair>
#include <QString>

#include <functional>
#include <memory>

class QTcpServer;
class QTcpSocket;
class QTimer;
class QWebSocket;

struct WebRequest
{
    bool get = false;    // GET or HEAD; anything else is refused
    bool head = false;   // HEAD: the answer's headers go out without its body
    QString path;        // "/", "/page.js"
    bool hasKey = false; // the address carries ?key=
    QByteArray key;      // its value
    QByteArray cookie;   // the Cookie header
    QByteArray host;     // the Host header
    QByteArray origin;   // the Origin header (a WebSocket's upgrade)
    qsizetype size = 0;  // request line, headers and body, in bytes
};

struct WebReply
{
    int status = 200;
    QByteArray contentType;
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers; // besides Content-Type
};

class HttpServing : public QObject
{
    Q_OBJECT

public:
    using Handler = std::function<WebReply(const WebRequest &)>;

    struct Limits
    {
        int maxConnections = webaccess::maxConnections;
        int requestTimeoutMs = webaccess::requestTimeoutMs;
        int idleTimeoutMs = webaccess::idleTimeoutMs;
        qint64 maxUnsentBytes = webaccess::maxUnsentBytes;
        int refusalNoteMs = 10'000; // at most one line about refusals this often
    };

    // handler answers each request. upgradeCheck judges a WebSocket's upgrade by its request:
    // a reply of status 101 lets it through, any other is sent as it is and the connection
    // closed.
    HttpServing(Handler handler, Handler upgradeCheck, QObject *parent = nullptr);
    ~HttpServing() override;

    // Before listen().
    void setLimits(const Limits &limits) { m_limits = limits; }
    // False with *error saying why when the address cannot be had.
    bool listen(const QHostAddress &address, quint16 port, QString *error);
    quint16 port() const;
    // Connections open now, HTTP and WebSocket alike.
    int connections() const { return int(m_connections.size()); }

    // Counts one connection refused or cut, for the next refusalNote.
    void countRefusal(const QByteArray &why);

signals:
    // A page opened its WebSocket; the receiver owns it from now on.
    void webSocketOpened(QWebSocket *socket);
    // One line, at most once in Limits::refusalNoteMs: how many connections were refused or
    // cut since the last one, and why.
    void refusalNote(const QString &line);

private:
    class Server;
    class Listener;
    struct Connection;

    // A new connection's place: true when there is one, made if need be by closing the
    // connection that has waited longest for a request.
    bool admit();
    void track(QTcpSocket *socket);
    void received(Connection &connection);
    void written(Connection &connection);
    // The request's head is whole: whether to close after the answer, and an upgrade judged.
    void readHead(Connection &connection);
    void refuse(QTcpSocket *socket, const WebReply &reply);
    void drop(QTcpSocket *socket, const QByteArray &why);
    void wait(Connection &connection, int ms);
    void adoptWebSockets();
    void noteRefusals();
    Connection *connectionOf(const QTcpSocket *socket) const;

    Limits m_limits;
    Handler m_upgradeCheck;
    std::unique_ptr<Server> m_server;
    QTcpServer *m_tcp = nullptr;
    QMap<const QTcpSocket *, std::shared_ptr<Connection>> m_connections;
    QMap<QByteArray, int> m_refusals;
    QTimer *m_noteTimer = nullptr;
};
