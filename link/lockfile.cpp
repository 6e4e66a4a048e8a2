// SPDX-License-Identifier: MIT
#include "lockfile.h"

#include <QFileInfo>

#include <cstring>

namespace portlock {

std::optional<qint64> lockFilePid(QByteArrayView content)
{
    qsizetype i = 0;
    while (i < content.size() && (content[i] == ' ' || content[i] == '\t'))
        ++i;
    qint64 pid = 0;
    qsizetype digits = 0;
    for (; i < content.size() && content[i] >= '0' && content[i] <= '9' && digits < 10; ++i) {
        pid = pid * 10 + (content[i] - '0');
        ++digits;
    }
    const bool endsThere =
        i == content.size() || content[i] == '\n' || content[i] == '\r' || content[i] == ' ';
    if (digits > 0 && endsThere)
        return pid > 0 ? std::optional<qint64>(pid) : std::nullopt;
    if (digits == 0 && content.size() == 4) {
        qint32 binary = 0;
        std::memcpy(&binary, content.data(), sizeof binary);
        if (binary > 0)
            return binary;
    }
    return std::nullopt;
}

QByteArray lockFileProgram(QByteArrayView content)
{
    const QList<QByteArray> lines = content.toByteArray().split('\n');
    if (lines.size() < 4 || lines[1].isEmpty())
        return {};
    for (char c : lines[0]) {
        if (c < '0' || c > '9')
            return {};
    }
    return lines[1];
}

QStringList lockFileNames(const QString &systemPath)
{
    static const QString dev = QStringLiteral("/dev/");
    QStringList names;
    if (systemPath.startsWith(dev)) {
        QString rest = systemPath.mid(dev.size());
        names.append(QStringLiteral("LCK..") + rest.replace(QLatin1Char('/'), QLatin1Char('_')));
    }
    const QString last = QStringLiteral("LCK..") + QFileInfo(systemPath).fileName();
    if (!names.contains(last))
        names.append(last);
    return names;
}

QStringList lockDirectories()
{
    return {QStringLiteral("/var/lock"),
            QStringLiteral("/run/lock"),
            QStringLiteral("/var/lock/lockdev"),
            QStringLiteral("/etc/locks"),
            QStringLiteral("/var/spool/locks"),
            QStringLiteral("/var/spool/uucp"),
            QStringLiteral("/tmp"),
            QStringLiteral("/var/tmp")};
}

} // namespace portlock
