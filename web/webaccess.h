// SPDX-License-Identifier: MIT
#pragma once

// Who may use the panel's web page, decided without a server or a browser: the page switches
// a real device, so on any address but a loopback one every request carries the access key,
// in the address (?key=) or in the cookie a visit with the key left behind. A page's
// WebSocket must come from the page's own origin, and whatever a visitor sends is bounded.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace webaccess {

// 128 random bits as 32 lower-case hex digits.
constexpr qsizetype keyLength = 32;
// The bounds of what a visitor sends.
constexpr qsizetype maxRequestBytes = 8 * 1024; // request line, headers and body: else 413
constexpr qsizetype maxMessageBytes = 1024;     // one WebSocket message: else an error line
constexpr int maxPages = 32;                    // WebSockets open at once: the next is refused
// Connections at once, pages' sockets included: far below the descriptors a process may have
// (1,024 at least), far above the pages. One more closes the connection idle longest, or when
// none is idle gets 503 at once.
constexpr int maxConnections = 256;
// A request's line and headers must have come whole this long after the connection opened, or
// after the request's first byte on a kept-alive one; else the connection is closed.
constexpr int requestTimeoutMs = 10'000;
// A kept-alive connection that sends no next request for this long is closed.
constexpr int idleTimeoutMs = 15'000;
// What a page's socket may leave unread (its pushes, answers and pongs): past it, it is closed.
constexpr qint64 maxUnsentBytes = 1024 * 1024;

// The cookie a visit with the right key sets, named after the port: browsers send a host's
// cookies to each of its ports, so that any other service on this computer would get a cookie
// of one name for all ("velquor_key_8080").
QByteArray cookieName(quint16 port);
// The name the cookie had when it was one for all ports: a keyed visit deletes it.
inline constexpr char oldCookieName[] = "velquor_key";

// A new key from the system's random source.
QString makeKey();
// A key as the settings file may hold it: 32 hex digits.
bool isWellFormedKey(QStringView key);
// Compares in time that does not depend on where the two first differ.
bool sameKey(QByteArrayView given, QByteArrayView key);

// [web] require_key: true or false (empty is false); *ok false, and false, for anything else.
bool readRequireKey(const QString &text, bool *ok);

// A key is needed on any address other than a loopback one, and on a loopback one too when
// the settings file asks for it (a computer that others share).
bool keyNeeded(bool loopbackAddress, bool requireKey);

// The value of one cookie in a Cookie header ("a=1; velquor_key=…"); empty when absent.
QByteArray cookieValue(QByteArrayView cookieHeader, QByteArrayView name);

struct KeyCheck
{
    enum class Verdict {
        Open,      // no key is needed
        ByAddress, // the right key in ?key=: the answer sets the cookie
        ByCookie,  // the right key in the cookie
        Missing,   // neither gives a key
        Wrong,     // a key that is not this panel's
    };
    Verdict verdict = Verdict::Missing;
    bool allowed() const
    {
        return verdict == Verdict::Open || verdict == Verdict::ByAddress ||
               verdict == Verdict::ByCookie;
    }
};

// What a request brings: the key of its address, when it has one, and its Cookie header, in
// which the cookie named cookie counts. A key in the address is judged on its own, so that a
// wrong one is never saved by an old cookie.
KeyCheck checkKey(bool needed, QByteArrayView key, const QByteArray *addressKey,
                  QByteArrayView cookieHeader, QByteArrayView cookie);

// The Set-Cookie value that keeps the key in this browser under the name cookie.
QByteArray keyCookie(QByteArrayView cookie, QByteArrayView key);
// The Set-Cookie value that deletes the cookie of that name.
QByteArray deletedCookie(QByteArrayView cookie);

// The 401 page: a few lines that say whether the key is missing or wrong, and where it is.
QByteArray refusalPage(KeyCheck::Verdict verdict);

// A WebSocket's Origin header is the page's own origin: http:// and the Host header the
// browser sent with the upgrade, the same host and port.
bool sameOrigin(QByteArrayView origin, QByteArrayView host);

// The Host header names this computer (localhost, 127.x.y.z, [::1]), with or without a port.
// A page served without a key answers only such requests, so that a site whose name has been
// pointed at this computer cannot reach it from the visitor's browser.
bool isLoopbackHost(QByteArrayView host);

} // namespace webaccess
