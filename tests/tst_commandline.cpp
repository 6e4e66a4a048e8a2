// SPDX-License-Identifier: MIT
// The program's command line, run as a user would run it.

#include <QProcess>
#include <QSerialPortInfo>
#include <QtTest>

class tst_CommandLine : public QObject
{
    Q_OBJECT

private slots:
    void arguments_data();
    void arguments();
    void withoutADisplaySaysSoInOneLine();
    void listPortsNeedsNoDisplay();
};

namespace {

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

QProcessEnvironment headless()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    // The user's own settings file stays out of it.
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), QStringLiteral("/nonexistent/velquor"));
    return environment;
}

Run velquor(const QStringList &arguments, const QProcessEnvironment &environment,
            int timeoutMs = 10000)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(QDir::tempPath());
    process.start(QStringLiteral(VELQUOR_PROGRAM), arguments);
    Run run;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

} // namespace

void tst_CommandLine::arguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("stdoutHas");
    QTest::addColumn<QString>("stderrHas");

    auto row = [](const char *name, QStringList arguments, int exitCode, const char *out,
                  const char *err) {
        QTest::newRow(name) << arguments << exitCode << QString::fromUtf8(out)
                            << QString::fromUtf8(err);
    };
    row("--help lists every option", {QStringLiteral("--help")}, 0, "Usage: velquor", "");
    row("--help-all does not start the window", {QStringLiteral("--help-all")}, 0,
        "--port <COMn=DEVICE>", "");
    row("--version", {QStringLiteral("--version")}, 0, "velquor " VELQUOR_VERSION, "");
    row("--help names --list-ports", {QStringLiteral("--help")}, 0, "--list-ports", "");
    row("--help names --from-menu", {QStringLiteral("--help")}, 0, "--from-menu", "");
    row("unknown option: error and usage on stderr", {QStringLiteral("--bogus")}, 2, "",
        "Unknown option 'bogus'");
    row("unknown option prints the usage", {QStringLiteral("--bogus")}, 2, "", "Usage: velquor");
    row("a stray argument", {QStringLiteral("COM1")}, 2, "", "unexpected argument \"COM1\"");
    row("--port without =", {QStringLiteral("--port"), QStringLiteral("COM1")}, 2, "",
        "invalid --port");
    row("--port with port 0", {QStringLiteral("--port=COM0=/dev/null")}, 2, "", "COM0=/dev/null");
    row("--port with port 256", {QStringLiteral("--port=COM256=/dev/null")}, 2, "", "COM256");
    row("--port without a device", {QStringLiteral("--port=COM1=")}, 2, "", "invalid --port");
    row("--port without a value", {QStringLiteral("--port")}, 2, "", "Missing value");
    row("--port with a path past the system's limit",
        {QStringLiteral("--port=COM1=/dev/") + QString(70000, QLatin1Char('x'))}, 2, "",
        "is longer than the system's limit of 4095 bytes");
    row("--headless without --control", {QStringLiteral("--headless")}, 2, "",
        "--headless needs --control");
    row("--web on a local socket", {QStringLiteral("--web=unix:/tmp/page")}, 2, "",
        "invalid --web: the web page is served on PORT or HOST:PORT");
    row("--web that is no address", {QStringLiteral("--web=phone")}, 2, "", "invalid --web");
    row("--control that is no address", {QStringLiteral("--control=bogus")}, 2, "",
        "invalid --control: \"bogus\" is not PORT, HOST:PORT or unix:PATH");
    row("--control with port 65536", {QStringLiteral("--control=65536")}, 2, "",
        "invalid --control");
    row("--control with a socket path too long",
        {QStringLiteral("--control=unix:/") + QString(200, QLatin1Char('s'))}, 2, "",
        "invalid --control: the socket path is 201 bytes long; the system allows at most 107");
    row("--control with a host name", {QStringLiteral("--control=matrix.example:4000")}, 2, "",
        "is not an IP address");
}

void tst_CommandLine::arguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, stdoutHas);
    QFETCH(QString, stderrHas);

    // No display: a command line that gets past its checks would report that and exit 1,
    // so none of these rows can open a window by mistake.
    const Run run = velquor(arguments, headless());
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.out.contains(stdoutHas), qPrintable(run.out));
    QVERIFY2(run.err.contains(stderrHas), qPrintable(run.err.left(300)));
    if (exitCode == 0)
        QVERIFY(run.err.isEmpty());
    // A usage error is a short message and the usage text, however long the argument.
    QVERIFY2(run.err.size() < 8000, qPrintable(run.err.left(300)));
}

void tst_CommandLine::withoutADisplaySaysSoInOneLine()
{
    // Without a display the program says so in one line and ends with 1, never a crash.
    const Run run = velquor({QStringLiteral("--demo")}, headless());
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.err.count(QLatin1Char('\n')), 1);
    QVERIFY(run.err.contains(QStringLiteral("no display")));
}

void tst_CommandLine::listPortsNeedsNoDisplay()
{
    // One line per device QSerialPortInfo finds: stable path, system path, description,
    // manufacturer, serial number.
    const Run run = velquor({QStringLiteral("--list-ports")}, headless());
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.err, QString());
    const QStringList lines = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const QList<QSerialPortInfo> found = QSerialPortInfo::availablePorts();
    QCOMPARE(lines.size(), found.size());
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QStringList fields = lines[i].split(QLatin1Char('\t'));
        QCOMPARE(fields.size(), 5);
        QCOMPARE(fields[1], found[i].systemLocation());
    }
}

QTEST_GUILESS_MAIN(tst_CommandLine)
#include "tst_commandline.moc"
