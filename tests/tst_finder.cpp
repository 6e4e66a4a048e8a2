// SPDX-License-Identifier: MIT
// Find the matrix: every serial device asked at once whether the matrix answers on it, from
// the command line (velquor --find) and from the "Serial devices…" dialog.

#include "devicedialog.h"
#include "finddialog.h"
#include "form1.h"
#include "matrixfinder.h"
#include "messageboxwatcher.h"
#include "mscomm.h"
#include "programrun.h"
#include "ptyhost.h"
#include "ptypair.h"
#include "scratchdir.h"
#include "usersettings.h"
#include "windowcontrols.h"
#include "windowonline.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// Devices of each kind a search meets, on pseudo-terminals.
class Bench
{
public:
    enum class Kind { Matrix, Silent, Noise, Held, Full };

    QString add(Kind kind)
    {
        switch (kind) {
        case Kind::Matrix:
        case Kind::Noise: {
            auto &host = m_hosts.emplace_back(std::make_unique<PtyHost>());
            if (!host->open())
                return {};
            host->setGarbled(kind == Kind::Noise); // a device at another baud rate
            return host->slavePath();
        }
        case Kind::Silent:
        case Kind::Held:
        case Kind::Full:
            break;
        }
        auto &pair = m_pairs.emplace_back(std::make_unique<PtyPair>());
        const int slave = ::open(QFile::encodeName(pair->slavePath()).constData(),
                                 O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        m_slaves.push_back(slave);
        if (kind == Kind::Held) // as another serial tool holds it
            ::flock(slave, LOCK_EX | LOCK_NB);
        if (kind == Kind::Full) { // the line takes nothing more: a write would wait
            const QByteArray block(1024, 'x');
            while (::write(slave, block.constData(), size_t(block.size())) > 0) {
            }
        }
        return pair->slavePath();
    }

    ~Bench()
    {
        for (int slave : m_slaves)
            ::close(slave);
    }

    std::vector<std::unique_ptr<PtyHost>> m_hosts;
    std::vector<std::unique_ptr<PtyPair>> m_pairs;
    std::vector<int> m_slaves; // held open by the test, as another program would
};

// Closes the modal dialogs still open, the innermost first. A check that fails inside a
// dialog's event loop returns from its handler and leaves the dialog waiting for an operator:
// the test would hang there until CTest gives up on it.
void closeModalDialogs()
{
    for (int i = 0; i < 10; ++i) {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        dialog->reject();
    }
}

} // namespace

Q_DECLARE_METATYPE(Bench::Kind)

class tst_Finder : public QObject
{
    Q_OBJECT

private slots:
    void verdictOnAnswer_data();
    void verdictOnAnswer();
    void devicesAreVisitedOnce();
    void aProbeThatHangsIsGivenUp();
    void findOnTheCommandLine_data();
    void findOnTheCommandLine();
    void findInTheDialogAndMap();
};

void tst_Finder::verdictOnAnswer_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("verdict");

    QTest::newRow("the device's report to a status request")
        << "s10\r\ns21\r\ns32\r\ns43\r\nMD0\r\nRS1\r\nMP0\r\n"_ba
        << u"answers as a matrix (7 replies)"_s;
    QTest::newRow("one reply") << "s21\r\n"_ba << u"answers as a matrix (1 reply)"_s;
    QTest::newRow("a reply without its line end") << "MD1"_ba << u"answers as a matrix (1 reply)"_s;
    QTest::newRow("noise around a reply")
        << QByteArray::fromHex("f880e0") + "\r\nRS3\r\n"_ba << u"answers as a matrix (1 reply)"_s;
    QTest::newRow("noise") << QByteArray::fromHex("f880e0fe9cc08f")
                           << u"sends bytes that are no reply"_s;
    QTest::newRow("line ends only") << "\r\n\r\n"_ba << u"sends bytes that are no reply"_s;
    QTest::newRow("an echo of the request")
        << QByteArray::fromHex("04552077") << u"sends bytes that are no reply"_s;
    QTest::newRow("nothing") << QByteArray() << u"no answer"_s;
}

void tst_Finder::verdictOnAnswer()
{
    QFETCH(QByteArray, answer);
    QFETCH(QString, verdict);
    QCOMPARE(::verdictOnAnswer(answer).text(), verdict);
}

void tst_Finder::devicesAreVisitedOnce()
{
    PtyPair adapter;
    PtyPair other;
    QTemporaryDir byId;
    const QString stable = byId.filePath(u"usb-Maker_A1-if00"_s);
    QVERIFY(QFile::link(adapter.slavePath(), stable));
    PortMap ports;
    ports.map(1, adapter.slavePath()); // the same device by its system path
    ports.map(2, u"tcp://rack.example:3000"_s);
    ports.map(3, other.slavePath());
    ports.map(7, stable);
    const QList<SerialDevice> found{{stable, adapter.slavePath(), {}, {}, {}}};
    QCOMPARE(devicesToVisit(found, ports), (QStringList{stable, other.slavePath()}));
}

void tst_Finder::aProbeThatHangsIsGivenUp()
{
    // Probes that hang in the system the way a bad driver does, until the test lets them go,
    // and one that does not.
    const auto hung = std::make_shared<QSemaphore>();
    const auto letGo = qScopeGuard([hung] { hung->release(2); });
    const auto probe = [hung](const QString &device, int, ProbeProgress &progress) {
        if (device == u"quick"_s) {
            const ProbeVerdict verdict{ProbeVerdict::Kind::NoAnswer, 0, {}};
            progress.setVerdict(verdict);
            return verdict;
        }
        if (device == u"hangs on write"_s)
            progress.enter(ProbeProgress::Step::Writing);
        hung->acquire();
        return ProbeVerdict{};
    };
    MatrixFinder finder;
    finder.setProbe(probe);
    QSignalSpy known(&finder, &MatrixFinder::verdictKnown);
    QSignalSpy finished(&finder, &MatrixFinder::finished);
    QElapsedTimer clock;
    clock.start();
    finder.start({u"hangs on open"_s, u"hangs on write"_s, u"quick"_s});
    QTRY_COMPARE_WITH_TIMEOUT(known.size(), 1, 500);
    QCOMPARE(known.at(0).at(0).toInt(), 2);
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 3000);
    // Given up at the limit, not before, and without waiting for the two that still hang.
    const qint64 took = clock.elapsed();
    QVERIFY2(took >= MatrixFinder::deviceLimitMs, qPrintable(QString::number(took)));
    QCOMPARE(finder.verdict(0)->text(), u"cannot open (it did not open within 2 s)"_s);
    QCOMPARE(finder.verdict(1)->text(), u"no answer"_s);
    QVERIFY(!finder.foundMatrix());
    QCOMPARE(MatrixFinder::probesStillRunning(), 2);
    hung->release(2);
    QTRY_COMPARE_WITH_TIMEOUT(MatrixFinder::probesStillRunning(), 0, 2000);
}

void tst_Finder::findOnTheCommandLine_data()
{
    using K = Bench::Kind;
    QTest::addColumn<QList<Bench::Kind>>("kinds");
    QTest::addColumn<QByteArray>("input"); // empty: --yes
    QTest::addColumn<int>("status");

    QTest::newRow("--yes: a matrix, a silent line, noise, a held device, a full line")
        << QList<K>{K::Matrix, K::Silent, K::Noise, K::Held, K::Full} << QByteArray() << 0;
    QTest::newRow("--yes: no matrix among them")
        << QList<K>{K::Silent, K::Noise} << QByteArray() << 1;
    QTest::newRow("asked first, the operator says yes") << QList<K>{K::Matrix} << "y\n"_ba << 0;
    QTest::newRow("asked first, the operator says no")
        << QList<K>{K::Matrix, K::Silent} << "n\n"_ba << 1;
}

void tst_Finder::findOnTheCommandLine()
{
    QFETCH(QList<Bench::Kind>, kinds);
    QFETCH(QByteArray, input);
    QFETCH(int, status);
    const std::map<Bench::Kind, QString> verdicts{
        {Bench::Kind::Matrix, u"answers as a matrix (7 replies)"_s},
        {Bench::Kind::Silent, u"no answer"_s},
        {Bench::Kind::Noise, u"sends bytes that are no reply"_s},
        {Bench::Kind::Held, u"held by another program"_s},
        {Bench::Kind::Full, u"no answer"_s}};

    ScratchDir dir;
    Bench bench;
    QStringList arguments{u"--find"_s};
    if (input.isEmpty())
        arguments.append(u"--yes"_s);
    QStringList expected;
    for (qsizetype i = 0; i < kinds.size(); ++i) {
        const QString device = bench.add(kinds.at(i));
        QVERIFY(!device.isEmpty());
        arguments << u"--port"_s << u"COM%1=%2"_s.arg(i + 1).arg(device);
        expected.append(device + u'\t' + verdicts.at(kinds.at(i)));
    }
    QList<QByteArray> frames;
    QList<qint64> arrivals; // ms since the start
    QElapsedTimer clock;
    for (const auto &host : bench.m_hosts)
        connect(host.get(), &PtyHost::frameReceived, this,
                [&frames, &arrivals, &clock](const QByteArray &frame) {
                    frames.append(frame);
                    arrivals.append(clock.elapsed());
                });

    ProgramRun run(arguments, dir.path(), dir.path());
    clock.start();
    QVERIFY(run.start());
    if (!input.isEmpty())
        run.answer(input);
    QCOMPARE(run.waitForExit(), status);
    const QString err = run.standardError();
    QVERIFY2(err.contains(u"writes four bytes (04 55 20 77, a status request) to "_s),
             qPrintable(err));

    const QStringList lines = run.standardOutput().split(u'\n', Qt::SkipEmptyParts);
    if (input == "n\n") {
        QCOMPARE(lines, QStringList());
        QVERIFY2(err.contains(u"nothing written"_s), qPrintable(err));
        QTest::qWait(100);
        QCOMPARE(frames, QList<QByteArray>());
        return;
    }
    // One line for each device, in the order they were named (the system's own serial
    // devices, if any, come first).
    QCOMPARE(lines.mid(lines.size() - expected.size()), expected);
    QCOMPARE(frames, QList<QByteArray>(bench.m_hosts.size(), QByteArray::fromHex("04552077")));
    // The devices are asked at once: every request goes out before the first device's time to
    // answer is over. One after the other, a device that listens in vain lies between them.
    const auto [firstAt, lastAt] = std::minmax_element(arrivals.cbegin(), arrivals.cend());
    QVERIFY2(*lastAt - *firstAt < MatrixFinder::listenMs,
             qPrintable(u"requests %1 ms apart"_s.arg(*lastAt - *firstAt)));
}

void tst_Finder::findInTheDialogAndMap()
{
    QTemporaryDir config;
    const QByteArray previous = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    const auto restore = qScopeGuard([&] { qputenv("XDG_CONFIG_HOME", previous); });

    Bench bench;
    const QString matrix = bench.add(Bench::Kind::Matrix);
    const QString silent = bench.add(Bench::Kind::Silent);
    WindowOnLine window; // COM1 on a line the test holds, open: the panel's own device
    window.start();
    Form1 &form = window.form();
    const QString inUse = window.device().slavePath();
    controls(form).findDevices = [&] {
        return QList<SerialDevice>{{{}, inUse, u"Panel's adapter"_s, {}, {}},
                                   {{}, matrix, u"USB serial"_s, {}, {}},
                                   {{}, silent, u"Modem"_s, {}, {}}};
    };

    bool searched = false;
    const auto closeOnFailure = [] {
        if (QTest::currentTestFailed())
            closeModalDialogs();
    };
    // However the dialogs end up waiting, the test goes on; the run takes a few seconds.
    QTimer watchdog;
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, this, [] {
        closeModalDialogs();
        QFAIL("the dialogs were still open after 60 s");
    });
    watchdog.start(60000);
    QTimer::singleShot(0, qApp, [&] {
        const auto closeAll = qScopeGuard(closeOnFailure);
        auto *devices = qobject_cast<DeviceDialog *>(QApplication::activeModalWidget());
        QVERIFY(devices);
        QTimer::singleShot(0, qApp, [&] {
            const auto closeAll = qScopeGuard(closeOnFailure);
            auto *find = qobject_cast<FindDialog *>(QApplication::activeModalWidget());
            QVERIFY(find);
            const QString note = find->findChild<QLabel *>()->text();
            QVERIFY2(note.contains(u"four bytes (04 55 20 77, a status request) to each of "
                                   "these 2 devices"_s),
                     qPrintable(note));
            QTreeWidget *list = find->list();
            QCOMPARE(list->topLevelItemCount(), 3);
            QCOMPARE(list->topLevelItem(0)->text(1), u"open in this panel, not asked"_s);
            QVERIFY(!find->mapButton()->isEnabled());
            find->startButton()->click();
            QTRY_VERIFY(!find->finder().isRunning());
            QCOMPARE(list->topLevelItem(1)->text(1), u"answers as a matrix (7 replies)"_s);
            QCOMPARE(list->topLevelItem(2)->text(1), u"no answer"_s);
            QCOMPARE(find->portChoice()->currentText(), u"COM1"_s);
            QVERIFY(find->mapButton()->isEnabled());
            find->grab().save(QStringLiteral(VELQUOR_TEST_OUTPUT_DIR "/find-the-matrix.png"));
            find->portChoice()->setCurrentIndex(2);
            find->mapButton()->click();
            searched = true;
        });
        devices->findButton()->click();
        QCOMPARE(devices->field(3)->currentText(), matrix);
        devices->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Save)->click();
    });
    form.showSerialDevices();
    watchdog.stop();
    QVERIFY(searched);

    UserSettings saved;
    saved.load();
    QCOMPARE(saved.ports().deviceFor(3), matrix);
    // The panel's own line carried nothing but its own traffic; the port stayed open.
    QCOMPARE(window.sent(0), QByteArray());
    QVERIFY(form.MSComm1->PortOpen());
    QCOMPARE(window.boxes().count(), 0);
}

QTEST_MAIN(tst_Finder)
#include "tst_finder.moc"
