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
    QTest::newRow("line feed inside the path") << u"COM1=/dev/tty\nS0"_s << 0 << QString();
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
        QVERIFY(!error.isEmpty());
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
