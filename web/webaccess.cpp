// SPDX-License-Identifier: MIT
#include "webaccess.h"

#include <QHostAddress>
#include <QRandomGenerator>

namespace webaccess {

QString makeKey()
{
    quint32 words[4];
    QRandomGenerator::system()->fillRange(words);
    const QByteArray bytes(reinterpret_cast<const char *>(words), sizeof words);
    return QString::fromLatin1(bytes.toHex());
}

bool isWellFormedKey(QStringView key)
{
    if (key.size() != keyLength)
        return false;
    for (const QChar c : key) {
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F')))
            return false;
    }
    return true;
}

bool sameKey(QByteArrayView given, QByteArrayView key)
{
    if (key.isEmpty() || given.size() != key.size())
        return false;
    unsigned difference = 0;
    for (qsizetype i = 0; i < key.size(); ++i)
        difference |= unsigned(quint8(given[i]) ^ quint8(key[i]));
    return difference == 0;
}

bool readRequireKey(const QString &text, bool *ok)
{
    const QString word = text.trimmed().toLower();
    *ok = word.isEmpty() || word == QLatin1String("true") || word == QLatin1String("false");
    return word == QLatin1String("true");
}

bool keyNeeded(bool loopbackAddress, bool requireKey)
{
    return !loopbackAddress || requireKey;
}

QByteArray cookieValue(QByteArrayView cookieHeader, QByteArrayView name)
{
    for (const QByteArray &pair : cookieHeader.toByteArray().split(';')) {
        const qsizetype equals = pair.indexOf('=');
        if (equals < 0)
            continue;
        if (pair.left(equals).trimmed() == name)
            return pair.mid(equals + 1).trimmed();
    }
    return {};
}

QByteArray cookieName(quint16 port)
{
    return QByteArray(oldCookieName) + '_' + QByteArray::number(port);
}

KeyCheck checkKey(bool needed, QByteArrayView key, const QByteArray *addressKey,
                  QByteArrayView cookieHeader, QByteArrayView name)
{
    using Verdict = KeyCheck::Verdict;
    if (!needed)
        return {Verdict::Open};
    if (addressKey)
        return {sameKey(*addressKey, key) ? Verdict::ByAddress : Verdict::Wrong};
    const QByteArray cookie = cookieValue(cookieHeader, name);
    if (cookie.isEmpty())
        return {Verdict::Missing};
    return {sameKey(cookie, key) ? Verdict::ByCookie : Verdict::Wrong};
}

QByteArray keyCookie(QByteArrayView cookie, QByteArrayView key)
{
    return cookie.toByteArray() + '=' + key.toByteArray() +
           "; Path=/; Max-Age=31536000; HttpOnly; SameSite=Strict";
}

QByteArray deletedCookie(QByteArrayView cookie)
{
    return cookie.toByteArray() + "=; Path=/; Max-Age=0; HttpOnly; SameSite=Strict";
}

QByteArray refusalPage(KeyCheck::Verdict verdict)
{
    const QByteArray what = verdict == KeyCheck::Verdict::Wrong
                                ? "The access key in this address is not this panel's."
                                : "This address has no access key.";
    return "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
           "<title>Access key needed</title></head><body>"
           "<h1>Access key needed</h1><p>" +
           what +
           "</p><p>Open the address the panel printed when it started, or the one "
           "\"Open on a phone\xe2\x80\xa6\" shows in its window, with <code>?key=</code> "
           "and the key.</p></body></html>\n";
}

namespace {

// A Host header's port: one to five decimal digits.
bool isPort(QByteArrayView text)
{
    if (text.isEmpty() || text.size() > 5)
        return false;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

// The host of a Host header, without its port and the brackets of an IPv6 address; empty
// when the header is malformed.
QByteArray hostPart(QByteArrayView host)
{
    const QByteArray text = host.toByteArray().trimmed().toLower();
    QByteArray name = text;
    QByteArray rest;
    if (text.startsWith('[')) {
        const qsizetype close = text.indexOf(']');
        if (close < 0)
            return {};
        name = text.mid(1, close - 1);
        rest = text.mid(close + 1);
    } else if (const qsizetype colon = text.indexOf(':'); colon >= 0) {
        name = text.left(colon);
        rest = text.mid(colon);
    }
    if (!rest.isEmpty() && !(rest.startsWith(':') && isPort(rest.mid(1))))
        return {};
    return name;
}

} // namespace

bool sameOrigin(QByteArrayView origin, QByteArrayView host)
{
    const QByteArray wanted = "http://" + host.toByteArray().trimmed().toLower();
    if (hostPart(host).isEmpty())
        return false;
    return origin.toByteArray().trimmed().toLower() == wanted;
}

bool isLoopbackHost(QByteArrayView host)
{
    const QByteArray name = hostPart(host);
    if (name == "localhost")
        return true;
    // Only the characters of an address: QHostAddress would pass over blanks within it.
    for (const char c : name) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || c == '.' || c == ':'))
            return false;
    }
    const QHostAddress address(QString::fromLatin1(name));
    return !address.isNull() && address.isLoopback();
}

} // namespace webaccess
