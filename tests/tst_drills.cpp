// SPDX-License-Identifier: MIT
// Fault drills: the real window on a real pseudo-terminal while the line fails, another
// program holds the port, the line floods with noise, or the COMPORT file is not what the
// program wrote. Each drill checks that nothing is lost and the window stays right.

#include "colorbutton.h"
#include "comportfile.h"
#include "form1.h"
#include "frames.h"
#include "messageboxwatcher.h"
#include "mscomm.h"
#include "ptypair.h"
#include "scratchdir.h"
#include "windowcontrols.h"
#include "windowonline.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <memory>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString writeFailure = u"open serial port fail！ "_s;

// CPU time (user + system) this process has used so far, in milliseconds.
double cpuMilliseconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval &t) { return double(t.tv_sec) * 1e3 + t.tv_usec / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// Resident memory now, in KiB.
// CPU time the calling thread has used, in microseconds.
qint64 threadCpuUs()
{
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return qint64(t.tv_sec) * 1'000'000 + t.tv_nsec / 1000;
}

long residentKiB()
{
    long pages = 0;
    long resident = 0;
    if (FILE *f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

constexpr bool underAddressSanitizer()
{
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#else
    return false;
#endif
#else
    return false;
#endif
}

} // namespace

class tst_Drills : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void unplugWhileConnected_data();
    void unplugWhileConnected();
    void portHeldByAnotherProgram();
    void floodOfRandomBytes_data();
    void floodOfRandomBytes();
    void hostileComportFile_data();
    void hostileComportFile();

private:
    // The window as the program starts it, with COM1 to COM10 all on the test's line.
    void start();
    bool showsConnected() const { return m_window->showsConnected(); }
    bool showsDisconnected() const { return m_window->showsDisconnected(); }

    std::unique_ptr<WindowOnLine> m_window;
    ScratchDir *m_dir = nullptr;
    PtyPair *m_pty = nullptr;
    Form1 *m_form = nullptr;
    MessageBoxWatcher *m_boxes = nullptr;
};

void tst_Drills::init()
{
    WindowOnLine::Options options;
    options.devicePorts = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    options.startUp = WindowOnLine::StartUp::AsItComes;
    m_window = std::make_unique<WindowOnLine>(options);
    m_window->prepare();
    m_dir = &m_window->dir();
    m_pty = &m_window->device();
}

void tst_Drills::cleanup()
{
    m_window.reset();
}

void tst_Drills::start()
{
    m_window->start();
    m_form = &m_window->form();
    m_boxes = &m_window->boxes();
}

void tst_Drills::unplugWhileConnected_data()
{
    QTest::addColumn<QByteArray>("pending"); // the device's bytes on the line at the hang-up
    QTest::addColumn<bool>("clickAtOnce");   // the operator clicks Update right after it
    QTest::addColumn<int>("decoded");        // reply lines decoded before the hang-up

    QTest::newRow("idle line") << QByteArray() << false << 0;
    // The whole reply is decoded as soon as its line end is in; the cut one never is.
    QTest::newRow("a reply and half of the next on the line") << "s12\r\ns2"_ba << false << 1;
    QTest::newRow("Update clicked before the window noticed") << QByteArray() << true << 0;
}

void tst_Drills::unplugWhileConnected()
{
    QFETCH(QByteArray, pending);
    QFETCH(bool, clickAtOnce);
    QFETCH(int, decoded);

    start();
    QVERIFY(showsConnected());
    QSerialPort *port = m_form->MSComm1->findChild<QSerialPort *>();
    QVERIFY(port);
    QSignalSpy lost(m_form->MSComm1, &MSComm::linkLost);
    QSignalSpy errors(port, &QSerialPort::errorOccurred);
    QSignalSpy replies(m_form->MSComm1, &MSComm::OnComm);

    if (!pending.isEmpty()) {
        QVERIFY(m_pty->write(pending));
        // Arrived: the whole reply handed over, the cut one waiting for the settle time.
        // qWait would only look at the events once and sleep, and hang up before either.
        QElapsedTimer arriving;
        arriving.start();
        while (replies.count() < decoded && arriving.elapsed() < 1000)
            QCoreApplication::processEvents();
    }
    m_pty->closeMaster();
    if (clickAtOnce)
        controls(m_form).Command6->click(); // returns once its message box is closed
    const double cpuBefore = cpuMilliseconds();
    QTest::qWait(1000);
    const double cpuUsed = cpuMilliseconds() - cpuBefore;

    QVERIFY(!m_form->MSComm1->PortOpen());
    QVERIFY(showsDisconnected());
    QCOMPARE(lost.count(), 1);
    // A hung-up tty repeats its error for as long as it stays open: closed at the first one.
    QVERIFY2(errors.count() <= 4, qPrintable(QString::number(errors.count())));
    QCOMPARE(replies.count(), decoded); // a line cut short is no reply
    // The click that found the line gone says so once; a quiet hang-up says nothing.
    QCOMPARE(m_boxes->count(), clickAtOnce ? 1 : 0);
    if (clickAtOnce)
        QCOMPARE(m_boxes->last().text, writeFailure);
    // No busy loop on the dead line: a generous bound, far from a spinning core's 1000 ms.
    QVERIFY2(cpuUsed < 200,
             qPrintable(u"%1 ms CPU in the second after the hang-up"_s.arg(cpuUsed)));

    // The window stays usable: each further click reports once and nothing else happens.
    m_boxes->clear();
    controls(m_form).Command6->click();
    controls(m_form).Command7->click();
    QCOMPARE(m_boxes->count(), 2);
    QCOMPARE(m_boxes->last().title, u"ERROR"_s);
    QVERIFY(showsDisconnected());
    QCOMPARE(lost.count(), 1);
}

void tst_Drills::portHeldByAnotherProgram()
{
    // This test program itself, started again, holds the line as another program would.
    QProcess holder;
    holder.start(QCoreApplication::applicationFilePath(), {u"--hold-port"_s, m_pty->slavePath()});
    QVERIFY2(holder.waitForReadyRead(10000), holder.readAllStandardError().constData());
    QCOMPARE(holder.readLine().trimmed(), "held"_ba);

    start();
    QVERIFY(!m_form->MSComm1->PortOpen());
    QVERIFY(showsDisconnected());
    QCOMPARE(m_boxes->count(), 1);
    QCOMPARE(m_boxes->last().text, writeFailure);
    QCOMPARE(m_boxes->last().title, u"ERROR"_s);

    // Connect while it is still held: refused once, nothing goes out on the other's line.
    controls(m_form).Command7->click();
    QCOMPARE(m_boxes->count(), 2);
    QVERIFY(showsDisconnected());
    QCOMPARE(m_pty->readFor(100), QByteArray());

    // Released: the next Connect opens it and asks for the state.
    holder.closeWriteChannel();
    QVERIFY(holder.waitForFinished(10000));
    QCOMPARE(holder.exitCode(), 0);
    controls(m_form).Command7->click();
    QVERIFY(showsConnected());
    QCOMPARE(m_pty->read(4), frames::StatusRequest());
    QCOMPARE(m_boxes->count(), 2);
}

void tst_Drills::floodOfRandomBytes_data()
{
    QTest::addColumn<int>("pieceBytes"); // 0: whatever the line takes at once
    QTest::addColumn<int>("gapMs");      // between pieces

    QTest::newRow("as fast as the line takes it") << 0 << 0;
    // Pieces closer together than the settle time: the line never goes quiet, so only the
    // reply deadline hands the bytes to the window.
    QTest::newRow("never quiet for the settle time") << 4096 << 5;
}

void tst_Drills::floodOfRandomBytes()
{
    QFETCH(int, pieceBytes);
    QFETCH(int, gapMs);

    start();
    QVERIFY(showsConnected());
    QSerialPort *port = m_form->MSComm1->findChild<QSerialPort *>();
    QVERIFY(port);
    QSignalSpy replies(m_form->MSComm1, &MSComm::OnComm);
    QTest::qWait(100);

    constexpr qsizetype floodSize = 1024 * 1024;
    QByteArray flood(floodSize, Qt::Uninitialized);
    QRandomGenerator random(20240611);
    random.fillRange(reinterpret_cast<quint32 *>(flood.data()), floodSize / 4);

    // The device side runs on a thread of its own, writing as fast as the line takes it (or
    // piece by piece) and reading whatever the window sends back, so that neither side waits
    // for the other.
    std::atomic<qsizetype> written{0};
    std::atomic<qint64> floodEndMs{0};
    std::atomic<bool> done{false};
    QByteArray sentBack;
    QElapsedTimer clock;
    clock.start();
    std::thread device([&] {
        const int fd = m_pty->masterFd();
        char buffer[4096];
        qint64 nextWriteMs = 0;
        while (written < floodSize || !done) {
            const bool writing = written < floodSize && clock.elapsed() >= nextWriteMs;
            pollfd p{fd, short(POLLIN | (writing ? POLLOUT : 0)), 0};
            if (::poll(&p, 1, 1) <= 0)
                continue;
            if (p.revents & POLLIN) {
                const ssize_t n = ::read(fd, buffer, sizeof buffer);
                if (n > 0)
                    sentBack.append(buffer, n);
            }
            if (writing && (p.revents & POLLOUT)) {
                qsizetype size = floodSize - written;
                if (pieceBytes > 0)
                    size = qMin<qsizetype>(size, pieceBytes);
                const ssize_t n = ::write(fd, flood.constData() + written, size_t(size));
                if (n > 0) {
                    written += n;
                    nextWriteMs = clock.elapsed() + gapMs;
                    if (written == floodSize)
                        floodEndMs = clock.elapsed();
                }
            }
        }
    });
    const qint64 floodStartMs = clock.elapsed();

    // Event-loop lag: how late a 10 ms timer fires while the flood comes in, and how much of
    // that the window's thread spent working (its own CPU time between two ticks): a busy
    // machine makes the timer late without the panel doing anything, only work of the panel's
    // own blocks the loop. Pending input: nothing older than the reply deadline (plus
    // scheduling slack) may still wait unread.
    struct Sample
    {
        qint64 ms;
        qsizetype written;
    };
    QList<Sample> history;
    qint64 worstLag = 0;
    qint64 worstBusyUs = 0;
    qint64 lastCpuUs = threadCpuUs();
    qint64 worstStale = 0; // bytes pending beyond those written within the deadline window
    qint64 lastTick = clock.elapsed();
    long peakResident = 0;
    const long residentBefore = residentKiB();
    constexpr qint64 slackMs = 150;
    constexpr qint64 lineBuffer = 128 * 1024; // what the pty itself may hold from before
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(10);
    connect(&ticker, &QTimer::timeout, this, [&] {
        const qint64 now = clock.elapsed();
        worstLag = qMax(worstLag, now - lastTick - 10);
        lastTick = now;
        const qint64 cpuUs = threadCpuUs();
        worstBusyUs = qMax(worstBusyUs, cpuUs - lastCpuUs);
        lastCpuUs = cpuUs;
        history.append({now, written.load()});
        qsizetype recent = 0; // written before the start of the window
        for (const Sample &s : history) {
            if (s.ms <= now - MSComm::maxDelayMs - slackMs)
                recent = s.written;
        }
        worstStale =
            qMax<qint64>(worstStale, port->bytesAvailable() - (written - recent) - lineBuffer);
        peakResident = qMax(peakResident, residentKiB());
    });
    ticker.start();

    // The operator clicks Update in the middle of it: the frame goes out all the same.
    QTRY_VERIFY_WITH_TIMEOUT(written >= floodSize / 2 || written == floodSize, 20000);
    controls(m_form).Command6->click();
    QTRY_VERIFY_WITH_TIMEOUT(written == floodSize, 20000);
    // The whole flood read and decoded: nothing stays pending once the line has settled.
    QTRY_VERIFY_WITH_TIMEOUT(port->bytesAvailable() == 0 && !replies.isEmpty(), 5000);
    QTest::qWait(3 * MSComm::maxDelayMs);
    ticker.stop();
    done = true;
    device.join();

    const qint64 floodMs = floodEndMs - floodStartMs;
    qInfo("flood of %lld ms: %lld reply lines, event loop at most %lld ms late, at most %lld ms "
          "of work between two ticks",
          floodMs, qint64(replies.count()), worstLag, worstBusyUs / 1000);
    // The deadline hands a never-quiet line over at least every maxDelayMs (with slack).
    QVERIFY2(replies.count() >= floodMs / (MSComm::maxDelayMs + slackMs),
             qPrintable(u"%1 reply lines in %2 ms"_s.arg(replies.count()).arg(floodMs)));
    QVERIFY2(worstBusyUs < 100 * 1000,
             qPrintable(u"the window's thread worked %1 ms between two ticks (%2 ms late)"_s
                            .arg(worstBusyUs / 1000)
                            .arg(worstLag)));
    QVERIFY2(worstStale <= 0, qPrintable(u"%1 bytes waited past the deadline"_s.arg(worstStale)));
    QCOMPARE(port->bytesAvailable(), 0);
    QVERIFY(showsConnected());
    QVERIFY2(sentBack.contains(frames::StatusRequest()), sentBack.toHex(' ').left(200));
    // Freed reply lines stay resident in AddressSanitizer's quarantine, so memory is judged
    // only in an ordinary build.
    if (!underAddressSanitizer()) {
        QVERIFY2(
            peakResident - residentBefore < 32 * 1024,
            qPrintable(u"resident memory grew by %1 KiB"_s.arg(peakResident - residentBefore)));
    }

    // The next good reply is decoded as if nothing had happened.
    const QByteArray status = "s13\r\np20\r\ns31\r\ns40\r\n"_ba;
    QVERIFY(m_pty->write(status));
    QTRY_VERIFY(controls(m_form).Option3[3]->isChecked() &&
                controls(m_form).Option5[1]->isChecked() &&
                controls(m_form).Option6[0]->isChecked() &&
                controls(m_form).Command8[1]->BackColor() == ColorButton::red);
    QCOMPARE(controls(m_form).Command8[0]->BackColor(), ColorButton::green);
    QVERIFY(showsConnected());
}

void tst_Drills::hostileComportFile_data()
{
    QTest::addColumn<QString>("kind");       // file, fifo, directory, symlink, unreadable
    QTest::addColumn<QByteArray>("content"); // file content, or the symlink's target
    QTest::addColumn<int>("portNumber");     // what start-up opens
    QTest::addColumn<bool>("replaced");      // COMPORT is a regular file with the line after

    QByteArray noise(1024 * 1024, Qt::Uninitialized);
    QRandomGenerator random(7);
    random.fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);

    QTest::newRow("FIFO without a writer: not waited on, left alone")
        << u"fifo"_s << QByteArray() << 1 << false;
    QTest::newRow("symlink to /dev/zero: not read, not replaced")
        << u"symlink"_s << "/dev/zero"_ba << 1 << false;
    QTest::newRow("symlink to /dev/urandom: not read, not replaced")
        << u"symlink"_s << "/dev/urandom"_ba << 1 << false;
    // A link that leads nowhere is no file in the way: the line is written where it leads,
    // or, for a loop, in the link's place.
    QTest::newRow("symlink to a missing file") << u"symlink"_s << "missing"_ba << 1 << true;
    QTest::newRow("symlink into itself") << u"symlink"_s << "COMPORT"_ba << 1 << true;
    QTest::newRow("directory: COM1, left alone") << u"directory"_s << QByteArray() << 1 << false;
    QTest::newRow("unreadable file: COM1, line rewritten")
        << u"unreadable"_s << " 4 \r\n"_ba << 1 << true;
    QTest::newRow("1 MiB of noise after a good line")
        << u"file"_s << " 4 \r\n"_ba + noise << 5 << true;
    QTest::newRow("1 MiB of noise") << u"file"_s << noise << 1 << true;
    QTest::newRow("NUL in the field") << u"file"_s << "\0"_ba + " 4 \r\n" << 1 << true;
    QTest::newRow("index beyond the part that is read")
        << u"file"_s << QByteArray(comport::maxReadBytes, ' ') + "4 \r\n"
        << 1 << true;
}

void tst_Drills::hostileComportFile()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, content);
    QFETCH(int, portNumber);
    QFETCH(bool, replaced);

    const QString path = m_dir->filePath(comport::fileName());
    const QByteArray name = QFile::encodeName(path);
    std::unique_ptr<UnprivilegedFileAccess> unprivileged;
    if (kind == u"fifo") {
        QCOMPARE(::mkfifo(name.constData(), 0666), 0);
    } else if (kind == u"symlink") {
        QVERIFY(QFile::link(QFile::decodeName(content), path));
    } else if (kind == u"directory") {
        QVERIFY(QDir(m_dir->path()).mkdir(comport::fileName()));
    } else {
        QVERIFY(m_dir->write(comport::fileName(), content));
        if (kind == u"unreadable") {
            // Only COMPORT is out of reach: the directory and the line stay open to all.
            QCOMPARE(::chmod(name.constData(), 0), 0);
            QCOMPARE(::chmod(QFile::encodeName(m_dir->path()).constData(), 0777), 0);
            QCOMPARE(::chmod(QFile::encodeName(m_pty->slavePath()).constData(), 0666), 0);
            unprivileged = std::make_unique<UnprivilegedFileAccess>();
            if (!unprivileged->isActive())
                QSKIP("cannot drop file access privileges");
        }
    }
    const QFileInfo before(path);
    const bool wasSymlink = before.isSymLink();

    start();
    unprivileged.reset();
    QCOMPARE(int(m_form->portNumber), portNumber);
    QVERIFY(showsConnected());
    QCOMPARE(m_boxes->count(), 0);

    // The operator picks COM3: the choice is saved only into a file of the program's own.
    m_window->choosePort(2);
    QCOMPARE(int(m_form->portNumber), 3);
    QVERIFY(showsDisconnected());
    const QFileInfo after(path);
    if (replaced) {
        QVERIFY(after.isFile());
        QCOMPARE(m_dir->read(comport::fileName()), comport::formatLine(2));
    } else {
        QCOMPARE(after.isSymLink(), wasSymlink);
        QCOMPARE(after.isDir(), kind == u"directory");
        if (kind == u"fifo") {
            struct stat info;
            QCOMPARE(::lstat(name.constData(), &info), 0);
            QVERIFY(S_ISFIFO(info.st_mode));
        }
    }
    controls(m_form).Command7->click();
    QVERIFY(showsConnected());
    QCOMPARE(m_boxes->count(), 0);
}

namespace {

// Started by portHeldByAnotherProgram: opens the line as a program of its own would, says
// "held", and keeps it until its standard input closes.
int holdPort(const char *path)
{
    QSerialPort port(QFile::decodeName(path));
    if (!port.open(QIODevice::ReadWrite)) {
        std::fprintf(stderr, "cannot open %s: %s\n", path, qPrintable(port.errorString()));
        return 1;
    }
    std::printf("held\n");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    port.close();
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && qstrcmp(argv[1], "--hold-port") == 0) {
        QCoreApplication app(argc, argv);
        return holdPort(argv[2]);
    }
    QApplication app(argc, argv);
    tst_Drills test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_drills.moc"
