// SPDX-License-Identifier: MIT
#include "servicestate.h"

#include "presetbook.h"
#include "usersettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace servicestate {

QString directory()
{
    // systemd separates several folders with ':'.
    return qEnvironmentVariable("STATE_DIRECTORY").section(QLatin1Char(':'), 0, 0);
}

bool enter(const QString &directory, QString *why)
{
    if (!QDir().mkpath(directory) || !QDir::setCurrent(directory)) {
        *why = QStringLiteral("cannot use the state directory %1").arg(directory);
        return false;
    }
    return true;
}

QString webKeyFile(const QString &directory)
{
    return QDir(directory).filePath(QStringLiteral("web.conf"));
}

void useNamesAndPresets(PresetBook &book, const UserSettings &settings, const QString &directory)
{
    const QString kept = QDir(directory).filePath(QStringLiteral("presets.conf"));
    NamesAndPresets content = settings.namesAndPresets();
    // The file's existence says the operator saved: even with every name and preset removed.
    if (QFileInfo::exists(kept)) {
        UserSettings saved(kept);
        saved.load();
        content.names = saved.namesAndPresets().names;
        content.presets = saved.namesAndPresets().presets;
    }
    // The gap between a recall's frames is the settings file's alone.
    book.reset(content);
    book.setStore([kept](const NamesAndPresets &next, QString *error) {
        UserSettings file(kept);
        file.load();
        file.setNamesAndPresets(next);
        if (!file.save(error))
            return false;
        QFile marker(kept); // save() writes nothing when nothing differs from an empty file
        if (!marker.exists() && !marker.open(QIODevice::WriteOnly)) {
            if (error)
                *error = QStringLiteral("cannot write %1").arg(kept);
            return false;
        }
        return true;
    });
}

} // namespace servicestate
