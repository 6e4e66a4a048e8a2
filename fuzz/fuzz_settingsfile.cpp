// SPDX-License-Identifier: MIT
// The user's settings file under arbitrary file contents.
//
// Checked: every port it maps is 1..255 with a device path; every warning names the file, is
// one line of at most 200 characters after the name with no control character in it, and
// there are at most 20 of them and a count; every name and preset it takes keeps the rules
// (presetrules.h), at most 32 presets; and what the program saves of that map, those names
// and presets reads back as the same, without a warning, whatever characters the paths and
// names hold (QSettings quotes and escapes them).

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

// Each name and preset taken is one the window and the control socket would have let in.
void requireRulesKept(const NamesAndPresets &content)
{
    require(content.presets.size() <= presets::maxPresets);
    require(content.gap >= 0 && content.gap <= presets::maxGap);
    for (const Side side : {Side::Input, Side::Output}) {
        for (int number = 1; number <= sideCount(side); ++number) {
            const QString &name = content.names.of(side, number);
            const NameCheck check = checkName(name);
            require(check.problem.isEmpty() && check.name == name);
            require(sideNameProblem(content.names, side, number, name).isEmpty());
        }
    }
    for (int i = 0; i < content.presets.size(); ++i) {
        const Preset &preset = content.presets[i];
        const NameCheck check = checkName(preset.name);
        require(check.problem.isEmpty() && check.name == preset.name);
        require(presetNameProblem(content.presets, preset.name, i).isEmpty());
        for (const int input : preset.routes)
            require(vocabulary::isInput(input));
    }
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
    requireRulesKept(settings.namesAndPresets());
    saved.setNamesAndPresets(settings.namesAndPresets());
    require(saved.save());
    UserSettings again(scratch().written);
    again.load();
    require(again.warnings().isEmpty());
    for (int port = 1; port <= PortMap::maxPort; ++port) {
        require(again.ports().isMapped(port) == settings.ports().isMapped(port));
        require(again.ports().deviceFor(port) == settings.ports().deviceFor(port));
    }
    require(again.namesAndPresets().names == settings.namesAndPresets().names);
    require(again.namesAndPresets().presets == settings.namesAndPresets().presets);
    return 0;
}
