#pragma once

// Where the control socket listens when the command line does not say: "listen" in the group
// [control] of the user's settings file, $XDG_CONFIG_HOME/velquor/velquor.conf
// (~/.config/velquor/velquor.conf). The panel and velquor-ctl both read it. This is the only
// code that reads the control group; it belongs with the other settings of that file.

#include <QString>

namespace controlsettings {

// The listen= value, trimmed; empty when the file or the key is missing.
QString listen();
// The settings file's path, for messages.
QString fileName();

} // namespace controlsettings
