// SPDX-License-Identifier: MIT
#include "frames.h"
#include "ptyhost.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QSocketNotifier>
#include <QTest>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// The panel's side of the line: the terminal's slave opened as it is, with none of the
// settings a serial port class would make, so the host's own raw setup is what is tested.
class PanelSide : public QObject
{
public:
    explicit PanelSide(const QString &path)
        : m_fd(::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK))
    {
        m_clock.start();
        if (m_fd >= 0) {
            m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
            connect(m_notifier, &QSocketNotifier::activated, this, &PanelSide::readAll);
        }
    }
    ~PanelSide() override { close(); }

    bool isOpen() const { return m_fd >= 0; }
    qint64 elapsed() const { return m_clock.elapsed(); }
    bool write(const QByteArray &bytes)
    {
        return ::write(m_fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }
    void close()
    {
        delete m_notifier;
        m_notifier = nullptr;
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

    // Everything received, and the time in ms at which each byte arrived.
    QByteArray received;
    QList<qint64> arrivals;
    bool lineDropped = false; // read gave end of file or EIO

private:
    void readAll()
    {
        char buffer[256];
        for (;;) {
            const ssize_t count = ::read(m_fd, buffer, sizeof buffer);
            if (count > 0) {
                received.append(buffer, count);
                for (ssize_t i = 0; i < count; ++i)
                    arrivals.append(m_clock.elapsed());
                continue;
            }
            if (count == 0 || errno == EIO) {
                lineDropped = true;
                m_notifier->setEnabled(false);
            }
            return;
        }
    }

    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
    QElapsedTimer m_clock;
};

} // namespace

class tst_EmulatorPty : public QObject
{
    Q_OBJECT

private slots:
    void statusAnswerComesBackToBack_data();
    void statusAnswerComesBackToBack();
    void splitAndMergedWrites();
    void falseStartIsForgottenWhenTheLineGoesQuiet();
    void panelMayCloseAndReopen();
    void hangUpDropsTheLine();
    void nobodyReadingDoesNotPileUp();
    void askedFasterThanItsLineCarries();
};

void tst_EmulatorPty::statusAnswerComesBackToBack_data()
{
    QTest::addColumn<QString>("delivery");
    // From the request to the answer's last byte, at the least: the line cannot be faster.
    QTest::addColumn<int>("leastMs");

    // The answer's 35 bytes take 36.5 ms at 9600 baud.
    QTest::newRow("usb adapter: line pace, every 16 ms") << u"usb"_s << 36;
    QTest::newRow("byte by byte at line pace") << u"bytes"_s << 36;
    QTest::newRow("all at once") << u"instant"_s << 0;
    QTest::newRow("5 bytes every 10 ms") << u"chunks:5/10"_s << 60;
    QTest::newRow("usb with 40 ms after each reply") << u"usb+gap:40"_s << 36 + 6 * 40;
}

void tst_EmulatorPty::statusAnswerComesBackToBack()
{
    QFETCH(QString, delivery);
    QFETCH(int, leastMs);

    PtyHost host;
    QString error;
    QVERIFY2(host.open(&error), qPrintable(error));
    host.setDelivery(*LineDelivery::parse(delivery));
    PanelSide panel(host.slavePath());
    QVERIFY(panel.isOpen());

    const qint64 requested = panel.elapsed();
    QVERIFY(panel.write(frames::StatusRequest()));
    const QByteArray answer = "s10\r\ns21\r\ns32\r\ns43\r\nMD0\r\nRS1\r\nMP0\r\n"_ba;
    QTRY_COMPARE(panel.received.size(), answer.size());
    QCOMPARE(panel.received, answer); // CR LF untranslated: the line is raw
    const qint64 took = panel.arrivals.last() - requested;
    QVERIFY2(took >= leastMs, qPrintable(u"%1 ms"_s.arg(took)));
    QVERIFY(host.isIdle());
}

void tst_EmulatorPty::splitAndMergedWrites()
{
    PtyHost host;
    QVERIFY(host.open());
    PanelSide panel(host.slavePath());
    QSignalSpy frames(&host, &PtyHost::frameReceived);

    // A route in two pieces, then two frames in one write; 0A 55 77 in the address would be
    // mangled by a cooked line (newline translation) or taken for markers by a careless reader.
    const QByteArray route = frames::Route(1, 3);
    QVERIFY(panel.write(route.first(2)));
    QTest::qWait(10);
    QVERIFY(panel.write(route.sliced(2)));
    QVERIFY(
        panel.write(frames::SetFixedAddress({10, 85, 119, 1}) + QByteArray::fromHex("05550477")));

    QTRY_COMPARE(frames.size(), 3);
    QCOMPARE(host.model().route(1), 3);
    QCOMPARE(host.model().fixedAddress(), (std::array<quint8, 4>{10, 85, 119, 1}));
    QTRY_COMPARE(panel.received, QByteArray("s23\r\nIP OK\r\n"));
}

void tst_EmulatorPty::falseStartIsForgottenWhenTheLineGoesQuiet()
{
    PtyHost host;
    QVERIFY(host.open());
    PanelSide panel(host.slavePath());

    // 08 55 would make the StatusRequest behind it wait for four more bytes that never come.
    QVERIFY(panel.write(QByteArray::fromHex("0855") + frames::StatusRequest()));
    QTRY_COMPARE(panel.received.left(5), QByteArray("s10\r\n"));
}

void tst_EmulatorPty::panelMayCloseAndReopen()
{
    PtyHost host;
    QVERIFY(host.open());
    QSignalSpy hungUp(&host, &PtyHost::hungUp);
    for (int round = 0; round < 3; ++round) {
        PanelSide panel(host.slavePath());
        QVERIFY(panel.isOpen());
        QVERIFY(panel.write(frames::SetMode(round % 2)));
        QTRY_COMPARE(panel.received, QByteArray("MD") + QByteArray::number(round % 2) + "\r\n");
        panel.close();
        QTest::qWait(20); // the host must not take the panel's close for a hang-up
        QVERIFY(host.isOpen());
    }
    QCOMPARE(hungUp.size(), 0);
}

void tst_EmulatorPty::hangUpDropsTheLine()
{
    PtyHost host;
    QVERIFY(host.open());
    const QString firstPath = host.slavePath();
    PanelSide panel(firstPath);
    QSignalSpy hungUp(&host, &PtyHost::hungUp);

    host.push({"s11\r\n", "s22\r\n"});
    host.hangUp();
    QCOMPARE(hungUp.size(), 1);
    QVERIFY(!host.isOpen());
    QTRY_VERIFY(panel.lineDropped);

    // A fresh terminal serves again; the old one stays dead.
    QSignalSpy opened(&host, &PtyHost::opened);
    QVERIFY(host.open());
    QCOMPARE(opened.size(), 1);
    QVERIFY(host.slavePath() != firstPath); // the panel still holds the old one
    PanelSide again(host.slavePath());
    QVERIFY(again.write(frames::Route(4, 1)));
    QTRY_COMPARE(again.received, QByteArray("s11\r\ns21\r\ns31\r\ns41\r\n"));
    QVERIFY(!panel.write(frames::StatusRequest()));
}

void tst_EmulatorPty::nobodyReadingDoesNotPileUp()
{
    PtyHost host;
    QVERIFY(host.open());
    host.setDelivery(LineDelivery::allAtOnce());
    qsizetype written = 0;
    connect(&host, &PtyHost::written, this,
            [&](const QByteArray &bytes) { written += bytes.size(); });
    host.push(QList<QByteArray>(200, QByteArray(1024, 'x')));
    QTRY_COMPARE(written, 200 * 1024);
    QVERIFY(host.flushCount() > 0); // the terminal queued some, then the old bytes went
    QVERIFY(host.isOpen());

    // The line still works for a panel that opens it now.
    PanelSide panel(host.slavePath());
    QVERIFY(panel.write(frames::SetResolution(4)));
    QTRY_VERIFY(panel.received.endsWith("RS4\r\n"));
}

void tst_EmulatorPty::askedFasterThanItsLineCarries()
{
    // 100 status requests at once ask for 3.5 KB, more than the device's send buffer holds:
    // it sends what fits, whole replies, and the rest is lost.
    PtyHost host;
    QVERIFY(host.open());
    QSignalSpy sent(&host, &PtyHost::replySent);
    PanelSide panel(host.slavePath());
    QVERIFY(panel.write(frames::StatusRequest().repeated(100)));
    QTRY_VERIFY(host.lostReplies() > 0);
    QTRY_VERIFY_WITH_TIMEOUT(host.isIdle(), 3000);
    QCOMPARE(sent.size() + host.lostReplies(), 400); // four replies an answer
    QByteArray replies;
    for (const QList<QVariant> &reply : std::as_const(sent))
        replies += reply.first().toByteArray();
    QTRY_COMPARE(panel.received, replies); // the panel reads the last of them in its own time
    QVERIFY(replies.size() <= LinePacer::capacity);
    QVERIFY(replies.startsWith("s10\r\ns21\r\ns32\r\ns43\r\nMD0\r\nRS1\r\nMP0\r\n"));

    // Once its line is free, it answers again.
    panel.received.clear();
    QVERIFY(panel.write(frames::SetMode(1)));
    QTRY_COMPARE(panel.received, QByteArray("MD1\r\n"));
}

QTEST_GUILESS_MAIN(tst_EmulatorPty)
#include "tst_emulatorpty.moc"
