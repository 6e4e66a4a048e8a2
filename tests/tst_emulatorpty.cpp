#include "frames.h"
#include "ptyhost.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QSocketNotifier>
#include <QTest>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

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
    void statusAnswerComesInSeparateBursts();
    void splitAndMergedWrites();
    void falseStartIsForgottenWhenTheLineGoesQuiet();
    void panelMayCloseAndReopen();
    void hangUpDropsTheLine();
    void nobodyReadingDoesNotPileUp();
};

void tst_EmulatorPty::statusAnswerComesInSeparateBursts()
{
    PtyHost host;
    QString error;
    QVERIFY2(host.open(&error), qPrintable(error));
    PanelSide panel(host.slavePath());
    QVERIFY(panel.isOpen());

    QVERIFY(panel.write(frames::StatusRequest()));
    const QList<QByteArray> bursts = {"s10\r\ns21\r\ns32\r\ns43\r\n", "MD0\r\n", "RS1\r\n",
                                      "MP0\r\n"};
    const QByteArray all = bursts.join();
    QTRY_COMPARE(panel.received.size(), all.size());
    QCOMPARE(panel.received, all); // CR LF untranslated: the line is raw

    // The panel takes 30 ms of quiet as the end of a reply line: every burst must be followed
    // by a longer pause, or two replies would be decoded as one line.
    qsizetype end = 0;
    for (int i = 0; i + 1 < bursts.size(); ++i) {
        end += bursts.at(i).size();
        const qint64 pause = panel.arrivals.at(end) - panel.arrivals.at(end - 1);
        QVERIFY2(pause > 30,
                 qPrintable(QStringLiteral("pause after burst %1: %2 ms").arg(i).arg(pause)));
    }
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
    host.setBurstGap(0);
    QSignalSpy sent(&host, &PtyHost::burstSent);
    host.push(QList<QByteArray>(200, QByteArray(1024, 'x')));
    QTRY_COMPARE(sent.size(), 200);
    QVERIFY(host.flushCount() > 0); // the terminal queued some, then the old bytes went
    QVERIFY(host.isOpen());

    // The line still works for a panel that opens it now.
    PanelSide panel(host.slavePath());
    QVERIFY(panel.write(frames::SetResolution(4)));
    QTRY_VERIFY(panel.received.endsWith("RS4\r\n"));
}

QTEST_GUILESS_MAIN(tst_EmulatorPty)
#include "tst_emulatorpty.moc"
