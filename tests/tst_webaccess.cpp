// SPDX-License-Identifier: MIT
// Who may use the web page, without a server or a browser: the access key by address and by
// cookie, the loopback rule, the origin of a page's WebSocket and the Host of a request.

#include "webaccess.h"

#include <QSet>
#include <QTest>

using namespace webaccess;
using Verdict = KeyCheck::Verdict;

Q_DECLARE_METATYPE(KeyCheck::Verdict)

namespace {
const QByteArray key = "0123456789abcdef0123456789abcdef";
}

class tst_WebAccess : public QObject
{
    Q_OBJECT

private slots:
    void keyCheck_data();
    void keyCheck();
    void sameOriginOnly_data();
    void sameOriginOnly();
    void loopbackHost_data();
    void loopbackHost();
    void madeKeysAreWellFormedAndDiffer();
    void requireKeySetting_data();
    void requireKeySetting();
};

void tst_WebAccess::keyCheck_data()
{
    QTest::addColumn<bool>("loopback");
    QTest::addColumn<bool>("requireKey");
    QTest::addColumn<QByteArray>("addressKey"); // "-" for an address without ?key=
    QTest::addColumn<QByteArray>("cookie");
    QTest::addColumn<Verdict>("verdict");

    const QByteArray none = "-";
    const QByteArray right = "velquor_key=" + key;
    QTest::newRow("loopback: open") << true << false << none << QByteArray() << Verdict::Open;
    QTest::newRow("loopback: a wrong key does not matter")
        << true << false << QByteArray("x") << QByteArray() << Verdict::Open;
    QTest::newRow("loopback, require_key: nothing")
        << true << true << none << QByteArray() << Verdict::Missing;
    QTest::newRow("network: nothing") << false << false << none << QByteArray() << Verdict::Missing;
    QTest::newRow("network: right key in the address")
        << false << false << key << QByteArray() << Verdict::ByAddress;
    QTest::newRow("network: upper-case key is another key")
        << false << false << key.toUpper() << QByteArray() << Verdict::Wrong;
    QTest::newRow("network: empty ?key=")
        << false << false << QByteArray() << QByteArray() << Verdict::Wrong;
    QTest::newRow("network: key one digit short")
        << false << false << key.left(31) << QByteArray() << Verdict::Wrong;
    QTest::newRow("network: key with a digit more")
        << false << false << key + '0' << QByteArray() << Verdict::Wrong;
    QTest::newRow("network: right cookie") << false << false << none << right << Verdict::ByCookie;
    QTest::newRow("network: right cookie among others")
        << false << false << none << ("theme=dark;  " + right + " ; x=1") << Verdict::ByCookie;
    QTest::newRow("network: cookie of another name")
        << false << false << none << ("other_key=" + key) << Verdict::Missing;
    QTest::newRow("network: cookie name as a suffix")
        << false << false << none << ("xvelquor_key=" + key) << Verdict::Missing;
    QTest::newRow("network: wrong cookie")
        << false << false << none << QByteArray("velquor_key=ffff") << Verdict::Wrong;
    QTest::newRow("network: a wrong address key is not saved by the cookie")
        << false << false << QByteArray("bad") << right << Verdict::Wrong;
    QTest::newRow("network: the right address key over an old cookie")
        << false << false << key << QByteArray("velquor_key=old") << Verdict::ByAddress;
}

void tst_WebAccess::keyCheck()
{
    QFETCH(bool, loopback);
    QFETCH(bool, requireKey);
    QFETCH(QByteArray, addressKey);
    QFETCH(QByteArray, cookie);
    QFETCH(Verdict, verdict);

    const bool given = addressKey != "-";
    const KeyCheck check = checkKey(keyNeeded(loopback, requireKey), key,
                                    given ? &addressKey : nullptr, cookie, "velquor_key");
    QCOMPARE(check.verdict, verdict);
    QCOMPARE(check.allowed(), verdict == Verdict::Open || verdict == Verdict::ByAddress ||
                                  verdict == Verdict::ByCookie);
}

void tst_WebAccess::sameOriginOnly_data()
{
    QTest::addColumn<QByteArray>("origin");
    QTest::addColumn<QByteArray>("host");
    QTest::addColumn<bool>("same");

    QTest::newRow("same host and port")
        << QByteArray("http://192.168.1.20:8080") << QByteArray("192.168.1.20:8080") << true;
    QTest::newRow("host names differ in case")
        << QByteArray("http://Panel.local:8080") << QByteArray("panel.local:8080") << true;
    QTest::newRow("IPv6") << QByteArray("http://[::1]:8080") << QByteArray("[::1]:8080") << true;
    QTest::newRow("port 80 left out") << QByteArray("http://panel") << QByteArray("panel") << true;
    QTest::newRow("another port") << QByteArray("http://192.168.1.20:9090")
                                  << QByteArray("192.168.1.20:8080") << false;
    QTest::newRow("another host") << QByteArray("http://evil.example:8080")
                                  << QByteArray("192.168.1.20:8080") << false;
    QTest::newRow("https") << QByteArray("https://192.168.1.20:8080")
                           << QByteArray("192.168.1.20:8080") << false;
    QTest::newRow("a host that only begins alike")
        << QByteArray("http://192.168.1.20:80800") << QByteArray("192.168.1.20:8080") << false;
    QTest::newRow("no origin") << QByteArray() << QByteArray("192.168.1.20:8080") << false;
    QTest::newRow("null origin (a file, a sandbox)")
        << QByteArray("null") << QByteArray("192.168.1.20:8080") << false;
    QTest::newRow("no host") << QByteArray("http://") << QByteArray() << false;
    QTest::newRow("malformed host") << QByteArray("http://a:b:c") << QByteArray("a:b:c") << false;
}

void tst_WebAccess::sameOriginOnly()
{
    QFETCH(QByteArray, origin);
    QFETCH(QByteArray, host);
    QFETCH(bool, same);
    QCOMPARE(sameOrigin(origin, host), same);
}

void tst_WebAccess::loopbackHost_data()
{
    QTest::addColumn<QByteArray>("host");
    QTest::addColumn<bool>("loopback");
    QTest::newRow("127.0.0.1 with port") << QByteArray("127.0.0.1:8080") << true;
    QTest::newRow("127.8.9.10") << QByteArray("127.8.9.10") << true;
    QTest::newRow("localhost") << QByteArray("LocalHost:80") << true;
    QTest::newRow("[::1]") << QByteArray("[::1]:8080") << true;
    QTest::newRow("a name pointed at 127.0.0.1") << QByteArray("evil.example:8080") << false;
    QTest::newRow("localhost as a prefix") << QByteArray("localhost.evil.example") << false;
    QTest::newRow("network address") << QByteArray("192.168.1.20:8080") << false;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("bracket left open") << QByteArray("[::1") << false;
    QTest::newRow("junk after the bracket") << QByteArray("[::1]x") << false;
    QTest::newRow("a port that is no number") << QByteArray("127.0.0.1:80x") << false;
    QTest::newRow("IPv6 without brackets") << QByteArray("::1") << false;
}

void tst_WebAccess::loopbackHost()
{
    QFETCH(QByteArray, host);
    QFETCH(bool, loopback);
    QCOMPARE(isLoopbackHost(host), loopback);
}

void tst_WebAccess::madeKeysAreWellFormedAndDiffer()
{
    QSet<QString> keys;
    for (int i = 0; i < 64; ++i) {
        const QString made = makeKey();
        QVERIFY2(isWellFormedKey(made), qPrintable(made));
        QCOMPARE(made, made.toLower());
        keys.insert(made);
    }
    QCOMPARE(keys.size(), 64);
}

void tst_WebAccess::requireKeySetting_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<bool>("require");
    QTest::newRow("not set") << QString() << true << false;
    QTest::newRow("true") << QStringLiteral("true") << true << true;
    QTest::newRow("TRUE with blanks") << QStringLiteral(" TRUE ") << true << true;
    QTest::newRow("false") << QStringLiteral("false") << true << false;
    QTest::newRow("yes is no boolean here") << QStringLiteral("yes") << false << false;
}

void tst_WebAccess::requireKeySetting()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(bool, require);
    bool read = !ok;
    QCOMPARE(readRequireKey(text, &read), require);
    QCOMPARE(read, ok);
}

QTEST_GUILESS_MAIN(tst_WebAccess)
#include "tst_webaccess.moc"
