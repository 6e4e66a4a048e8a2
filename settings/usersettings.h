// SPDX-License-Identifier: MIT
#pragma once

#include "portmap.h"

#include <QString>
#include <QStringList>

#include <map>

class QSettings;
class QVariant;

// The user's settings file, $XDG_CONFIG_HOME/velquor/velquor.conf (~/.config/velquor/ without
// XDG_CONFIG_HOME): an INI file that nothing but this class reads. Its groups:
//
//   [ports]        COM1 ... COM255 = device path, tcp://HOST:PORT or rfc2217://HOST:PORT
//                  which device or serial device server COMn opens
//   [connection]   reconnect = true | false   open a lost port again by itself
//   [control]      listen = PORT | HOST:PORT | unix:PATH   where the control socket listens
//
// The command line overrides what the file says, for one run. An entry that cannot be used
// (an unknown group or key, a value that is no device path) is left out with one warning,
// so that a damaged file never stops the program.
class UserSettings
{
public:
    explicit UserSettings(const QString &path = defaultPath());

    static QString defaultPath();
    QString path() const { return m_path; }

    // Reads the file; a missing file is an empty one. Forgets what was read before.
    void load();
    // One line for each entry load() left out, naming the file, the entry and why.
    const QStringList &warnings() const { return m_warnings; }

    // [ports]: only the ports the file names; the others keep their default device.
    const PortMap &ports() const { return m_ports; }
    // [connection] reconnect; false unless the file says true.
    bool reconnect() const { return m_reconnect; }
    // [control] listen, as written (the control socket checks its form); empty when not set.
    QString controlListen() const { return m_controlListen; }

    // Maps port to device from the next save() on; an empty device removes the entry, so
    // that the port opens its default device again.
    void setPort(int port, const QString &device);

    // Writes the entries set since load() into the file, creating its folder when missing;
    // every other line of the file is kept as it is (comments are not: QSettings drops them).
    // False, with *error (when given) saying why, when the file cannot be written.
    bool save(QString *error = nullptr);

    // A value a port entry may hold: a device path ("/dev/..." on Linux, "COM3" or a path on
    // Windows) or a well-formed network entry, one line of printable text within the
    // system's path limit.
    static bool isDevicePath(const QString &value);

private:
    void readPort(const QString &key, const QVariant &value);
    void readReconnect(const QVariant &value);
    void readControl(const QString &key, const QVariant &value);
    void warnAboutMalformedLines();
    void warn(const QString &entry, const QString &why);

    QString m_path;
    PortMap m_ports;
    bool m_reconnect = false;
    QString m_controlListen;
    std::map<int, QString> m_changedPorts;
    QStringList m_warnings;
};
