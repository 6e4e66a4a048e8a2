// SPDX-License-Identifier: MIT
#pragma once

// The web page's HTTP side, the one place that knows Qt HttpServer: it listens, turns each
// request into a plain WebRequest for the page's server to answer with a WebReply, and hands
// over each WebSocket a page opens. Qt HttpServer changes from one Qt version to the next
// (how it listens, how a handler answers, how an upgrade is let through); those differences
// stay in httpserving.cpp.

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>

#include <functional>
#include <memory>

class QTcpServer;
class QWebSocket;

struct WebRequest
{
    bool get = false;    // GET or HEAD; anything else is refused
    QString path;        // "/", "/page.js"
    bool hasKey = false; // the address carries ?key=
    QByteArray key;      // its value
    QByteArray cookie;   // the Cookie header
    QByteArray host;     // the Host header
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

    HttpServing(Handler handler, QObject *parent = nullptr);
    ~HttpServing() override;

    // False with *error saying why when the address cannot be had.
    bool listen(const QHostAddress &address, quint16 port, QString *error);
    quint16 port() const;

signals:
    // A page opened its WebSocket; the receiver owns it from now on.
    void webSocketOpened(QWebSocket *socket);

private:
    class Server;
    std::unique_ptr<Server> m_server;
    QTcpServer *m_tcp = nullptr;
};
