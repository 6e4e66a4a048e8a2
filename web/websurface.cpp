// SPDX-License-Identifier: MIT
#include "websurface.h"

#include "controlcommand.h"
#include "httpserving.h"
#include "panelcontrol.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkInterface>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrlQuery>
#include <QWebSocket>

namespace {

// The largest message Qt WebSockets takes in at all: past it the page's socket is closed.
// Below it, one past webaccess::maxMessageBytes gets an error line and the page stays.
constexpr qint64 maxIncoming = 64 * 1024;
// How long a refused page has to take its close.
constexpr int refusedCloseMs = 2000;
// Why a page's socket was refused, as an error line on it.
const char notThisPanels[] = "the page is not this panel's";

// Every message to a page is one JSON object, written by Qt's writer.
QByteArray message(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// {"state": the panel's state}
QByteArray stateMessage(const QByteArray &stateJson)
{
    return message({{QStringLiteral("state"), QJsonDocument::fromJson(stateJson).object()}});
}

QByteArray pageFile(const QString &name)
{
    QFile file(QStringLiteral(":/web/page/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct PageFile
{
    const char *path;
    const char *name;
    const char *type;
};
constexpr PageFile pageFiles[] = {
    {"/", "index.html", "text/html; charset=utf-8"},
    {"/index.html", "index.html", "text/html; charset=utf-8"},
    {"/style.css", "style.css", "text/css; charset=utf-8"},
    {"/page.js", "page.js", "text/javascript; charset=utf-8"},
};

WebReply textReply(int status, const QByteArray &text)
{
    return {status, "text/plain; charset=utf-8", text + '\n', {}};
}

void addHeader(WebReply &reply, const QByteArray &name, const QByteArray &value)
{
    reply.headers.append(qMakePair(name, value));
}

// What every answer carries: nothing is kept by the browser's cache, nothing is taken from
// elsewhere, and the page is not shown inside another site's.
void addCommonHeaders(WebReply &reply)
{
    addHeader(reply, "Cache-Control", "no-store");
    addHeader(reply, "X-Content-Type-Options", "nosniff");
    addHeader(reply, "Referrer-Policy", "no-referrer");
    addHeader(reply, "Content-Security-Policy",
              "default-src 'none'; script-src 'self'; style-src 'self'; "
              "connect-src 'self'; img-src 'self'; base-uri 'none'; "
              "form-action 'none'; frame-ancestors 'none'");
}

} // namespace

QByteArray answerEnvelope(const ControlAnswer &answer, const QString *line)
{
    const QJsonValue value = answer.kind == ControlAnswer::Kind::Json
                                 ? QJsonValue(QJsonDocument::fromJson(answer.text).object())
                                 : QJsonValue(QString::fromUtf8(answer.line()));
    return message({{QStringLiteral("answer"), value},
                    {QStringLiteral("line"), line ? QJsonValue(*line) : QJsonValue()}});
}

WebSurface::WebSurface(PanelControl &adapter, QString key, bool requireKey, QObject *parent)
    : QObject(parent), m_adapter(adapter), m_key(std::move(key)), m_requireKey(requireKey),
      m_http(std::make_unique<HttpServing>(
          [this](const WebRequest &request) { return answer(request); },
          [this](const WebRequest &request) { return upgradeAnswer(request); }))
{
    connect(m_http.get(), &HttpServing::webSocketOpened, this, &WebSurface::open);
    connect(m_http.get(), &HttpServing::refusalNote, this, &WebSurface::note);
    connect(&m_adapter, &ControlTarget::changed, this, &WebSurface::push);
}

WebSurface::~WebSurface()
{
    // The pages' sockets are children, deleted after this: they tell nothing to it any more.
    for (QWebSocket *socket : findChildren<QWebSocket *>())
        socket->disconnect(this);
}

bool WebSurface::listen(const QHostAddress &address, quint16 port, QString *error)
{
    m_address = address;
    m_keyNeeded = webaccess::keyNeeded(address.isLoopback(), m_requireKey);
    if (!m_http->listen(address, port, error))
        return false;
    m_cookieName = webaccess::cookieName(m_http->port());
    return true;
}

quint16 WebSurface::port() const
{
    return m_http->port();
}

QString WebSurface::pageAddress(const QString &host) const
{
    const QString shown = host.contains(u':') ? u'[' + host + u']' : host;
    QString address = QStringLiteral("http://%1:%2/").arg(shown).arg(port());
    if (m_keyNeeded)
        address += QStringLiteral("?key=") + m_key;
    return address;
}

WebReply WebSurface::answer(const WebRequest &request) const
{
    WebReply reply;
    const webaccess::KeyCheck check =
        webaccess::checkKey(m_keyNeeded, m_key.toLatin1(), request.hasKey ? &request.key : nullptr,
                            request.cookie, m_cookieName);
    if (request.size > webaccess::maxRequestBytes) {
        reply = textReply(413, "request too large (more than " +
                                   QByteArray::number(webaccess::maxRequestBytes) + " bytes)");
    } else if (!request.get) {
        reply = textReply(405, "only GET");
        addHeader(reply, "Allow", "GET, HEAD");
    } else if (!m_keyNeeded && !webaccess::isLoopbackHost(request.host)) {
        reply = textReply(403, "this page answers only as localhost or 127.0.0.1");
    } else if (!check.allowed()) {
        reply = {401, "text/html; charset=utf-8", webaccess::refusalPage(check.verdict), {}};
    } else {
        reply = textReply(404, "no such page");
        for (const PageFile &file : pageFiles) {
            if (request.path == QLatin1String(file.path)) {
                reply = {200, file.type, pageFile(QLatin1String(file.name)), {}};
                break;
            }
        }
        if (check.verdict == webaccess::KeyCheck::Verdict::ByAddress) {
            addHeader(reply, "Set-Cookie", webaccess::keyCookie(m_cookieName, m_key.toLatin1()));
            // The one name for every port of earlier versions: that cookie went to them all.
            if (!webaccess::cookieValue(request.cookie, webaccess::oldCookieName).isEmpty())
                addHeader(reply, "Set-Cookie", webaccess::deletedCookie(webaccess::oldCookieName));
        }
    }
    addCommonHeaders(reply);
    return reply;
}

QByteArray WebSurface::answerMessage(const QString &message)
{
    const QByteArray line = message.toUtf8();
    if (line.size() > webaccess::maxMessageBytes)
        return answerEnvelope(ControlAnswer::error("message too long (more than " +
                                                   QByteArray::number(webaccess::maxMessageBytes) +
                                                   " bytes)"),
                              nullptr);
    // A page always follows the state; the line monitor is not its to follow.
    auto follow = ControlCommand::Action::Help;
    const ControlAnswer answer = runCommandLine(m_adapter, line, &follow);
    if (follow == ControlCommand::Action::Monitor)
        return answerEnvelope(
            ControlAnswer::error("the line monitor is on the control socket only"), &message);
    return answerEnvelope(answer, &message);
}

QByteArray WebSurface::refusal(const WebRequest &request, bool *busy) const
{
    *busy = m_pages.size() >= webaccess::maxPages;
    if (*busy)
        return "too many pages open (at most " + QByteArray::number(webaccess::maxPages) + ")";
    if (!webaccess::sameOrigin(request.origin, request.host))
        return notThisPanels;
    if (!m_keyNeeded && !webaccess::isLoopbackHost(request.host))
        return "this page answers only as localhost or 127.0.0.1";
    const webaccess::KeyCheck check =
        webaccess::checkKey(m_keyNeeded, m_key.toLatin1(), request.hasKey ? &request.key : nullptr,
                            request.cookie, m_cookieName);
    if (!check.allowed())
        return check.verdict == webaccess::KeyCheck::Verdict::Wrong ? "wrong access key"
                                                                    : "no access key";
    return {};
}

WebReply WebSurface::upgradeAnswer(const WebRequest &request) const
{
    bool busy = false;
    const QByteArray why = refusal(request, &busy);
    if (why.isEmpty())
        return {101, {}, {}, {}};
    WebReply reply = textReply(busy ? 503 : 403, why);
    if (busy)
        addHeader(reply, "Retry-After", "2");
    return reply;
}

void WebSurface::open(QWebSocket *socket)
{
    socket->setParent(this);
    connect(socket, &QWebSocket::disconnected, socket, &QObject::deleteLater);
    // Judged before the upgrade already; this catches two upgrades that came for the last
    // page's place at once.
    const QNetworkRequest request = socket->request();
    WebRequest asked;
    asked.host = request.rawHeader("Host");
    if (asked.host.isEmpty())
        asked.host = request.url().authority().toUtf8();
    asked.origin = socket->origin().toUtf8();
    asked.cookie = request.rawHeader("Cookie");
    const QUrlQuery query(request.url());
    asked.hasKey = query.hasQueryItem(QStringLiteral("key"));
    if (asked.hasKey)
        asked.key = query.queryItemValue(QStringLiteral("key"), QUrl::FullyDecoded).toUtf8();
    bool busy = false;
    if (const QByteArray why = refusal(asked, &busy); !why.isEmpty()) {
        m_http->countRefusal(why);
        const ControlAnswer refused = ControlAnswer::error(why);
        socket->sendTextMessage(QString::fromUtf8(answerEnvelope(refused, nullptr)));
        socket->close(QWebSocketProtocol::CloseCodePolicyViolated,
                      QString::fromUtf8(refused.line()));
        // A peer that does not answer the close is cut all the same.
        QTimer::singleShot(refusedCloseMs, socket, &QWebSocket::abort);
        return;
    }
    socket->setMaxAllowedIncomingMessageSize(maxIncoming);
    socket->setMaxAllowedIncomingFrameSize(maxIncoming);
    m_pages.append(socket);
    connect(socket, &QWebSocket::disconnected, this, [this, socket] { close(socket); });
    connect(socket, &QWebSocket::textMessageReceived, this,
            [this, socket](const QString &message) { send(socket, answerMessage(message)); });
    connect(socket, &QWebSocket::binaryMessageReceived, this, [this, socket] {
        send(socket, answerEnvelope(ControlAnswer::error("send text, one command line a message"),
                                    nullptr));
    });
    send(socket, stateMessage(panelStateJson(m_adapter.state())));
    emit pagesChanged(pages());
}

void WebSurface::close(QWebSocket *socket)
{
    if (m_pages.removeOne(socket))
        emit pagesChanged(pages());
}

void WebSurface::push(const QByteArray &json)
{
    const QByteArray state = stateMessage(json);
    for (QWebSocket *socket : QList<QWebSocket *>(m_pages))
        send(socket, state);
}

void WebSurface::send(QWebSocket *socket, const QByteArray &message)
{
    if (socket->bytesToWrite() > maxUnsent) {
        close(socket);
        socket->abort(); // it reads nothing: what waits for it is dropped
        return;
    }
    socket->sendTextMessage(QString::fromUtf8(message));
}

QString reachableHost(const QHostAddress &listen)
{
    if (listen != QHostAddress::Any && listen != QHostAddress::AnyIPv4 &&
        listen != QHostAddress::AnyIPv6)
        return listen.toString();
    for (const QHostAddress &address : QNetworkInterface::allAddresses()) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback())
            return address.toString();
    }
    return QStringLiteral("127.0.0.1");
}
