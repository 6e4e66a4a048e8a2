// SPDX-License-Identifier: MIT
// The exclusive hold on the device: holders that are other programs, not Qt serial ports.

#include "errortrap.h"
#include "form1.h"
#include "lamp.h"
#include "messageboxwatcher.h"
#include "mscomm.h"
#include "portlock.h"
#include "programrun.h"
#include "ptypair.h"
#include "windowcontrols.h"
#include "windowonline.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

#include <utime.h>

using namespace Qt::StringLiterals;

namespace {

const QString failureText = u"open serial port fail\uFF01 "_s;

template <typename Call> int errorOf(Call &&call)
{
    ErrorTrap trap;
    trap.run(call);
    return trap.error();
}

// How another program holds the line.
enum class Holder {
    Flock,             // util-linux flock around a cat that reads the line
    SharedFlock,       // the same with a shared lock, which an exclusive one must respect too
    LockFileShortName, // LCK..<last part of the path>, as other serial tools name it
    LockFileQtName,    // LCK..pts_<n>, the name QSerialPort itself uses
    OldLockFileQtName, // the same, written an hour ago
    QtFormLockFile,    // LCK..pts_<n> in QSerialPort's own form: PID, program, host
};

// A lock file as other serial tools write it: the PID in ten columns and a line feed.
QByteArray uucpLine(qint64 pid)
{
    return QByteArray::number(pid).rightJustified(10, ' ') + '\n';
}

// A lock file as QSerialPort writes it on this machine: PID, the program's file name, the host
// and the machine's and the boot's ids.
QByteArray qtFormLines(qint64 pid, const QByteArray &program)
{
    return QByteArray::number(pid) + '\n' + program + '\n' + QSysInfo::machineHostName().toUtf8() +
           '\n' + QSysInfo::machineUniqueId() + '\n' + QSysInfo::bootUniqueId() + '\n';
}

} // namespace

Q_DECLARE_METATYPE(Holder)

class tst_PortLock : public QObject
{
    Q_OBJECT

private slots:
    void lockFilePid_data();
    void lockFilePid();
    void heldLineIsReported_data();
    void heldLineIsReported();
    void lockFileOfAnEndedProcessDoesNotHold_data();
    void lockFileOfAnEndedProcessDoesNotHold();
    void holdGoesWithThePort();
};

void tst_PortLock::lockFilePid_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<qint64>("pid"); // 0: names no process
    QTest::addColumn<QByteArray>("program");

    qint32 binary = 4321;
    QTest::newRow("ten columns and a line feed")
        << "      1234\n"_ba << qint64(1234) << QByteArray();
    QTest::newRow("QSerialPort's three lines")
        << "1234\nvelquor\nhost\n"_ba << qint64(1234) << "velquor"_ba;
    QTest::newRow("two lines name no program") << "1234\nvelquor\n"_ba << qint64(1234) << ""_ba;
    QTest::newRow("four digits are text, not binary") << "1234"_ba << qint64(1234) << ""_ba;
    QTest::newRow("binary int of old tools")
        << QByteArray(reinterpret_cast<const char *>(&binary), 4) << qint64(4321) << ""_ba;
    QTest::newRow("text") << "locked\n"_ba << qint64(0) << ""_ba;
    QTest::newRow("zero") << "         0\n"_ba << qint64(0) << ""_ba;
    QTest::newRow("negative") << "        -5\n"_ba << qint64(0) << ""_ba;
    QTest::newRow("more digits than a PID has") << "12345678901\n"_ba << qint64(0) << ""_ba;
}

void tst_PortLock::lockFilePid()
{
    QFETCH(QByteArray, content);
    QFETCH(qint64, pid);
    QFETCH(QByteArray, program);
    QCOMPARE(portlock::lockFilePid(content).value_or(0), pid);
    QCOMPARE(portlock::lockFileProgram(content), program);
}

void tst_PortLock::heldLineIsReported_data()
{
    QTest::addColumn<Holder>("holder");
    QTest::addColumn<bool>("throughLink"); // COM1 names a link to the line, as by-id paths do
    QTest::newRow("flock") << Holder::Flock << false;
    QTest::newRow("shared flock") << Holder::SharedFlock << false;
    QTest::newRow("lock file LCK..<n>") << Holder::LockFileShortName << false;
    QTest::newRow("lock file LCK..pts_<n>") << Holder::LockFileQtName << false;
    QTest::newRow("lock file LCK..pts_<n>, through a link") << Holder::LockFileQtName << true;
    QTest::newRow("lock file LCK..pts_<n>, an hour old") << Holder::OldLockFileQtName << false;
    QTest::newRow("QSerialPort's lock file, of the program running")
        << Holder::QtFormLockFile << false;
}

void tst_PortLock::heldLineIsReported()
{
    QFETCH(Holder, holder);
    QFETCH(bool, throughLink);

    WindowOnLine::Options options;
    options.startUp = WindowOnLine::StartUp::AsItComes;
    WindowOnLine window(options);
    window.prepare();
    if (QTest::currentTestFailed())
        return;
    PtyPair &device = window.device();
    const QString line = device.slavePath();

    // The holder reads the line; what it prints is what reached it.
    QProcess holderProcess;
    QString lockFile;
    QByteArray lockContent;
    const bool flock = holder == Holder::Flock || holder == Holder::SharedFlock;
    if (flock) {
        holderProcess.start(u"flock"_s, {holder == Holder::Flock ? u"--exclusive"_s : u"--shared"_s,
                                         line, u"cat"_s, line});
        QVERIFY(holderProcess.waitForStarted());
        QTRY_VERIFY(flockHeldElsewhere(line));
    } else {
        holderProcess.start(u"cat"_s, {line});
        QVERIFY(holderProcess.waitForStarted());
        lockFile = holder == Holder::LockFileShortName
                       ? u"/var/lock/LCK.."_s + QFileInfo(line).fileName()
                       : qtLockFilePath(line);
        lockContent = holder == Holder::QtFormLockFile
                          ? qtFormLines(holderProcess.processId(), "cat"_ba)
                          : uucpLine(holderProcess.processId());
        QFile file(lockFile);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(lockContent);
        file.close();
        if (holder == Holder::OldLockFileQtName) {
            const time_t hourAgo = time(nullptr) - 3600;
            const utimbuf times{hourAgo, hourAgo};
            QVERIFY(::utime(QFile::encodeName(lockFile).constData(), &times) == 0);
        }
    }
    const auto cleanUp = qScopeGuard([&] {
        holderProcess.kill();
        holderProcess.waitForFinished();
        if (!lockFile.isEmpty())
            QFile::remove(lockFile);
    });

    QTemporaryDir links;
    const QString mapped = throughLink ? links.filePath(u"usb-Maker_Adapter_A1-if00"_s) : line;
    if (throughLink)
        QVERIFY(QFile::link(line, mapped));
    PortMap ports;
    ports.map(1, mapped);

    // Start-up and Connect both find the line held: the message, and Disconnected.
    window.options().ports = ports;
    window.start();
    Form1 &form = window.form();
    MessageBoxWatcher &boxes = window.boxes();
    controls(form).Command7->click();
    QCOMPARE(boxes.count(), 2);
    for (const ShownMessageBox &box : boxes.boxes()) {
        QCOMPARE(box.text, failureText);
        QCOMPARE(box.title, u"ERROR"_s);
    }
    QVERIFY(!form.MSComm1->PortOpen());
    QCOMPARE(controls(form).Command7->text(), u"Connect"_s);
    QCOMPARE(controls(form).Shape16->FillStyle(), 1);
    QCOMPARE(controls(form).Shape15->FillStyle(), 0);
    MSComm comm(ports);
    QCOMPARE(errorOf([&] { comm.setPortOpen(true); }), int(MSComm::PortAlreadyOpen));

    // The holder still owns the line: what the device sends reaches it, nothing went out to
    // the device, and its lock is as it was.
    QVERIFY(device.write("s12\r\n"_ba));
    QByteArray heard;
    QTRY_COMPARE(heard += holderProcess.readAllStandardOutput(), "s12\r\n"_ba);
    QCOMPARE(device.readFor(20), QByteArray());
    if (flock) {
        QVERIFY(flockHeldElsewhere(line));
    } else {
        QFile file(lockFile);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), lockContent);
    }
}

void tst_PortLock::lockFileOfAnEndedProcessDoesNotHold_data()
{
    QTest::addColumn<bool>("pidGivenOut"); // the PID runs another program by now
    QTest::newRow("the process is gone") << false;
    // A killed panel leaves QSerialPort's file behind; its PID and its terminal's number are
    // given out again, so a stranger's process appears to hold a fresh terminal.
    QTest::newRow("QSerialPort's file, the PID now another program's") << true;
}

void tst_PortLock::lockFileOfAnEndedProcessDoesNotHold()
{
    QFETCH(bool, pidGivenOut);
    PtyPair device;
    QVERIFY(device.isValid());
    QProcess ended;
    ended.start(pidGivenOut ? u"sleep"_s : u"true"_s, {u"30"_s});
    QVERIFY(pidGivenOut ? ended.waitForStarted() : ended.waitForFinished());
    const auto endIt = qScopeGuard([&] {
        ended.kill();
        ended.waitForFinished();
    });
    const QString lockFile = pidGivenOut
                                 ? qtLockFilePath(device.slavePath())
                                 : u"/var/lock/LCK.."_s + QFileInfo(device.slavePath()).fileName();
    QFile file(lockFile);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(pidGivenOut ? qtFormLines(ended.processId(), "velquor"_ba)
                           : uucpLine(ended.processId()));
    file.close();
    const auto cleanUp = qScopeGuard([&] { QFile::remove(lockFile); });

    PortMap ports;
    ports.map(1, device.slavePath());
    MSComm comm(ports);
    QCOMPARE(errorOf([&] { comm.setPortOpen(true); }), 0);
}

void tst_PortLock::holdGoesWithThePort()
{
    PtyPair device;
    QVERIFY(device.isValid());
    PortMap ports;
    ports.map(1, device.slavePath());
    MSComm comm(ports);
    comm.setPortOpen(true);
    QVERIFY(flockHeldElsewhere(device.slavePath()));
    comm.setPortOpen(false);
    QVERIFY(!flockHeldElsewhere(device.slavePath()));
    QVERIFY(!QFile::exists(qtLockFilePath(device.slavePath())));
}

QTEST_MAIN(tst_PortLock)
#include "tst_portlock.moc"
