// SPDX-License-Identifier: MIT
#pragma once

// Where a panel run by systemd keeps what it remembers, when its settings file is read-only
// (the service's /etc/velquor/<instance>.conf): the folder systemd made for it and names in
// STATE_DIRECTORY (StateDirectory=velquor/%i), one for each instance. There it keeps
// COMPORT (the folder is its working directory), the web page's key (web.conf) and the
// names and presets the operator saved (presets.conf). Outside such a service everything
// stays where it always was.

#include <QString>

class PresetBook;
class UserSettings;

namespace servicestate {

// The first folder STATE_DIRECTORY names; empty without one.
QString directory();
// Makes the folder the working directory, creating it when missing.
bool enter(const QString &directory, QString *why);
QString webKeyFile(const QString &directory);
// The panel's names and presets: the settings file's until the operator saves a change,
// which goes to the state folder; from then on the state folder's.
void useNamesAndPresets(PresetBook &book, const UserSettings &settings, const QString &directory);

} // namespace servicestate
