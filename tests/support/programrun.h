// SPDX-License-Identifier: MIT
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// True when some other open file of path holds an exclusive flock on it: what the panel does
// while its port is open. Checked with a flock attempt of its own, released at once.
bool flockHeldElsewhere(const QString &path);

// The lock file QSerialPort keeps for device while it has it open (/var/lock/LCK..pts_3).
QString qtLockFilePath(const QString &device);

// The real program, started as a user starts it: its own process, environment and working
// directory, the offscreen platform, and a settings folder of the test's choosing.
class ProgramRun
{
public:
    // configHome becomes XDG_CONFIG_HOME, so that the user's own settings file stays out.
    ProgramRun(const QStringList &arguments, const QString &workingDirectory,
               const QString &configHome, const QProcessEnvironment &extra = {},
               const QString &program = QStringLiteral(VELQUOR_PROGRAM));
    ~ProgramRun();
    ProgramRun(const ProgramRun &) = delete;
    ProgramRun &operator=(const ProgramRun &) = delete;

    // Runs the child as user and group 65534 (nobody).
    void runAsNobody() { m_asNobody = true; }
    // Starts the child with soft and hard limits of this many descriptors ("ulimit -n").
    void limitDescriptors(int count) { m_descriptors = count; }
    // Before start(): standard error goes to the file at path instead (a stream of the test's
    // choosing, as the journal's is one); standardError() then stays empty.
    void sendStandardErrorTo(const QString &path) { m_process.setStandardErrorFile(path); }
    bool start();
    // Gives the program input on its standard input, which then ends.
    void answer(const QByteArray &input);
    bool isRunning() const { return m_process.state() == QProcess::Running; }
    qint64 pid() const { return m_process.processId(); }

    // Waits until the program holds device (its flock), or ends, or timeoutMs pass.
    bool waitUntilItHolds(const QString &device, int timeoutMs = 10000);
    // Sends signal and waits for the end: the exit code of a normal exit, -1 otherwise.
    int endWith(int signal, int timeoutMs = 10000);
    // Waits for the end by itself, processing events meanwhile (a device the test serves
    // answers it): the exit code of a normal exit, -1 otherwise.
    int waitForExit(int timeoutMs = 10000);

    QString standardOutput();
    QString standardError();

private:
    QProcess m_process;
    QStringList m_arguments;
    QString m_program;
    bool m_asNobody = false;
    int m_descriptors = 0;
    QByteArray m_stdout;
    QByteArray m_stderr;
};
