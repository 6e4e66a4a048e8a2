// SPDX-License-Identifier: MIT
// The --port argument: which arguments map a COM port to a device, and to which one.

#include "portmap.h"

#include <QTest>

using namespace Qt::StringLiterals;

class tst_PortMap : public QObject
{
    Q_OBJECT

private slots:
    void addMapping_data();
    void addMapping();
    void networkPort_data();
    void networkPort();
    void unmappedPortsOpenTheSystemPort();
};

void tst_PortMap::addMapping_data()
{
    QTest::addColumn<QString>("argument");
    QTest::addColumn<int>("port"); // 0: refused
    QTest::addColumn<QString>("device");

    QTest::newRow("adapter") << u"COM3=/dev/ttyUSB0"_s << 3 << u"/dev/ttyUSB0"_s;
    QTest::newRow("lower-case prefix") << u"com1=/dev/pts/4"_s << 1 << u"/dev/pts/4"_s;
    QTest::newRow("highest port") << u"COM255=/dev/ttyS9"_s << 255 << u"/dev/ttyS9"_s;
    QTest::newRow("leading zeros") << u"COM007=/dev/ttyS1"_s << 7 << u"/dev/ttyS1"_s;
    QTest::newRow("equals sign inside the path") << u"COM2=/tmp/a=b"_s << 2 << u"/tmp/a=b"_s;
    QTest::newRow("blank inside the path") << u"COM2=/tmp/my port"_s << 2 << u"/tmp/my port"_s;
    QTest::newRow("port 0") << u"COM0=/dev/ttyS0"_s << 0 << QString();
    QTest::newRow("port 256") << u"COM256=/dev/ttyS0"_s << 0 << QString();
    QTest::newRow("four digits") << u"COM0001=/dev/ttyS0"_s << 0 << QString();
    QTest::newRow("no path") << u"COM1="_s << 0 << QString();
    QTest::newRow("no number") << u"COM=/dev/ttyS0"_s << 0 << QString();
    QTest::newRow("no equals sign") << u"COM1/dev/ttyS0"_s << 0 << QString();
    QTest::newRow("blank before the number") << u"COM 1=/dev/ttyS0"_s << 0 << QString();
    QTest::newRow("text before COM") << u"xCOM1=/dev/ttyS0"_s << 0 << QString();
    // Found by fuzzing: a final line feed must not be cut off to map a device that was not
    // named.
    QTest::newRow("path ending in a line feed") << u"COM1=/dev/ttyS0\n"_s << 0 << QString();
    QTest::newRow("raw server") << u"COM2=tcp://192.168.1.50:4001"_s << 2
                                << u"tcp://192.168.1.50:4001"_s;
    QTest::newRow("RFC 2217 server, IPv6")
        << u"COM1=rfc2217://[fe80::1]:2217"_s << 1 << u"rfc2217://[fe80::1]:2217"_s;
    QTest::newRow("server without a port") << u"COM1=tcp://host"_s << 0 << QString();
    QTest::newRow("server on port 0") << u"COM1=rfc2217://host:0"_s << 0 << QString();
    QTest::newRow("server port beyond 65535") << u"COM1=tcp://host:65536"_s << 0 << QString();
    QTest::newRow("server with a path") << u"COM1=tcp://host:23/x"_s << 0 << QString();
    QTest::newRow("server name with a blank") << u"COM1=tcp://my host:23"_s << 0 << QString();
    QTest::newRow("line feed inside the path") << u"COM1=/dev/tty\nS0"_s << 0 << QString();
    QTest::newRow("path of 4095 bytes, the system's limit")
        << u"COM1=/dev/"_s + QString(4090, u'x') << 1 << u"/dev/"_s + QString(4090, u'x');
    QTest::newRow("path of 4096 bytes") << u"COM1=/dev/"_s + QString(4091, u'x') << 0 << QString();
    QTest::newRow("path of 70,000 characters")
        << u"COM1=/dev/"_s + QString(70000, u'x') << 0 << QString();
    QTest::newRow("4096 bytes in UTF-8, fewer characters")
        << u"COM1=/dev/"_s + QString(1400, u'\u00e9') + QString(1291, u'x') << 0 << QString();
    QTest::newRow("70,000 characters without an equals sign")
        << QString(70000, u'x') << 0 << QString();
}

void tst_PortMap::networkPort_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<bool>("rfc2217");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::newRow("raw") << u"tcp://127.0.0.1:4001"_s << false << u"127.0.0.1"_s << 4001;
    QTest::newRow("rfc2217, upper case")
        << u"RFC2217://Rack-7.local:65535"_s << true << u"Rack-7.local"_s << 65535;
    QTest::newRow("IPv6 in brackets") << u"tcp://[::1]:1"_s << false << u"::1"_s << 1;
}

void tst_PortMap::networkPort()
{
    QFETCH(QString, entry);
    QFETCH(bool, rfc2217);
    QFETCH(QString, host);
    QFETCH(int, port);
    QVERIFY(isNetworkEntry(entry));
    const std::optional<NetworkPort> server = parseNetworkPort(entry);
    QVERIFY(server);
    QCOMPARE(server->kind == NetworkPort::Kind::Rfc2217, rfc2217);
    QCOMPARE(server->host, host);
    QCOMPARE(int(server->port), port);
    QVERIFY(!isNetworkEntry(u"/dev/tcp://x:1"_s));
}

void tst_PortMap::addMapping()
{
    QFETCH(QString, argument);
    QFETCH(int, port);
    QFETCH(QString, device);

    PortMap ports;
    QString error;
    QCOMPARE(ports.addMapping(argument, &error), port != 0);
    if (port != 0) {
        QVERIFY(ports.isMapped(port));
        QCOMPARE(ports.deviceFor(port), device);
        QVERIFY(error.isEmpty());
    } else {
        for (int n = 0; n <= PortMap::maxPort + 1; ++n)
            QVERIFY2(!ports.isMapped(n), qPrintable(QString::number(n)));
        // One line that says what is wrong, however long the argument.
        QVERIFY(!error.isEmpty());
        QVERIFY2(error.size() < 200 && !error.contains(u'\n'), qPrintable(error.left(300)));
    }
}

void tst_PortMap::unmappedPortsOpenTheSystemPort()
{
    PortMap ports;
    QVERIFY(ports.addMapping(u"COM2=/dev/ttyUSB0"_s));
    QCOMPARE(ports.deviceFor(2), u"/dev/ttyUSB0"_s);
#ifdef Q_OS_WIN
    QCOMPARE(ports.deviceFor(1), u"COM1"_s);
#else
    QCOMPARE(ports.deviceFor(1), u"/dev/ttyS0"_s);
    QCOMPARE(ports.deviceFor(10), u"/dev/ttyS9"_s);
#endif
}

QTEST_GUILESS_MAIN(tst_PortMap)
#include "tst_portmap.moc"
