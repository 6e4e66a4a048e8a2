// SPDX-License-Identifier: MIT
#pragma once

// The panel on a phone: a web page served by the running program, and over one WebSocket per
// page the same live state as the window and the same commands as the control socket. It
// drives the window through the one adapter (PanelControl) and touches no widget.
//
// On the socket the page sends control-socket lines, one a message, and the panel sends JSON
// objects, one a message:
//   {"state":{...}}                        the state (panelStateJson) when the page opens and
//                                          after every change
//   {"answer":...,"line":"route 2 3"}      the answer to one line: "ok", "error <reason>", or
//                                          the JSON object of state, names or preset list;
//                                          "line" is the line it answers, null when what came
//                                          was no line (too long, not text)

#include "controltarget.h"
#include "httpserving.h"
#include "webaccess.h"

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>

#include <memory>

class PanelControl;
class QWebSocket;

class WebSurface : public QObject
{
    Q_OBJECT

public:
    // A page that leaves this much of its pushes unread is closed.
    static constexpr qint64 maxUnsent = webaccess::maxUnsentBytes;

    // key: the access key, needed unless the address is a loopback one and requireKey false.
    WebSurface(PanelControl &adapter, QString key, bool requireKey, QObject *parent = nullptr);
    ~WebSurface() override;

    bool listen(const QHostAddress &address, quint16 port, QString *error);
    quint16 port() const;
    bool keyNeeded() const { return m_keyNeeded; }
    // The page's address, with the key when one is needed. An address that listens on every
    // interface is shown with host, such as this computer's address on the network.
    QString pageAddress(const QString &host) const;
    int pages() const { return int(m_pages.size()); }
    // The HTTP side: its limits (set them before listen) and its count of connections.
    HttpServing &http() { return *m_http; }

    // The answer to a request, as the HTTP side sends it.
    WebReply answer(const WebRequest &request) const;
    // The answer to one message from a page, as the JSON object it is sent as.
    QByteArray answerMessage(const QString &message);

signals:
    void pagesChanged(int pages);
    // A line for the log: connections refused or cut, at most one such line in 10 s.
    void note(const QString &line);

private:
    void open(QWebSocket *socket);
    // Why a page's socket may not open (a few words), or empty; *busy when it is only that
    // all the pages' places are taken.
    QByteArray refusal(const WebRequest &request, bool *busy) const;
    // 101 to let a WebSocket's upgrade through; 403 or 503, saying why, before it.
    WebReply upgradeAnswer(const WebRequest &request) const;
    void close(QWebSocket *socket);
    void push(const QByteArray &json);
    void send(QWebSocket *socket, const QByteArray &message);

    PanelControl &m_adapter;
    QString m_key;
    bool m_requireKey = false;
    bool m_keyNeeded = true;
    QHostAddress m_address;
    QByteArray m_cookieName; // per port, known once listening
    std::unique_ptr<HttpServing> m_http;
    QList<QWebSocket *> m_pages;
};

// An answer line of the adapter in the envelope the page reads: {"answer":...,"line":...}.
QByteArray answerEnvelope(const ControlAnswer &answer, const QString *line);

// The host a phone reaches the page at: the address itself, or for one that listens on every
// interface this computer's first IPv4 address on a network (127.0.0.1 when it has none).
QString reachableHost(const QHostAddress &listen);
