// SPDX-License-Identifier: MIT
// The panel without a window (--headless) and velquor-ctl, run as programs the way a small
// computer in the rack and a script run them: no display at all, the emulated matrix on a
// pseudo-terminal, commands from velquor-ctl.

#include "console.h"
#include "controlclient.h"
#include "programrun.h"
#include "ptyhost.h"
#include "ptypair.h"
#include "scratchdir.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

#include <csignal>
#include <memory>
#include <sys/stat.h>

class tst_Headless : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void servesTheSocketWithoutADisplay();
    void boxesBecomeLinesOnStandardError();
    void asksTheDeviceForItsStateOnceAtStart();
    void heldPortIsLoggedOnceAndTriedAgain();
    void settingsFileGivesTheSocket();
    void longDevicePathInTheSettingsFileLeavesStateSmall();
    void ctlTellsWhyTheSettingsFileWasNotRead();
    void ctlWatchPrintsEachChange();
    void watcherKeepsUpAfterThePanelWasStopped();
    void ctlCommandLine_data();
    void ctlCommandLine();

private:
    // No display, no platform chosen, and the settings file in the scratch directory.
    QProcessEnvironment environment() const;
    // Starts velquor --headless with the arguments and waits until its socket file is there.
    bool startPanel(const QStringList &arguments);
    struct Run
    {
        int exitCode = -1;
        QByteArray out;
        QByteArray err;
    };
    Run ctl(const QStringList &arguments);
    QString socketPath() const { return m_dir->filePath(QStringLiteral("velquor.sock")); }
    QStringList controlArguments() const
    {
        return {QStringLiteral("--control"), QStringLiteral("unix:") + socketPath()};
    }

    std::unique_ptr<ScratchDir> m_dir;
    std::unique_ptr<PtyHost> m_host;
    std::unique_ptr<QProcess> m_panel;
    QByteArray m_panelErr;
    // All the panel has written on standard error so far.
    QByteArray panelErr()
    {
        m_panelErr += m_panel->readAllStandardError();
        return m_panelErr;
    }
};

void tst_Headless::init()
{
    m_dir = std::make_unique<ScratchDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir().mkdir(m_dir->filePath(QStringLiteral("run")),
                         QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    m_host = std::make_unique<PtyHost>();
    QString error;
    QVERIFY2(m_host->open(&error), qPrintable(error));
}

void tst_Headless::cleanup()
{
    if (m_panel) {
        m_panel->terminate();
        if (!m_panel->waitForFinished(5000))
            m_panel->kill();
        m_panel->waitForFinished();
        m_panel.reset();
    }
    m_host.reset();
    m_dir.reset();
}

QProcessEnvironment tst_Headless::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"),
                       m_dir->filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir->filePath(QStringLiteral("run")));
    return environment;
}

bool tst_Headless::startPanel(const QStringList &arguments)
{
    m_panel = std::make_unique<QProcess>();
    m_panel->setProcessEnvironment(environment());
    m_panel->setWorkingDirectory(m_dir->path());
    m_panel->start(QStringLiteral(VELQUOR_PROGRAM),
                   QStringList{QStringLiteral("--headless")} + arguments);
    m_panelErr.clear();
    if (!m_panel->waitForStarted()) {
        qWarning() << "the panel did not start:" << m_panel->errorString();
        return false;
    }
    // It says where it listens once the socket is ready.
    QElapsedTimer waited;
    waited.start();
    while (!panelErr().contains("control socket on") && waited.elapsed() < 10000 &&
           m_panel->state() == QProcess::Running)
        QTest::qWait(10);
    if (panelErr().contains("control socket on") && QFileInfo::exists(socketPath()))
        return true;
    qWarning() << "the panel did not start:" << panelErr();
    return false;
}

tst_Headless::Run tst_Headless::ctl(const QStringList &arguments)
{
    // Run in its own event loop turn by turn: the emulator in this process must keep serving.
    QProcess process;
    process.setProcessEnvironment(environment());
    process.start(QStringLiteral(VELQUOR_CTL_PROGRAM), arguments);
    Run run;
    QElapsedTimer waited;
    waited.start();
    while (process.state() != QProcess::NotRunning && waited.elapsed() < 15000)
        QTest::qWait(5);
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

void tst_Headless::servesTheSocketWithoutADisplay()
{
    QVERIFY(startPanel(
        controlArguments() +
        QStringList{QStringLiteral("--port"), QStringLiteral("COM1=") + m_host->slavePath()}));
    struct stat status = {};
    QCOMPARE(::stat(QFile::encodeName(socketPath()).constData(), &status), 0);
    QCOMPARE(status.st_mode & 0777, mode_t(0600));

    const Run route =
        ctl(controlArguments() +
            QStringList{QStringLiteral("route"), QStringLiteral("2"), QStringLiteral("3")});
    QCOMPARE(route.exitCode, 0);
    QCOMPARE(route.out, QByteArray("ok\n"));
    QTRY_COMPARE(m_host->model().route(1), 2);

    QTest::qWait(300); // the device's report reaches the panel
    const Run state = ctl(controlArguments() + QStringList{QStringLiteral("state")});
    QCOMPARE(state.exitCode, 0);
    QVERIFY2(state.out.count('\n') > 10, state.out.constData()); // indented
    const QJsonObject json = QJsonDocument::fromJson(state.out).object();
    QCOMPARE(json.value(QStringLiteral("connected")).toBool(), true);
    QCOMPARE(json.value(QStringLiteral("device")).toString(), m_host->slavePath());
    QCOMPARE(json.value(QStringLiteral("outputs"))
                 .toArray()
                 .at(1)
                 .toObject()
                 .value(QStringLiteral("route"))
                 .toInt(),
             3);
    QCOMPARE(m_panel->state(), QProcess::Running);
    QCOMPARE(panelErr(), "velquor: control socket on unix:" + socketPath().toUtf8() + "\n");

    // SIGTERM ends it in order, as the service manager stops it: the socket file goes too.
    m_panel->terminate();
    QVERIFY(m_panel->waitForFinished(10000));
    QCOMPARE(m_panel->exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_panel->exitCode(), 0);
    QVERIFY(!QFileInfo::exists(socketPath()));
}

// Nobody presses Update beside the rack: the panel asks once as the port opens, and what it
// tells the other programs is the device's state, not "unknown".
void tst_Headless::asksTheDeviceForItsStateOnceAtStart()
{
    m_host->model().setResolution(7);
    QList<QByteArray> frames;
    connect(m_host.get(), &PtyHost::frameReceived, this,
            [&](const QByteArray &frame) { frames.append(frame); });
    QVERIFY(startPanel(
        controlArguments() +
        QStringList{QStringLiteral("--port"), QStringLiteral("COM1=") + m_host->slavePath()}));
    ControlClient client(socketPath());
    QVERIFY(client.waitForConnected());
    QTRY_VERIFY(client.ask("state").contains(R"("resolution":"1680X1050")"));
    QCOMPARE(frames.value(0).toHex(' '), QByteArray("04 55 20 77"));
    QCOMPARE(frames.count(QByteArray::fromHex("04552077")), 1);
}

void tst_Headless::boxesBecomeLinesOnStandardError()
{
    const QString missing = m_dir->filePath(QStringLiteral("no-such-tty"));
    QVERIFY(startPanel(controlArguments() +
                       QStringList{QStringLiteral("--port"), QStringLiteral("COM1=") + missing}));
    // Start-up could not open the port: what the window shows in a box is one line here, and
    // the panel goes on.
    QTest::qWait(300);
    QCOMPARE(QString::fromUtf8(panelErr()),
             QStringLiteral("velquor: control socket on unix:%1\n"
                            "velquor: ERROR: COM1 (%2): open serial port fail！ (No such file or "
                            "directory)\n")
                 .arg(socketPath(), missing));

    const Run connect = ctl(controlArguments() + QStringList{QStringLiteral("connect")});
    QCOMPARE(connect.exitCode, 1);
    QCOMPARE(connect.err, "velquor-ctl: error cannot open COM1 (" + missing.toUtf8() + ")\n");
    const Run route =
        ctl(controlArguments() +
            QStringList{QStringLiteral("route"), QStringLiteral("1"), QStringLiteral("2")});
    QCOMPARE(route.exitCode, 1);
    QCOMPARE(route.err, QByteArray("velquor-ctl: error port closed\n"));
    const Run state = ctl(controlArguments() + QStringList{QStringLiteral("state")});
    QCOMPARE(state.exitCode, 0);
    QCOMPARE(QJsonDocument::fromJson(state.out).object().value(QStringLiteral("connected")),
             QJsonValue(false));
    // The commands' failures went to their answers, not to the panel's standard error.
    QCOMPARE(panelErr().count('\n'), 2);
    QCOMPARE(m_panel->state(), QProcess::Running);
}

// Started at boot while another program holds the line: one line says which port and why,
// and with --reconnect the panel takes the line once it is free.
void tst_Headless::heldPortIsLoggedOnceAndTriedAgain()
{
    const QString line = m_host->slavePath();
    QProcess holder;
    holder.start(QStringLiteral("flock"),
                 {QStringLiteral("--exclusive"), QStringLiteral("--no-fork"), line,
                  QStringLiteral("sleep"), QStringLiteral("60")});
    QVERIFY(holder.waitForStarted());
    QTRY_VERIFY(flockHeldElsewhere(line));
    QVERIFY(startPanel(controlArguments() + QStringList{QStringLiteral("--reconnect"),
                                                        QStringLiteral("--port"),
                                                        QStringLiteral("COM1=") + line}));
    const QByteArray logged = "velquor: ERROR: COM1 (" + line.toUtf8() +
                              "): open serial port fail\xef\xbc\x81 (held by another program)\n";
    QTRY_VERIFY2(panelErr().contains(logged), panelErr().constData());

    holder.kill();
    holder.waitForFinished();
    QElapsedTimer waited;
    waited.start();
    QJsonValue connected;
    while (connected != QJsonValue(true) && waited.elapsed() < 10000) {
        QTest::qWait(200);
        connected = QJsonDocument::fromJson(
                        ctl(controlArguments() + QStringList{QStringLiteral("state")}).out)
                        .object()
                        .value(QStringLiteral("connected"));
    }
    QCOMPARE(connected, QJsonValue(true));
    QCOMPARE(panelErr().count("ERROR"), 1);
}

void tst_Headless::settingsFileGivesTheSocket()
{
    QDir().mkpath(m_dir->filePath(QStringLiteral("config/velquor")));
    QVERIFY(m_dir->write(QStringLiteral("config/velquor/velquor.conf"),
                         "[control]\nlisten=unix:" + socketPath().toUtf8() + "\n"));
    QVERIFY(startPanel({QStringLiteral("--port"), QStringLiteral("COM1=") + m_host->slavePath()}));
    const Run update = ctl({QStringLiteral("update")}); // no --control: the same file
    QCOMPARE(update.exitCode, 0);
    QCOMPARE(update.out, QByteArray("ok\n"));
}

void tst_Headless::longDevicePathInTheSettingsFileLeavesStateSmall()
{
    // COM1, the port start-up opens, names a path no system could open: the entry is left
    // out with one warning, and COM1 opens its default device.
    QDir().mkpath(m_dir->filePath(QStringLiteral("config/velquor")));
    QVERIFY(m_dir->write(QStringLiteral("config/velquor/velquor.conf"),
                         "[ports]\nCOM1=/dev/" + QByteArray(70000, 'x') + "\n"));
    QVERIFY(startPanel(controlArguments()));
    const Run state = ctl(controlArguments() + QStringList{QStringLiteral("state")});
    QCOMPARE(state.exitCode, 0);
    QCOMPARE(QJsonDocument::fromJson(state.out).object().value(QStringLiteral("device")),
             QJsonValue(QStringLiteral("/dev/ttyS0")));
    QVERIFY2(panelErr().contains("[ports] COM1: \"/dev/xxx"), panelErr().left(300).constData());
    QVERIFY2(panelErr().size() < 1000, panelErr().left(1000).constData());
}

void tst_Headless::ctlTellsWhyTheSettingsFileWasNotRead()
{
    // A FIFO where the file should be: velquor-ctl neither waits on it nor keeps quiet.
    QDir().mkpath(m_dir->filePath(QStringLiteral("config/velquor")));
    const QString path = m_dir->filePath(QStringLiteral("config/velquor/velquor.conf"));
    QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    const Run run = ctl({QStringLiteral("state")});
    QCOMPARE(run.exitCode, 2);
    const QList<QByteArray> lines = run.err.split('\n');
    QCOMPARE(lines.first(),
             "velquor-ctl: " + path.toUtf8() + ": not a regular file but a FIFO; not read");
    QVERIFY(lines.value(1).startsWith("velquor-ctl: no panel given"));
}

void tst_Headless::ctlWatchPrintsEachChange()
{
    QVERIFY(startPanel(
        controlArguments() +
        QStringList{QStringLiteral("--port"), QStringLiteral("COM1=") + m_host->slavePath()}));
    QProcess watch;
    watch.setProcessEnvironment(environment());
    watch.start(QStringLiteral(VELQUOR_CTL_PROGRAM),
                controlArguments() + QStringList{QStringLiteral("watch")});
    QVERIFY(watch.waitForStarted());
    // Once the watch has begun (a change shows up), the device's own change follows.
    ControlClient client(socketPath());
    QVERIFY(client.waitForConnected());
    QElapsedTimer waited;
    waited.start();
    for (int input = 1; !watch.canReadLine() && waited.elapsed() < 10000; input = input % 4 + 1) {
        QCOMPARE(client.ask("route 4 " + QByteArray::number(input)), QByteArray("ok"));
        QTest::qWait(100);
    }
    QVERIFY(watch.canReadLine());
    QTest::qWait(300);
    watch.readAllStandardOutput();

    QString error;
    const auto command = parseConsoleCommand(QStringLiteral("route 3 1"), &error);
    QVERIFY2(command, qPrintable(error));
    m_host->push(applyConsoleCommand(m_host->model(), *command));
    QTRY_VERIFY(watch.canReadLine());
    const QJsonObject change = QJsonDocument::fromJson(watch.readLine()).object();
    QCOMPARE(change.value(QStringLiteral("outputs"))
                 .toArray()
                 .at(2)
                 .toObject()
                 .value(QStringLiteral("route"))
                 .toInt(),
             1);
    watch.terminate();
    QVERIFY(watch.waitForFinished());
}

void tst_Headless::watcherKeepsUpAfterThePanelWasStopped()
{
    // The panel is stopped (SIGSTOP) while the device reports 400 changes; once continued, it
    // reads them all at once. A watcher that reads promptly stays, and ends on the last state.
    PtyPair device;
    QVERIFY2(device.isValid(), qPrintable(device.errorString()));
    QVERIFY(
        startPanel(controlArguments() + QStringList{QStringLiteral("--port"),
                                                    QStringLiteral("COM1=") + device.slavePath()}));
    ControlClient watcher(socketPath());
    QCOMPARE(watcher.ask("watch"), QByteArray("ok"));
    device.readFor(100);

    const auto pid = pid_t(m_panel->processId());
    QCOMPARE(::kill(pid, SIGSTOP), 0);
    QByteArray burst;
    for (int i = 400; i > 0; --i)
        burst += i % 2 ? "s10\r\n" : "s11\r\n"; // ends on output 1 showing IN1
    QVERIFY(device.write(burst));
    QTest::qWait(200);
    QCOMPARE(::kill(pid, SIGCONT), 0);

    // The panel echoes each route; the device takes it.
    const QList<QByteArray> lines =
        watcher.linesUntilQuiet(1000, [&device] { device.readAvailable(); });
    QVERIFY2(watcher.isConnected(), panelErr().constData());
    QVERIFY(!lines.isEmpty());
    const QByteArray state = watcher.ask("state");
    QCOMPARE(lines.last(), state);
    QVERIFY(state.contains(R"({"colour":"green","name":null,"output":1,"route":1})"));
}

void tst_Headless::ctlCommandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("stdoutHas");
    QTest::addColumn<QString>("stderrHas");
    const auto row = [](const char *name, const QStringList &arguments, int exitCode,
                        const char *out, const char *err) {
        QTest::newRow(name) << arguments << exitCode << QString::fromUtf8(out)
                            << QString::fromUtf8(err);
    };
    const QString nobody =
        QStringLiteral("unix:") + QDir::tempPath() + QStringLiteral("/velquor-nobody-listens.sock");
    row("--help lists the commands", {QStringLiteral("--help")}, 0, "  route OUT|all IN", "");
    row("--version", {QStringLiteral("--version")}, 0, "velquor-ctl " VELQUOR_VERSION, "");
    row("no command", {QStringLiteral("--control=4000")}, 2, "", "no command given");
    row("unknown command", {QStringLiteral("--control=4000"), QStringLiteral("frobnicate")}, 2, "",
        "unknown command \"frobnicate\"");
    row("wrong arguments",
        {QStringLiteral("--control=4000"), QStringLiteral("route"), QStringLiteral("9"),
         QStringLiteral("1")},
        2, "", "usage: route OUT|all IN");
    row("bad --control", {QStringLiteral("--control=nowhere"), QStringLiteral("state")}, 2, "",
        "invalid control socket");
    row("no --control and no settings", {QStringLiteral("state")}, 2, "",
        "no panel given: use --control");
    row("no panel listening", {QStringLiteral("--control"), nobody, QStringLiteral("state")}, 1, "",
        "velquor-ctl: no panel listening on unix:");
}

void tst_Headless::ctlCommandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, stdoutHas);
    QFETCH(QString, stderrHas);
    const Run run = ctl(arguments);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(QString::fromUtf8(run.out).contains(stdoutHas), run.out.constData());
    QVERIFY2(QString::fromUtf8(run.err).contains(stderrHas), run.err.constData());
    if (exitCode == 1)
        QCOMPARE(run.err.count('\n'), 1); // one line
}

QTEST_GUILESS_MAIN(tst_Headless)
#include "tst_headless.moc"
