// SPDX-License-Identifier: MIT
// The web page's server on the real window, on 127.0.0.1 with the key required, reached by a
// real HTTP client and real WebSockets: the key and its cookie, the bounds, the origin, the
// state pushed and the commands carried out on the line; and "Open on a phone…".

#include "controlclient.h"
#include "form1.h"
#include "frames.h"
#include "httpserving.h"
#include "pagemenu.h"
#include "panelcontrol.h"
#include "phonedialog.h"
#include "programrun.h"
#include "ptypair.h"
#include "scratchdir.h"
#include "slowclients.h"
#include "websurface.h"
#include "windowcontrols.h"
#include "windowonline.h"

#include <QAction>
#include <QDeadlineTimer>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>
#include <QWebSocket>

#include <memory>
#include <vector>

#include <csignal>
#include <sys/resource.h>

namespace {

const QString key = QStringLiteral("00112233445566778899aabbccddeeff");

struct Got
{
    int status = 0;
    QByteArray body;
    QByteArray type;
    QByteArray cookie;
};

// What came back on one connection of its own.
struct Raw
{
    QByteArray data;
    bool closed = false; // by the panel
};

// Sends request on a new connection to 127.0.0.1:port and reads until the panel closes it or
// waitMs pass.
Raw exchange(quint16 port, const QByteArray &request, int waitMs)
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!socket.waitForConnected(5000))
        return {};
    socket.write(request);
    Raw raw;
    QDeadlineTimer deadline(waitMs);
    while (!deadline.hasExpired() && socket.state() == QAbstractSocket::ConnectedState) {
        QTest::qWait(10);
        raw.data += socket.readAll();
    }
    raw.data += socket.readAll();
    raw.closed = socket.state() != QAbstractSocket::ConnectedState;
    return raw;
}

// A WebSocket's upgrade as a browser sends it; origin empty for none.
QByteArray upgradeRequest(quint16 port, const QByteArray &origin, const QByteArray &cookie)
{
    QByteArray request = "GET /ws HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port) +
                         "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                         "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                         "Sec-WebSocket-Version: 13\r\n";
    if (!origin.isEmpty())
        request += "Origin: " + origin + "\r\n";
    if (!cookie.isEmpty())
        request += "Cookie: " + cookie + "\r\n";
    return request + "\r\n";
}

// A page's WebSocket as a browser opens it, with what arrives on it.
struct Page
{
    std::unique_ptr<QWebSocket> socket;
    QStringList messages;
    bool closed = false;
};

} // namespace

class tst_WebServer : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void requests_data();
    void requests();
    void pageIsSmallAndSelfContained();
    void endlessRequestIsCut();
    void stateOnOpenAndRouteFromThePage();
    void deviceReplyReachesEveryPage();
    void junkIsAnsweredAndThePageStays_data();
    void junkIsAnsweredAndThePageStays();
    void upgradesOutsideTheRulesAreRefused_data();
    void upgradesOutsideTheRulesAreRefused();
    void refusalsMakeOneLine();
    void atMostMaxPages();
    void connectionRules_data();
    void connectionRules();
    void hostOtherThanLoopbackIsRefused();
    void crowdIsBounded_data();
    void crowdIsBounded();
    void pingFloodIsCut();
    void crowdAtTheDescriptorLimit();
    void openOnPhoneShowsTheAddressAndItsCode();
    void theProgramMakesItsKeyOnceAndKeepsIt_data();
    void theProgramMakesItsKeyOnceAndKeepsIt();

private:
    Got get(const QString &pathAndQuery, const QByteArray &cookie,
            const QByteArray &extraHeader = {});
    std::unique_ptr<Page> open(const QString &origin, const QByteArray &cookie,
                               const QString &query = {});
    QString origin() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_web->port()); }
    static QJsonObject json(const QString &message);
    // The page's server again, with these limits.
    void listenWith(const HttpServing::Limits &limits);
    // "velquor_key_@" with the port for @.
    QByteArray withPort(QByteArray text) const
    {
        return text.replace('@', QByteArray::number(m_web->port()));
    }

    std::unique_ptr<WindowOnLine> m_window;
    std::unique_ptr<WebSurface> m_web;
    QNetworkAccessManager m_net;
    QByteArray m_cookie; // the key's cookie, named after the port
};

void tst_WebServer::init()
{
    WindowOnLine::Options options;
    options.adapter = true;
    options.show = false;
    m_window = std::make_unique<WindowOnLine>(options);
    m_window->start();
    QVERIFY(!QTest::currentTestFailed());
    listenWith({});
}

void tst_WebServer::listenWith(const HttpServing::Limits &limits)
{
    m_web = std::make_unique<WebSurface>(m_window->control(), key, /*requireKey=*/true);
    m_web->http().setLimits(limits);
    QString why;
    QVERIFY2(m_web->listen(QHostAddress::LocalHost, 0, &why), qPrintable(why));
    QVERIFY(m_web->keyNeeded());
    m_cookie = withPort("velquor_key_@=" + key.toLatin1());
    m_net.setCookieJar(new QNetworkCookieJar); // none of the last port's cookies
}

void tst_WebServer::cleanup()
{
    m_web.reset();
    m_window.reset();
}

Got tst_WebServer::get(const QString &pathAndQuery, const QByteArray &cookie,
                       const QByteArray &extraHeader)
{
    QNetworkRequest request(QUrl(origin() + pathAndQuery));
    if (!cookie.isEmpty())
        request.setRawHeader("Cookie", cookie);
    if (!extraHeader.isEmpty())
        request.setRawHeader("X-Filler", extraHeader);
    std::unique_ptr<QNetworkReply> reply(m_net.get(request));
    QSignalSpy finished(reply.get(), &QNetworkReply::finished);
    if (!reply->isFinished())
        finished.wait(5000);
    return {reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll(),
            reply->rawHeader("Content-Type"), reply->rawHeader("Set-Cookie")};
}

std::unique_ptr<Page> tst_WebServer::open(const QString &origin, const QByteArray &cookie,
                                          const QString &query)
{
    auto page = std::make_unique<Page>();
    page->socket = std::make_unique<QWebSocket>(origin);
    Page *p = page.get();
    connect(p->socket.get(), &QWebSocket::textMessageReceived, this,
            [p](const QString &message) { p->messages.append(message); });
    connect(p->socket.get(), &QWebSocket::disconnected, this, [p] { p->closed = true; });
    QNetworkRequest request(
        QUrl(QStringLiteral("ws://127.0.0.1:%1/ws%2").arg(m_web->port()).arg(query)));
    if (!cookie.isEmpty())
        request.setRawHeader("Cookie", cookie);
    p->socket->open(request);
    return page;
}

QJsonObject tst_WebServer::json(const QString &message)
{
    return QJsonDocument::fromJson(message.toUtf8()).object();
}

void tst_WebServer::requests_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("cookie");
    QTest::addColumn<int>("filler"); // bytes of one more header
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("says"); // in the body, or in the Content-Type
    QTest::addColumn<bool>("setsCookie");

    const QByteArray right = "velquor_key_@=" + key.toLatin1(); // @: the page's port
    const QString withKey = QStringLiteral("/?key=") + key;
    QString lastDiffer = withKey;
    lastDiffer.replace(lastDiffer.size() - 4, 4, QStringLiteral("0000"));
    QTest::newRow("no key") << QStringLiteral("/") << QByteArray() << 0 << 401
                            << QByteArray("has no access key") << false;
    QTest::newRow("wrong key") << QStringLiteral("/?key=0123") << QByteArray() << 0 << 401
                               << QByteArray("is not this panel's") << false;
    QTest::newRow("key that differs in its last characters only")
        << lastDiffer << QByteArray() << 0 << 401 << QByteArray("is not this panel's") << false;
    QTest::newRow("wrong cookie") << QStringLiteral("/") << QByteArray("velquor_key_@=abc") << 0
                                  << 401 << QByteArray("is not this panel's") << false;
    QTest::newRow("cookie of another port")
        << QStringLiteral("/") << "velquor_key_1=" + key.toLatin1() << 0 << 401
        << QByteArray("has no access key") << false;
    QTest::newRow("cookie of one name for every port")
        << QStringLiteral("/") << "velquor_key=" + key.toLatin1() << 0 << 401
        << QByteArray("has no access key") << false;
    QTest::newRow("key: the page and the cookie")
        << withKey << QByteArray() << 0 << 200 << QByteArray("<title>Velquor panel</title>")
        << true;
    QTest::newRow("key: the cookie of one name for every port deleted")
        << withKey << QByteArray("velquor_key=" + key.toLatin1()) << 0 << 200
        << QByteArray("<title>Velquor panel</title>") << true;
    QTest::newRow("cookie: the page")
        << QStringLiteral("/") << right << 0 << 200 << QByteArray("id=\"grid\"") << false;
    QTest::newRow("cookie: the script") << QStringLiteral("/page.js") << right << 0 << 200
                                        << QByteArray("text/javascript") << false;
    QTest::newRow("cookie: the style")
        << QStringLiteral("/style.css") << right << 0 << 200 << QByteArray("text/css") << false;
    QTest::newRow("cookie: no such page") << QStringLiteral("/etc/passwd") << right << 0 << 404
                                          << QByteArray("no such page") << false;
    QTest::newRow("just under 8 KiB")
        << withKey << QByteArray() << 7000 << 200 << QByteArray("Velquor panel") << true;
    QTest::newRow("over 8 KiB, with the key")
        << withKey << QByteArray() << 8300 << 413 << QByteArray("request too large") << false;
}

void tst_WebServer::requests()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, cookie);
    QFETCH(int, filler);
    QFETCH(int, status);
    QFETCH(QByteArray, says);
    QFETCH(bool, setsCookie);

    const Got got = get(path, withPort(cookie), QByteArray(filler, 'a'));
    QCOMPARE(got.status, status);
    QVERIFY2(got.body.contains(says) || got.type.contains(says), got.body.left(200).constData());
    QCOMPARE(!got.cookie.isEmpty(), setsCookie);
    if (setsCookie) {
        QVERIFY(got.cookie.startsWith(m_cookie + ';'));
        QVERIFY(got.cookie.contains("HttpOnly"));
        QVERIFY(got.cookie.contains("SameSite=Strict"));
        QCOMPARE(got.cookie.contains("\nvelquor_key=; Path=/; Max-Age=0;"),
                 cookie.startsWith("velquor_key="));
    }
    // The panel works on: the next request is served.
    QCOMPARE(get(QStringLiteral("/"), m_cookie).status, 200);
}

void tst_WebServer::pageIsSmallAndSelfContained()
{
    qsizetype total = 0;
    for (const QString &file :
         {QStringLiteral("/"), QStringLiteral("/style.css"), QStringLiteral("/page.js")}) {
        const Got got = get(file, m_cookie);
        QCOMPARE(got.status, 200);
        QVERIFY2(!got.body.contains("http://") && !got.body.contains("https://") &&
                     !got.body.contains("@import"),
                 qPrintable(file)); // nothing is fetched from anywhere else
        total += got.body.size();
    }
    QVERIFY2(total < 60 * 1024, qPrintable(QString::number(total)));
}

void tst_WebServer::endlessRequestIsCut()
{
    // Far past 8 KiB, so that it is not kept whole before it is judged: the connection is cut.
    QNetworkRequest request(QUrl(origin() + QStringLiteral("/")));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("text/plain"));
    std::unique_ptr<QNetworkReply> reply(m_net.post(request, QByteArray(4 * 1024 * 1024, 'x')));
    QSignalSpy finished(reply.get(), &QNetworkReply::finished);
    QVERIFY(finished.wait(10000));
    QVERIFY2(reply->error() != QNetworkReply::NoError, qPrintable(reply->errorString()));
    QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 0); // no 413
    QCOMPARE(get(QStringLiteral("/"), m_cookie).status, 200); // the panel works on

    // A page's socket is not counted as a request: more than that in messages, and it stays.
    const auto page = open(origin(), m_cookie);
    QTRY_COMPARE(page->messages.size(), 1);
    const int count = 1200;
    for (int i = 0; i < count; ++i)
        page->socket->sendTextMessage(QString(1000, u'x'));
    QTRY_COMPARE(page->messages.size(), 1 + count);
    QVERIFY(!page->closed);
}

void tst_WebServer::stateOnOpenAndRouteFromThePage()
{
    const auto page = open(origin(), m_cookie);
    QTRY_COMPARE(page->messages.size(), 1);
    QCOMPARE(page->messages[0].toUtf8(),
             "{\"state\":" + panelStateJson(m_window->control().state()) + '}');
    QCOMPARE(m_web->pages(), 1);

    page->socket->sendTextMessage(QStringLiteral("route 2 3"));
    QCOMPARE(m_window->device().read(5).toHex(' '), QByteArray("05 55 19 12 77"));
    QTRY_VERIFY(page->messages.size() >= 2);
    QCOMPARE(page->messages[1], QStringLiteral(R"({"answer":"ok","line":"route 2 3"})"));

    // An answer that is JSON comes as JSON, not as a string.
    page->socket->sendTextMessage(QStringLiteral("preset list"));
    QTRY_VERIFY(page->messages.size() >= 3);
    QVERIFY(json(page->messages.last())
                .value(QStringLiteral("answer"))
                .toObject()
                .contains(QStringLiteral("presets")));
}

void tst_WebServer::deviceReplyReachesEveryPage()
{
    const auto first = open(origin(), m_cookie);
    const auto second = open(origin(), QByteArray(), QStringLiteral("?key=") + key);
    QTRY_COMPARE(first->messages.size(), 1);
    QTRY_COMPARE(second->messages.size(), 1);
    QCOMPARE(m_web->pages(), 2);

    QVERIFY(m_window->device().write("s22\r\n")); // out2 shows IN3
    for (Page *page : {first.get(), second.get()}) {
        QTRY_VERIFY(page->messages.size() >= 2);
        const QJsonObject state =
            json(page->messages.last()).value(QStringLiteral("state")).toObject();
        const QJsonObject out2 = state.value(QStringLiteral("outputs")).toArray()[1].toObject();
        QCOMPARE(out2.value(QStringLiteral("route")).toInt(), 3);
    }
    first->socket->close();
    QTRY_COMPARE(m_web->pages(), 1);
    QTRY_COMPARE(m_web->http().connections(), 1); // its connection is gone with it
}

void tst_WebServer::junkIsAnsweredAndThePageStays_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("answer"); // how the answer begins
    QTest::addColumn<bool>("echoed");    // the answer names the line

    QTest::newRow("unknown word") << QStringLiteral("launch missiles")
                                  << QStringLiteral("error unknown command") << true;
    QTest::newRow("output out of range")
        << QStringLiteral("route 9 1") << QStringLiteral("error") << true;
    QTest::newRow("control character")
        << QStringLiteral("route 1\n2") << QStringLiteral("error") << true;
    QTest::newRow("quote left open")
        << QStringLiteral("preset save \"x") << QStringLiteral("error") << true;
    QTest::newRow("over 1 KiB") << QString(1025, u'a') << QStringLiteral("error message too long")
                                << false;
    QTest::newRow("over 1 KiB in UTF-8")
        << QString(600, QChar(0xe9)) << QStringLiteral("error message too long") << false;
    QTest::newRow("monitor is not the page's")
        << QStringLiteral("monitor") << QStringLiteral("error") << true;
}

void tst_WebServer::junkIsAnsweredAndThePageStays()
{
    QFETCH(QString, message);
    QFETCH(QString, answer);
    QFETCH(bool, echoed);

    const auto page = open(origin(), m_cookie);
    QTRY_COMPARE(page->messages.size(), 1);
    page->socket->sendTextMessage(message);
    QTRY_COMPARE(page->messages.size(), 2);
    const QJsonObject got = json(page->messages[1]);
    QVERIFY2(got.value(QStringLiteral("answer")).toString().startsWith(answer),
             qPrintable(page->messages[1]));
    QCOMPARE(got.value(QStringLiteral("line")).isString(), echoed);
    QCOMPARE(m_window->device().readFor(50), QByteArray()); // nothing went on the line

    page->socket->sendBinaryMessage("route 1 1");
    QTRY_COMPARE(page->messages.size(), 3);
    QVERIFY(json(page->messages[2])
                .value(QStringLiteral("answer"))
                .toString()
                .startsWith(QStringLiteral("error send text")));

    page->socket->sendTextMessage(QStringLiteral("state"));
    QTRY_COMPARE(page->messages.size(), 4);
    QVERIFY(json(page->messages[3]).value(QStringLiteral("answer")).isObject());
    QVERIFY(!page->closed);
}

void tst_WebServer::upgradesOutsideTheRulesAreRefused_data()
{
    QTest::addColumn<QByteArray>("origin"); // "" for the page's own
    QTest::addColumn<QByteArray>("cookie");
    QTest::addColumn<QByteArray>("why");

    const QByteArray right = "velquor_key_@=" + key.toLatin1();
    QTest::newRow("another site") << QByteArray("http://evil.example") << right
                                  << QByteArray("the page is not this panel's");
    QTest::newRow("another port") << QByteArray("http://127.0.0.1:1") << right
                                  << QByteArray("the page is not this panel's");
    QTest::newRow("no origin") << QByteArray("-") << right
                               << QByteArray("the page is not this panel's");
    QTest::newRow("no key") << QByteArray() << QByteArray() << QByteArray("no access key");
    QTest::newRow("wrong key") << QByteArray() << QByteArray("velquor_key_@=00")
                               << QByteArray("wrong access key");
}

void tst_WebServer::upgradesOutsideTheRulesAreRefused()
{
    QFETCH(QByteArray, origin);
    QFETCH(QByteArray, cookie);
    QFETCH(QByteArray, why);
    // A refused upgrade leaves no line of Qt's behind.
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));

    const QByteArray own = withPort("http://127.0.0.1:@");
    const Raw raw = exchange(m_web->port(),
                             upgradeRequest(m_web->port(),
                                            origin.isEmpty() ? own
                                            : origin == "-"  ? QByteArray()
                                                             : origin,
                                            withPort(cookie)),
                             5000);
    QVERIFY2(raw.data.startsWith("HTTP/1.1 403 "), raw.data.constData()); // never 101
    QVERIFY(raw.data.endsWith(why + '\n'));
    QVERIFY(raw.closed);
    QCOMPARE(m_web->pages(), 0);
    QTRY_COMPARE(m_web->http().connections(), 0);
}

void tst_WebServer::refusalsMakeOneLine()
{
    HttpServing::Limits limits;
    limits.refusalNoteMs = 500;
    listenWith(limits);
    QSignalSpy notes(m_web.get(), &WebSurface::note);
    for (int i = 0; i < 20; ++i)
        exchange(m_web->port(), upgradeRequest(m_web->port(), "http://evil.example", m_cookie),
                 5000);
    QTRY_COMPARE(notes.size(), 1);
    QCOMPARE(notes[0][0].toString(), QStringLiteral("the web page refused or cut 20 connections "
                                                    "in 0.5 s: 20 the page is not this panel's"));
    QTest::qWait(1000); // one line for the 20, and none after them
    QCOMPARE(notes.size(), 1);
}

void tst_WebServer::atMostMaxPages()
{
    // The number the documentation gives, not the program's constant.
    std::vector<std::unique_ptr<Page>> pages;
    for (int i = 0; i < 32; ++i)
        pages.push_back(open(origin(), m_cookie));
    QTRY_COMPARE(m_web->pages(), 32);
    for (const auto &page : pages)
        QTRY_COMPARE(page->messages.size(), 1);

    // The next is refused before it is a WebSocket.
    const Raw extra =
        exchange(m_web->port(), upgradeRequest(m_web->port(), origin().toLatin1(), m_cookie), 5000);
    QVERIFY2(extra.data.startsWith("HTTP/1.1 503 "), extra.data.constData());
    QVERIFY(extra.data.contains("too many pages open (at most 32)"));
    QCOMPARE(m_web->pages(), 32);

    pages.front()->socket->close(); // one goes: another may come
    QTRY_COMPARE(m_web->pages(), 31);
    const auto next = open(origin(), m_cookie);
    QTRY_COMPARE(next->messages.size(), 1);
    QVERIFY(json(next->messages[0]).contains(QStringLiteral("state")));
}

void tst_WebServer::connectionRules_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("answers");
    QTest::addColumn<bool>("closes"); // at once, long before the idle time
    QTest::addColumn<QByteArray>("says");

    const QByteArray cookie = "\r\nCookie: velquor_key_@=" + key.toLatin1();
    const QByteArray style = "GET /style.css HTTP/1.1\r\nHost: 127.0.0.1" + cookie + "\r\n\r\n";
    QTest::newRow("HEAD: the headers alone, then the next answer")
        << "HEAD /style.css HTTP/1.1\r\nHost: 127.0.0.1" + cookie + "\r\n\r\n" + style << 2 << false
        << QByteArray("HTTP/1.1 200 ");
    QTest::newRow("Connection: close")
        << "GET /style.css HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close" + cookie + "\r\n\r\n"
        << 1 << true << QByteArray("\r\nConnection: close\r\n");
    QTest::newRow("HTTP/1.0") << "GET /style.css HTTP/1.0\r\nHost: 127.0.0.1" + cookie + "\r\n\r\n"
                              << 1 << true << QByteArray("\r\nConnection: close\r\n");
    QTest::newRow("upgrade to another protocol")
        << QByteArray("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: h2c\r\n"
                      "Connection: Upgrade\r\n\r\n")
        << 1 << true << QByteArray("HTTP/1.1 501 ");
}

void tst_WebServer::connectionRules()
{
    QFETCH(QByteArray, request);
    QFETCH(int, answers);
    QFETCH(bool, closes);
    QFETCH(QByteArray, says);
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));

    const Raw raw = exchange(m_web->port(), withPort(request), 3000);
    QCOMPARE(raw.data.count("HTTP/1.1 "), answers);
    QVERIFY2(raw.data.contains(says), raw.data.left(300).constData());
    QCOMPARE(raw.closed, closes);
    if (request.startsWith("HEAD")) {
        // The length of the body it would have had, and the next answer right after the head.
        const qsizetype headEnd = raw.data.indexOf("\r\n\r\n") + 4;
        QVERIFY(raw.data.contains(
            "\r\nContent-Length: " +
            QByteArray::number(get(QStringLiteral("/style.css"), m_cookie).body.size()) + "\r\n"));
        QCOMPARE(raw.data.indexOf("HTTP/1.1 ", 1), headEnd);
    }
}

void tst_WebServer::hostOtherThanLoopbackIsRefused()
{
    // Without a key on loopback, only a loopback Host is answered, as a page or as a socket.
    WebSurface open(m_window->control(), key, /*requireKey=*/false);
    QString why;
    QVERIFY2(open.listen(QHostAddress::LocalHost, 0, &why), qPrintable(why));
    QVERIFY(!open.keyNeeded());
    const QByteArray page = "GET / HTTP/1.1\r\nHost: @\r\nConnection: close\r\n\r\n";
    QVERIFY(exchange(open.port(), QByteArray(page).replace('@', "127.0.0.1"), 3000)
                .data.startsWith("HTTP/1.1 200 "));
    QVERIFY(exchange(open.port(), QByteArray(page).replace('@', "evil.example"), 3000)
                .data.startsWith("HTTP/1.1 403 "));
    QByteArray upgrade = upgradeRequest(open.port(), "http://evil.example", {});
    upgrade.replace("127.0.0.1:" + QByteArray::number(open.port()), "evil.example");
    QVERIFY(exchange(open.port(), upgrade, 3000).data.startsWith("HTTP/1.1 403 "));
}

void tst_WebServer::crowdIsBounded_data()
{
    QTest::addColumn<SlowClients::Kind>("kind");
    QTest::addColumn<int>("newcomer"); // the status a newcomer gets while the crowd is there
    QTest::newRow("idle: the one idle longest makes room") << SlowClients::Kind::Idle << 200;
    QTest::newRow("dribbling: 503 at once") << SlowClients::Kind::Dribbling << 503;
}

void tst_WebServer::crowdIsBounded()
{
    QFETCH(SlowClients::Kind, kind);
    QFETCH(int, newcomer);

    HttpServing::Limits limits;
    limits.maxConnections = 40;
    limits.requestTimeoutMs = 2000;
    listenWith(limits);
    const auto page = open(origin(), m_cookie);
    QTRY_COMPARE(page->messages.size(), 1);

    SlowClients crowd(m_web->port(), 60, kind);
    QVERIFY(crowd.waitForConnected());
    QTest::qWait(200);
    QVERIFY2(m_web->http().connections() <= 40,
             qPrintable(QString::number(m_web->http().connections())));

    // The open page works on: its command is carried out, and the device's report reaches it.
    page->socket->sendTextMessage(QStringLiteral("route 1 2"));
    QCOMPARE(m_window->device().read(5).toHex(' '), QByteArray("05 55 19 01 77"));
    QVERIFY(m_window->device().write("s11\r\n"));
    QTRY_VERIFY(page->messages.size() >= 3); // its answer and the state that follows

    // A newcomer gets its page, or a quick refusal; never a hang.
    const Raw raw = exchange(m_web->port(),
                             "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nCookie: " + m_cookie +
                                 "\r\nConnection: close\r\n\r\n",
                             5000);
    QVERIFY2(raw.data.startsWith("HTTP/1.1 " + QByteArray::number(newcomer) + ' '),
             raw.data.left(100).constData());

    // The crowd is cut once its time is up, whatever it does, and the page stays.
    QTRY_COMPARE_WITH_TIMEOUT(crowd.closedByServer(), crowd.connected(), 10000);
    QTRY_COMPARE(m_web->http().connections(), 1);
    QCOMPARE(m_web->pages(), 1);
    QVERIFY(!page->closed);
}

void tst_WebServer::pingFloodIsCut()
{
    HttpServing::Limits limits;
    limits.refusalNoteMs = 200;
    listenWith(limits);
    QSignalSpy notes(m_web.get(), &WebSurface::note);
    QSignalSpy pages(m_web.get(), &WebSurface::pagesChanged);
    const auto page = open(origin(), m_cookie);
    QTRY_COMPARE(page->messages.size(), 1);

    PingFlood flood(m_web->port(), m_cookie, 256 * 1024 * 1024);
    QVERIFY(flood.waitForUpgrade());
    // Its pongs pile up unread until the bound: then it is cut, long before all is sent.
    QTRY_VERIFY_WITH_TIMEOUT(flood.closedByServer(), 30000);
    QTRY_COMPARE(m_web->pages(), 1);
    QCOMPARE(pages.size(), 3); // the page, the flood, the flood gone
    QVERIFY2(flood.sent() < 128 * 1024 * 1024, qPrintable(QString::number(flood.sent())));
    QTRY_COMPARE(notes.size(), 1);
    QVERIFY2(notes[0][0].toString().endsWith(QStringLiteral("1 cut: a page left more than 1 MiB "
                                                            "unread")),
             qPrintable(notes[0][0].toString()));

    QVERIFY(m_window->device().write("s22\r\n")); // the other page goes on
    QTRY_COMPARE(page->messages.size(), 2);
    QTRY_COMPARE(m_web->http().connections(), 1);
}

void tst_WebServer::crowdAtTheDescriptorLimit()
{
    // The test holds 1,100 connections itself.
    rlimit own{};
    QVERIFY(getrlimit(RLIMIT_NOFILE, &own) == 0);
    if (own.rlim_max < 1400)
        QSKIP("this test needs 1,400 descriptors of its own");
    own.rlim_cur = own.rlim_max;
    QVERIFY(setrlimit(RLIMIT_NOFILE, &own) == 0);

    const ScratchDir &dir = m_window->dir();
    ProgramRun run({QStringLiteral("--headless"), QStringLiteral("--demo"), QStringLiteral("--web"),
                    QStringLiteral("127.0.0.1:0"), QStringLiteral("--control"),
                    QStringLiteral("unix:panel.sock")},
                   dir.path(), dir.path());
    run.limitDescriptors(1024);
    QVERIFY(run.start());
    const QRegularExpression printed(QStringLiteral("web page on http://127\\.0\\.0\\.1:(\\d+)/"));
    QTRY_VERIFY_WITH_TIMEOUT(printed.match(run.standardError()).hasMatch(), 10000);
    const auto port = quint16(printed.match(run.standardError()).captured(1).toUInt());

    SlowClients crowd(port, 1100, SlowClients::Kind::Idle);
    QVERIFY(crowd.waitForConnected(10000)); // each is taken, none hangs
    QTest::qWait(500);

    QNetworkRequest request(QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(port)));
    std::unique_ptr<QNetworkReply> reply(m_net.get(request));
    QSignalSpy finished(reply.get(), &QNetworkReply::finished);
    QVERIFY(finished.wait(5000));
    QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 200);

    ControlClient control(QDir(dir.path()).filePath(QStringLiteral("panel.sock")));
    QVERIFY(control.waitForConnected());
    QVERIFY(control.ask("state", 5000).startsWith("{"));
    QCOMPARE(control.ask("name in 1 Stage", 5000),
             QByteArray("ok")); // the settings file is written
    QCOMPARE(run.endWith(SIGTERM), 0);
}

void tst_WebServer::openOnPhoneShowsTheAddressAndItsCode()
{
    const QString address = m_web->pageAddress(QStringLiteral("192.168.1.20"));
    QCOMPARE(address, QStringLiteral("http://192.168.1.20:%1/?key=%2").arg(m_web->port()).arg(key));

    Form1 &form = m_window->form();
    addOpenOnPhone(form, address);
    const std::unique_ptr<QMenu> menu = controls(form).switchPageMenu->build();
    QAction *entry = nullptr;
    for (QAction *action : menu->actions()) {
        if (action->text() == QStringLiteral("Open on a phone\u2026"))
            entry = action;
    }
    QVERIFY(entry);
    entry->trigger();
    auto *dialog = form.findChild<PhoneDialog *>();
    QVERIFY(dialog);
    QCOMPARE(dialog->findChild<QLineEdit *>(QStringLiteral("address"))->text(), address);
    QVERIFY(!dialog->findChild<QLabel *>(QStringLiteral("qrcode"))->pixmap().isNull());
    entry->trigger(); // the same dialog again, not a second one
    QCOMPARE(form.findChildren<PhoneDialog *>().size(), 1);

    // A QR code: square, its quiet zone white, a finder pattern's dark corner in the corner.
    const QImage code = qrCodeImage(address);
    QCOMPARE(code.width(), code.height());
    QVERIFY((code.width() - 8 - 21) % 4 == 0);
    QCOMPARE(code.pixelColor(0, 0), QColor(Qt::white));
    QCOMPARE(code.pixelColor(4, 4), QColor(Qt::black));
    QCOMPARE(code.pixelColor(code.width() - 5, 4), QColor(Qt::black));
    QCOMPARE(code.pixelColor(4 + 7, 4 + 7), QColor(Qt::white)); // the separator
}

void tst_WebServer::theProgramMakesItsKeyOnceAndKeepsIt_data()
{
    QTest::addColumn<QByteArray>("keyLine"); // in [web] before the first start
    QTest::addColumn<QString>("warning");
    QTest::newRow("none yet") << QByteArray() << QString();
    QTest::newRow("one too short to keep")
        << QByteArray("key=1234\n")
        << QStringLiteral("is not 32 hex digits; a new key replaces it");
}

void tst_WebServer::theProgramMakesItsKeyOnceAndKeepsIt()
{
    QFETCH(QByteArray, keyLine);
    QFETCH(QString, warning);

    const ScratchDir &dir = m_window->dir();
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("velquor")));
    QVERIFY(dir.write(QStringLiteral("velquor/velquor.conf"),
                      "[web]\nrequire_key=true\nlisten=127.0.0.1:0\n" + keyLine));
    const QRegularExpression printed(QStringLiteral("web page on (http://127\\.0\\.0\\.1:\\d+/"
                                                    "\\?key=([0-9a-f]{32}))\n"));
    QStringList keys;
    for (int start = 0; start < 2; ++start) {
        ProgramRun run({QStringLiteral("--headless"), QStringLiteral("--demo")}, dir.path(),
                       dir.path());
        QVERIFY(run.start());
        QTRY_VERIFY_WITH_TIMEOUT(printed.match(run.standardError()).hasMatch(), 10000);
        const QRegularExpressionMatch match = printed.match(run.standardError());
        keys.append(match.captured(2));
        QCOMPARE(run.standardError().contains(warning) && !warning.isEmpty(),
                 start == 0 && !warning.isEmpty());
        // The address it printed opens the page, and only with its key.
        QNetworkRequest request{QUrl(match.captured(1))};
        std::unique_ptr<QNetworkReply> reply(m_net.get(request));
        QSignalSpy finished(reply.get(), &QNetworkReply::finished);
        QVERIFY(finished.wait(10000));
        QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 200);
        QCOMPARE(run.endWith(SIGTERM), 0);
    }
    QCOMPARE(keys[1], keys[0]);
    QVERIFY(dir.read(QStringLiteral("velquor/velquor.conf")).contains("key=" + keys[0].toLatin1()));
}

QTEST_MAIN(tst_WebServer)
#include "tst_webserver.moc"
