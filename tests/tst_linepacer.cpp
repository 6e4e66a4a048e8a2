// SPDX-License-Identifier: MIT
#include "linepacer.h"

#include <QTest>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// One write of the device (at ms), or one hand-over to the panel's side (at us).
struct Sent
{
    int atMs;
    QByteArray bytes;
};
using Handed = QList<QPair<qint64, QByteArray>>;

// Runs the pacer on its own clock: the device's writes at their times, and a hand-over
// whenever the pacer says one is due, in time order.
Handed run(LinePacer &pacer, QList<Sent> sends)
{
    Handed handed;
    for (;;) {
        const qint64 due = pacer.nextTakeUs();
        const qint64 nextSend = sends.isEmpty() ? -1 : qint64(sends.first().atMs) * 1000;
        if (due < 0 && nextSend < 0)
            return handed;
        if (nextSend >= 0 && (due < 0 || nextSend <= due)) {
            pacer.send(sends.takeFirst().bytes, nextSend);
            continue;
        }
        const QByteArray bytes = pacer.take(due);
        if (bytes.isEmpty())
            return handed << qMakePair(due, "<nothing was handed over when due>"_ba);
        handed.append({due, bytes});
    }
}

} // namespace

Q_DECLARE_METATYPE(QList<Sent>)

class tst_LinePacer : public QObject
{
    Q_OBJECT

private slots:
    void handsOverAsTheLineWould_data();
    void handsOverAsTheLineWould();
    void nothingBeforeItIsDue();
    void deviceFasterThanItsLine_data();
    void deviceFasterThanItsLine();
    void parse_data();
    void parse();
};

void tst_LinePacer::handsOverAsTheLineWould_data()
{
    QTest::addColumn<QString>("delivery");
    QTest::addColumn<QList<Sent>>("sends");
    QTest::addColumn<Handed>("handed");

    const qint64 byte = LinePacer::byteUs; // 1041 us a byte at 9600 baud 8N1
    const QByteArray status = "s10\r\ns21\r\ns32\r\ns43\r\nMD0\r\nRS1\r\nMP0\r\n"_ba; // 35 bytes

    // clang-format off
    QTest::newRow("instant: everything the moment it is sent")
        << u"instant"_s << QList<Sent>{{0, "MD1\r\nRS3\r\n"}} << Handed{{0, "MD1\r\nRS3\r\n"}};
    QTest::newRow("usb: a short reply waits for the adapter's 16 ms")
        << u"usb"_s << QList<Sent>{{0, "MD1\r\n"}} << Handed{{16000, "MD1\r\n"}};
    QTest::newRow("usb: the status answer in three chunks of what has arrived")
        << u"usb"_s << QList<Sent>{{0, status}}
        << Handed{{16000, status.first(15)}, {32000, status.sliced(15, 15)},
                  {48000, status.sliced(30)}};
    QTest::newRow("usb: a reply sent while another is on the line follows it, one chunk")
        << u"usb"_s << QList<Sent>{{0, "MD1\r\n"}, {2, "RS3\r\n"}}
        << Handed{{16000, "MD1\r\nRS3\r\n"}};
    QTest::newRow("usb: a reply after a quiet line comes on the next tick")
        << u"usb"_s << QList<Sent>{{0, "MD1\r\n"}, {100, "RS3\r\n"}}
        << Handed{{16000, "MD1\r\n"}, {112000, "RS3\r\n"}};
    QTest::newRow("bytes: each byte once its stop bit is in")
        << u"bytes"_s << QList<Sent>{{0, "MD1\r\n"}}
        << Handed{{byte, "M"}, {2 * byte, "D"}, {3 * byte, "1"}, {4 * byte, "\r"},
                  {5 * byte, "\n"}};
    QTest::newRow("chunks: two bytes every 10 ms")
        << u"chunks:2/10"_s << QList<Sent>{{0, "MD1\r\n"}}
        << Handed{{0, "MD"}, {10000, "1\r"}, {20000, "\n"}};
    QTest::newRow("gap: a pause after each reply line")
        << u"instant+gap:50"_s << QList<Sent>{{0, "MD1\r\nRS3\r\n"}}
        << Handed{{0, "MD1\r\n"}, {50000, "RS3\r\n"}};
    QTest::newRow("gap at line pace counts from the line end")
        << u"bytes+gap:20"_s << QList<Sent>{{0, "a\nb"}}
        << Handed{{byte, "a"}, {2 * byte, "\n"}, {2 * byte + 20000 + byte, "b"}};
    // clang-format on
}

void tst_LinePacer::handsOverAsTheLineWould()
{
    QFETCH(QString, delivery);
    QFETCH(QList<Sent>, sends);
    QFETCH(Handed, handed);

    const std::optional<LineDelivery> chosen = LineDelivery::parse(delivery);
    QVERIFY(chosen);
    LinePacer pacer(*chosen);
    QCOMPARE(run(pacer, sends), handed);
    QVERIFY(pacer.isEmpty());
}

void tst_LinePacer::nothingBeforeItIsDue()
{
    LinePacer pacer(LineDelivery::usbAdapter());
    pacer.send("MD1\r\n", 0);
    QCOMPARE(pacer.take(15999), QByteArray());
    QCOMPARE(pacer.waitingBytes(), 5);
    // A late hand-over takes what has arrived by then, and no more.
    pacer.send("RS3\r\n", 15000);
    QCOMPARE(pacer.take(16000 + 3 * LinePacer::byteUs), "MD1\r\nRS3"_ba);
    pacer.clear();
    QCOMPARE(pacer.nextTakeUs(), -1);
}

void tst_LinePacer::deviceFasterThanItsLine_data()
{
    QTest::addColumn<QString>("delivery");
    QTest::addColumn<int>("carriedPerSecond"); // bytes the line hands over in a second
    QTest::newRow("usb: 960 B/s") << u"usb"_s << 960;
    QTest::newRow("bytes: 960 B/s") << u"bytes"_s << 960;
    QTest::newRow("chunks: 10 bytes every 100 ms") << u"chunks:10/100"_s << 100;
}

void tst_LinePacer::deviceFasterThanItsLine()
{
    // A status answer asked for every 10 ms, 3.5 KB/s, for a minute: the device keeps no more
    // than it can hold, loses whole replies, and its line carries all it can.
    QFETCH(QString, delivery);
    QFETCH(int, carriedPerSecond);
    const QByteArray status = "s10\r\ns21\r\ns32\r\ns43\r\nMD0\r\nRS1\r\nMP0\r\n"_ba;
    LinePacer pacer(*LineDelivery::parse(delivery));
    qsizetype kept = 0;
    QByteArray handed;
    qsizetype mostWaiting = 0;
    for (qint64 now = 0; now < 60'000'000; now += 1000) {
        if (now % 10'000 == 0 && pacer.send(status, now))
            kept += status.size();
        handed += pacer.take(now);
        mostWaiting = std::max(mostWaiting, pacer.waitingBytes());
    }
    QVERIFY(mostWaiting <= LinePacer::capacity);
    QVERIFY(mostWaiting > LinePacer::capacity - status.size()); // full, not refusing early
    QCOMPARE(handed.size() + pacer.waitingBytes(), kept);
    QVERIFY(handed.size() >= 59 * carriedPerSecond);
    QCOMPARE(handed.left(handed.size() / status.size() * status.size()),
             status.repeated(handed.size() / status.size())); // whole replies, in order
}

void tst_LinePacer::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("canonical");

    QTest::newRow("usb") << u"usb"_s << true << u"usb"_s;
    QTest::newRow("upper case and blanks") << u" USB "_s << true << u"usb"_s;
    QTest::newRow("instant") << u"instant"_s << true << u"instant"_s;
    QTest::newRow("bytes") << u"bytes"_s << true << u"bytes"_s;
    QTest::newRow("chunks") << u"chunks:8/5"_s << true << u"chunks:8/5"_s;
    QTest::newRow("chunks every 0 ms") << u"chunks:1/0"_s << true << u"chunks:1/0"_s;
    QTest::newRow("with a gap") << u"usb+gap:60"_s << true << u"usb+gap:60"_s;
    QTest::newRow("gap 0 is none") << u"bytes+gap:0"_s << true << u"bytes"_s;
    QTest::newRow("chunks of 0 bytes") << u"chunks:0/5"_s << false << QString();
    QTest::newRow("chunks without interval") << u"chunks:8"_s << false << QString();
    QTest::newRow("interval too long") << u"chunks:8/99999"_s << false << QString();
    QTest::newRow("gap alone") << u"gap:60"_s << false << QString();
    QTest::newRow("negative") << u"chunks:-1/5"_s << false << QString();
    QTest::newRow("unknown") << u"serial"_s << false << QString();
    QTest::newRow("empty") << QString() << false << QString();
}

void tst_LinePacer::parse()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(QString, canonical);

    QString error;
    const std::optional<LineDelivery> delivery = LineDelivery::parse(text, &error);
    QCOMPARE(delivery.has_value(), valid);
    if (valid) {
        QCOMPARE(delivery->toString(), canonical);
        QCOMPARE(LineDelivery::parse(canonical), delivery);
    } else {
        QVERIFY(error.contains(text));
    }
}

QTEST_GUILESS_MAIN(tst_LinePacer)
#include "tst_linepacer.moc"
