// SPDX-License-Identifier: MIT
// The user's settings file under arbitrary file contents.
//
// Checked: every port it maps is 1..255 with a device path; every warning names the file, is
// one line of at most 200 characters after the name with no control character in it, and
// there are at most 20 of them and a count; and what the program saves of that map reads back
// as the same map, without a warning, whatever characters the paths hold (QSettings quotes
// and escapes them).

#include "usersettings.h"

#include <QDir>
#include <QFile>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <unistd.h>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

// Two files per fuzzing process, removed when it ends.
struct ScratchFiles
{
    // In memory where the system offers it: a file per input on disk is slow.
    const QDir folder{QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm")
                                                                : QDir::tempPath()};
    const QString read =
        folder.filePath(QStringLiteral("velquor-fuzz-settings-%1.conf").arg(::getpid()));
    const QString written =
        folder.filePath(QStringLiteral("velquor-fuzz-settings-%1-saved.conf").arg(::getpid()));
    ~ScratchFiles()
    {
        QFile::remove(read);
        QFile::remove(written);
    }
};

const ScratchFiles &scratch()
{
    static const ScratchFiles files;
    return files;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QFile file(scratch().read);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 0;
    file.write(reinterpret_cast<const char *>(data), qint64(size));
    file.close();

    UserSettings settings(scratch().read);
    settings.load();
    const QString named = scratch().read + QStringLiteral(": ");
    require(settings.warnings().size() <= UserSettings::maxWarnings + 1);
    for (const QString &warning : settings.warnings()) {
        require(warning.startsWith(named));
        require(warning.size() <= named.size() + UserSettings::maxWarningLength);
        for (const QChar c : warning)
            require(c.category() != QChar::Other_Control && c != QChar::LineSeparator &&
                    c != QChar::ParagraphSeparator);
    }

    QFile::remove(scratch().written);
    UserSettings saved(scratch().written);
    for (int port = 0; port <= PortMap::maxPort + 1; ++port) {
        if (!settings.ports().isMapped(port))
            continue;
        require(port >= 1 && port <= PortMap::maxPort);
        require(UserSettings::isDevicePath(settings.ports().deviceFor(port)));
        saved.setPort(port, settings.ports().deviceFor(port));
    }
    require(saved.save());
    UserSettings again(scratch().written);
    again.load();
    require(again.warnings().isEmpty());
    for (int port = 1; port <= PortMap::maxPort; ++port) {
        require(again.ports().isMapped(port) == settings.ports().isMapped(port));
        require(again.ports().deviceFor(port) == settings.ports().deviceFor(port));
    }
    return 0;
}
