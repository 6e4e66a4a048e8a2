#include "controlsettings.h"

#include <QSettings>

#include <memory>

namespace {

// The user's settings of the organisation and program "velquor": on Linux the INI file
// $XDG_CONFIG_HOME/velquor/velquor.conf, ~/.config/... when XDG_CONFIG_HOME is not set.
std::unique_ptr<QSettings> userSettings()
{
    return std::make_unique<QSettings>(QStringLiteral("velquor"), QStringLiteral("velquor"));
}

} // namespace

QString controlsettings::listen()
{
    return userSettings()->value(QStringLiteral("control/listen")).toString().trimmed();
}

QString controlsettings::fileName()
{
    return userSettings()->fileName();
}
