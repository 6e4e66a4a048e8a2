// The program as a process: how it ends on a signal, and where it keeps COMPORT.

#include "programrun.h"
#include "ptypair.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

class tst_Process : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void signalEndsInOrder_data();
    void signalEndsInOrder();
    void signalDuringStartUpMessage();
    void comportFolder_data();
    void comportFolder();

private:
    // A folder everyone may use, for the runs as another user.
    static bool openUp(const QString &path) { return ::chmod(QFile::encodeName(path), 0777) == 0; }

    QTemporaryDir m_scratch;
    QString m_program; // a copy another user may run, wherever the build tree is
};

void tst_Process::initTestCase()
{
    QVERIFY(m_scratch.isValid());
    QVERIFY(::chmod(QFile::encodeName(m_scratch.path()), 0755) == 0);
    m_program = m_scratch.filePath(u"velquor"_s);
    QVERIFY(QFile::copy(QStringLiteral(VELQUOR_PROGRAM), m_program));
}

void tst_Process::signalEndsInOrder_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGINT") << SIGINT;
    QTest::newRow("SIGHUP") << SIGHUP;
}

void tst_Process::signalEndsInOrder()
{
    QFETCH(int, signal);
    PtyPair device;
    QVERIFY2(device.isValid(), qPrintable(device.errorString()));
    const QString line = device.slavePath();
    QTemporaryDir work;
    QVERIFY(work.isValid() && openUp(work.path()));
    const QStringList arguments{u"--port"_s, u"COM1="_s + line};

    ProgramRun first(arguments, work.path(), work.path(), {}, m_program);
    QVERIFY(first.start());
    QVERIFY2(first.waitUntilItHolds(line), qPrintable(first.standardError()));
    QVERIFY(QFile::exists(qtLockFilePath(line)));

    QCOMPARE(first.endWith(signal), 0);
    QVERIFY2(!QFile::exists(qtLockFilePath(line)), "the lock file outlived the program");
    QVERIFY(!flockHeldElsewhere(line));

    // Another user now opens the same line: nothing the first run left behind may stop it.
    QVERIFY(::chmod(QFile::encodeName(line), 0666) == 0);
    ProgramRun other(arguments, work.path(), work.path(), {}, m_program);
    other.runAsNobody();
    QVERIFY(other.start());
    QVERIFY2(other.waitUntilItHolds(line), qPrintable(other.standardError()));
    QCOMPARE(other.endWith(SIGTERM), 0);
}

void tst_Process::signalDuringStartUpMessage()
{
    // COM1 is absent: start-up waits in its "open serial port fail！ " box, before the window
    // is shown. A signal there ends the box's loop, and the program must not go on to show
    // the window and wait for ever.
    QTemporaryDir work;
    QVERIFY(work.isValid());
    ProgramRun run({u"--port"_s, u"COM1=/dev/velquor-absent"_s}, work.path(), work.path(), {},
                   m_program);
    QVERIFY(run.start());
    // COMPORT is written just before the port is tried.
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(work.filePath(u"COMPORT"_s)), 10000);
    QCOMPARE(run.endWith(SIGTERM), 0);
}

void tst_Process::comportFolder_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<bool>("stateHomeSet");
    QTest::addColumn<QString>("expected"); // relative to the scratch folder

    QTest::newRow("from the menu, XDG_STATE_HOME set")
        << QStringList{u"--from-menu"_s} << true << u"state/velquor/COMPORT"_s;
    QTest::newRow("from the menu, default state folder")
        << QStringList{u"--from-menu"_s} << false << u"home/.local/state/velquor/COMPORT"_s;
    QTest::newRow("from a shell, the working directory")
        << QStringList{} << true << u"work/COMPORT"_s;
}

void tst_Process::comportFolder()
{
    QFETCH(QStringList, options);
    QFETCH(bool, stateHomeSet);
    QFETCH(QString, expected);

    PtyPair device;
    QVERIFY(device.isValid());
    QTemporaryDir scratch;
    const QDir root(scratch.path());
    QVERIFY(root.mkpath(u"work"_s) && root.mkpath(u"home"_s));
    QProcessEnvironment environment;
    environment.insert(u"HOME"_s, root.filePath(u"home"_s));
    // The state folder does not exist yet: the program creates it.
    environment.insert(u"XDG_STATE_HOME"_s, stateHomeSet ? root.filePath(u"state"_s) : QString());

    ProgramRun run(options + QStringList{u"--port"_s, u"COM1="_s + device.slavePath()},
                   root.filePath(u"work"_s), root.filePath(u"home"_s), environment, m_program);
    QVERIFY(run.start());
    QVERIFY2(run.waitUntilItHolds(device.slavePath()), qPrintable(run.standardError()));
    QCOMPARE(run.endWith(SIGTERM), 0);

    QStringList found;
    for (const QString &candidate : {u"work/COMPORT"_s, u"state/velquor/COMPORT"_s,
                                     u"home/.local/state/velquor/COMPORT"_s, u"home/COMPORT"_s}) {
        if (QFile::exists(root.filePath(candidate)))
            found.append(candidate);
    }
    QCOMPARE(found, QStringList{expected});
    QFile file(root.filePath(expected));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray::fromHex("2030200d0a"));
}

QTEST_GUILESS_MAIN(tst_Process)
#include "tst_process.moc"
