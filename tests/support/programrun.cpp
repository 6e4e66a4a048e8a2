// SPDX-License-Identifier: MIT
#include "programrun.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

bool flockHeldElsewhere(const QString &path)
{
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd); // releases the lock when it was taken here
    return held;
}

QString qtLockFilePath(const QString &device)
{
    QString name = QFileInfo(device).canonicalFilePath().mid(5); // after "/dev/"
    return QStringLiteral("/var/lock/LCK..") + name.replace(QLatin1Char('/'), QLatin1Char('_'));
}

ProgramRun::ProgramRun(const QStringList &arguments, const QString &workingDirectory,
                       const QString &configHome, const QProcessEnvironment &extra,
                       const QString &program)
    : m_arguments(arguments), m_program(program)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    for (const QString &name : extra.keys())
        environment.insert(name, extra.value(name));
    m_process.setProcessEnvironment(environment);
    m_process.setWorkingDirectory(workingDirectory);
}

ProgramRun::~ProgramRun()
{
    if (isRunning()) {
        m_process.kill();
        m_process.waitForFinished();
    }
}

bool ProgramRun::start()
{
    m_process.setChildProcessModifier([asNobody = m_asNobody, descriptors = m_descriptors] {
        // Between fork and exec: only async-signal-safe calls.
        if (descriptors > 0) {
            const rlimit limit{rlim_t(descriptors), rlim_t(descriptors)};
            if (::setrlimit(RLIMIT_NOFILE, &limit) != 0)
                ::_exit(126);
        }
        if (asNobody &&
            (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(126);
    });
    m_process.start(m_program, m_arguments);
    return m_process.waitForStarted();
}

void ProgramRun::answer(const QByteArray &input)
{
    m_process.write(input);
    m_process.closeWriteChannel();
}

bool ProgramRun::waitUntilItHolds(const QString &device, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired() && isRunning()) {
        if (flockHeldElsewhere(device))
            return true;
        QTest::qWait(20);
    }
    return false;
}

int ProgramRun::endWith(int signal, int timeoutMs)
{
    if (isRunning())
        ::kill(pid_t(pid()), signal);
    if (!m_process.waitForFinished(timeoutMs))
        return -1;
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

int ProgramRun::waitForExit(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (isRunning() && !deadline.hasExpired())
        QTest::qWait(5);
    if (isRunning())
        return -1;
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

QString ProgramRun::standardOutput()
{
    m_stdout += m_process.readAllStandardOutput();
    return QString::fromLocal8Bit(m_stdout);
}

QString ProgramRun::standardError()
{
    m_stderr += m_process.readAllStandardError();
    return QString::fromLocal8Bit(m_stderr);
}
