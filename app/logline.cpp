// SPDX-License-Identifier: MIT
#include "logline.h"

#include <QByteArray>
#include <QStringList>

#include <cstdio>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace {

bool journal = false;
QStringList secrets;

// JOURNAL_STREAM is "DEVICE:INODE" of the stream systemd connected; a child whose standard
// error was sent elsewhere inherits the variable, so the stream itself must match.
bool standardErrorIsJournal()
{
#ifdef Q_OS_UNIX
    const QByteArray value = qgetenv("JOURNAL_STREAM");
    const qsizetype colon = value.indexOf(':');
    if (colon <= 0)
        return false;
    bool deviceOk = false;
    bool inodeOk = false;
    const qulonglong device = value.left(colon).toULongLong(&deviceOk);
    const qulonglong inode = value.mid(colon + 1).toULongLong(&inodeOk);
    struct stat status = {};
    return deviceOk && inodeOk && ::fstat(2, &status) == 0 && qulonglong(status.st_dev) == device &&
           qulonglong(status.st_ino) == inode;
#else
    return false;
#endif
}

logline::Priority priorityOf(QtMsgType type)
{
    switch (type) {
    case QtCriticalMsg:
    case QtFatalMsg:
        return logline::Priority::Error;
    case QtWarningMsg:
        return logline::Priority::Warning;
    case QtDebugMsg:
    case QtInfoMsg:
        break;
    }
    return logline::Priority::Info;
}

void qtMessageToJournal(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    logline::say(priorityOf(type), message);
}

} // namespace

namespace logline {

void setUp()
{
    journal = standardErrorIsJournal();
    if (journal)
        qInstallMessageHandler(qtMessageToJournal);
}

bool toJournal()
{
    return journal;
}

void say(Priority priority, const QString &text)
{
    QString shown = text;
    if (journal) {
        for (const QString &secret : std::as_const(secrets))
            shown.replace(secret, QStringLiteral("\u2026"));
    }
    const QByteArray prefix =
        journal ? "<" + QByteArray::number(int(priority)) + ">velquor: " : "velquor: ";
    QByteArray lines;
    for (const QString &line : shown.split(QLatin1Char('\n')))
        lines += prefix + line.toLocal8Bit() + '\n';
    std::fputs(lines.constData(), stderr);
}

void hide(const QString &secret)
{
    if (!secret.isEmpty() && !secrets.contains(secret))
        secrets.append(secret);
}

} // namespace logline
