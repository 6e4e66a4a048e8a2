// SPDX-License-Identifier: MIT
#pragma once

#include "portmap.h"
#include "presetrules.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <map>
#include <optional>
#include <set>

class PresetBook;
class QSettings;

// The user's settings file, $XDG_CONFIG_HOME/velquor/velquor.conf (~/.config/velquor/ without
// XDG_CONFIG_HOME): an INI file that nothing but this class reads. Its groups:
//
//   [ports]        COM1 ... COM255 = device path, tcp://HOST:PORT or rfc2217://HOST:PORT
//                  which device or serial device server COMn opens
//   [connection]   reconnect = true | false   open a lost port again by itself
//   [control]      listen = PORT | HOST:PORT | unix:PATH   where the control socket listens
//   [mqtt], [web]  the remote surfaces' own keys (surfaceKeys()), each read as one line of
//                  text that the surface checks
//   [names]        in1 ... in4, out1 ... out4 = what the operator calls an input or output
//   [presets]      gap = 0 ... 2000   milliseconds between the frames of a recall (100)
//                  preset1, preset2, ... = NAME, IN, IN, IN, IN   a preset: its name and the
//                  inputs of Out1 to Out4; the presets come in the order of their numbers
//
// The command line overrides what the file says, for one run. An entry that cannot be used
// (an unknown group or key, a value that is no device path) is left out with one warning,
// so that a damaged file never stops the program.
//
// The file is read as input that may be hostile, and reading it costs little whatever it
// holds: only a regular file of at most maxFileSize bytes is read (anything else, a FIFO or a
// directory in its place, a larger file or a path longer than the system's limit, gets one
// warning and is not read), and at most maxWarnings warnings are kept, then one that counts
// the rest. Each warning is one line: what it says after the file's name is cut at
// maxWarningLength characters, and control characters in it are escaped.
class UserSettings
{
public:
    static constexpr qint64 maxFileSize = 1024 * 1024;
    static constexpr int maxWarnings = 20;
    static constexpr qsizetype maxWarningLength = 200;

    explicit UserSettings(const QString &path = defaultPath());

    static QString defaultPath();
    QString path() const { return m_path; }

    // Reads the file; a missing file is an empty one. Forgets what was read before.
    void load();
    // One line for each entry load() left out, naming the file, the entry and why; past
    // maxWarnings, a last line "… and N more".
    const QStringList &warnings() const { return m_warnings; }

    // [ports]: only the ports the file names; the others keep their default device.
    const PortMap &ports() const { return m_ports; }
    // [connection] reconnect; false unless the file says true.
    bool reconnect() const { return m_reconnect; }
    // [control] listen, as written (the control socket checks its form); empty when not set.
    QString controlListen() const { return m_controlListen; }

    // The keys a remote surface's group may hold, by group ("mqtt", "web"); empty for a group
    // that is no surface's.
    static QStringList surfaceKeys(const QString &group);
    // A surface's entry as written, trimmed; empty when the file does not set it.
    QString surfaceValue(const QString &group, const QString &key) const;
    // Sets a surface's entry from the next save() on, such as a key made at the first start.
    void setSurfaceValue(const QString &group, const QString &key, const QString &value);

    // Maps port to device from the next save() on; an empty device removes the entry, so
    // that the port opens its default device again.
    void setPort(int port, const QString &device);

    // [names] and [presets]: what the file holds of them that the rules (presetrules.h) let
    // through, at most presets::maxPresets presets.
    const NamesAndPresets &namesAndPresets() const { return m_namesAndPresets; }
    // From the next save() on: each name that differs from what was read, and the presets as a
    // whole when they differ. Entries load() refused stay in the file as they were, and the
    // presets are numbered around them.
    void setNamesAndPresets(const NamesAndPresets &content);

    // Writes the entries set since load() into the file, creating its folder when missing;
    // every other line of the file is kept as it is (comments are not: QSettings drops them).
    // False, with *error (when given) saying why, when the file cannot be written, or when
    // what is there is nothing load() would read (a FIFO, a directory, a file too large).
    // A file that holds a secret ([mqtt] password=, a password in url=, [web] key=) is written
    // readable by its owner only (0600), and kept so.
    bool save(QString *error = nullptr);

    // A value a port entry may hold: a device path ("/dev/..." on Linux, "COM3" or a path on
    // Windows) or a well-formed network entry, one line of printable text within the
    // system's path limit.
    static bool isDevicePath(const QString &value);

private:
    bool holdsSecret() const;
    void keepPrivate() const;
    // The entries of [names] and [presets] as found, to be taken in order once all are read:
    // names by place (IN1..IN4 are 0..3, Out1..Out4 4..7), presets by number.
    struct Found
    {
        QString key;
        QVariant value;
    };
    struct FoundNamesAndPresets
    {
        std::map<int, Found> names;
        std::map<int, Found> presets;
    };

    // False when the file holds lines QSettings passed over.
    bool readEntries();
    void readPort(const QString &key, const QVariant &value);
    void readReconnect(const QVariant &value);
    void readControl(const QString &key, const QVariant &value);
    void readSurface(const QString &group, const QString &key, const QVariant &value);
    // The value as one line of printable text within the path limit, trimmed; nothing, with a
    // warning that it is not what, otherwise.
    std::optional<QString> oneLine(const QString &entry, const QVariant &value,
                                   const QString &what);
    // settings/namesandpresets.cpp: [names] and [presets]. False for a key of another group.
    bool findNameOrPreset(const QString &group, const QString &key, const QVariant &value,
                          FoundNamesAndPresets &found);
    void takeNamesAndPresets(const FoundNamesAndPresets &found);
    void takeNames(const std::map<int, Found> &names);
    void takePresets(const std::map<int, Found> &presets);
    // Returns the keys of the presets as written.
    QStringList writeNamesAndPresets(QSettings &file) const;
    void warnAboutMalformedLines(const QByteArray &content);
    void warn(const QString &entry, const QString &why);
    void addWarning(const QString &text);

    QString m_path;
    QString m_shownPath; // as warnings name the file
    PortMap m_ports;
    bool m_reconnect = false;
    QString m_controlListen;
    std::map<int, QString> m_changedPorts;
    std::map<QString, QString> m_surfaceValues;   // by "group/key"
    std::map<QString, QString> m_changedSurfaces; // by "group/key"
    NamesAndPresets m_namesAndPresets;
    std::map<int, QString> m_changedNames; // by place: IN1..IN4 are 0..3, Out1..Out4 4..7
    bool m_presetsChanged = false;
    QStringList m_presetKeys;             // the keys of the presets in use
    std::set<int> m_refusedPresetNumbers; // of entries load() left out: saving keeps them
    QStringList m_warnings;
    int m_warningCount = 0; // those in m_warnings and those only counted
};

// book takes the names and presets of the settings file, and keeps every change there (the
// file is read again before each save: what else it holds stays as it is).
void useNamesAndPresets(PresetBook &book, const UserSettings &settings);
