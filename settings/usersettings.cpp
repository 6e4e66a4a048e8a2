// SPDX-License-Identifier: MIT
#include "usersettings.h"

#include "boundedfile.h"
#include "printabletext.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QUrl>
#include <QVariant>

namespace {

const QString portsGroup = QStringLiteral("ports");
const QString connectionGroup = QStringLiteral("connection");
const QString controlGroup = QStringLiteral("control");

// "COM3" (any case, at most three digits) as 3; 0 for any other key.
int portOfKey(const QString &key)
{
    static const QRegularExpression form(QStringLiteral("^COM([0-9]{1,3})\\z"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = form.match(key);
    const int port = match.hasMatch() ? match.captured(1).toInt() : 0;
    return port >= 1 && port <= PortMap::maxPort ? port : 0;
}

} // namespace

UserSettings::UserSettings(const QString &path)
    : m_path(path),
      // A path past the system's limit is named in the warning that refuses it: cut it too.
      m_shownPath(fitsPathLimit(path) ? printableText(path) : printableText(path, maxWarningLength))
{
}

QString UserSettings::defaultPath()
{
    // XDG_CONFIG_HOME, or ~/.config without it.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/velquor/velquor.conf");
}

bool UserSettings::isDevicePath(const QString &value)
{
    if (value.isEmpty() || value.trimmed() != value || !fitsPathLimit(value))
        return false;
    for (const QChar c : value) {
        if (c.category() == QChar::Other_Control)
            return false;
    }
    if (isNetworkEntry(value))
        return parseNetworkPort(value).has_value();
#ifdef Q_OS_WIN
    return true;
#else
    return value.startsWith(QLatin1Char('/'));
#endif
}

void UserSettings::load()
{
    m_ports = PortMap();
    m_reconnect = false;
    m_controlListen.clear();
    m_changedPorts.clear();
    m_surfaceValues.clear();
    m_changedSurfaces.clear();
    m_namesAndPresets = {};
    m_changedNames.clear();
    m_presetsChanged = false;
    m_presetKeys.clear();
    m_refusedPresetNumbers.clear();
    m_warnings.clear();
    m_warningCount = 0;

    const BoundedFile file = readBoundedFile(m_path, maxFileSize);
    if (file.outcome == BoundedFile::Outcome::Refused)
        addWarning(file.problem + QStringLiteral("; not read"));
    if (file.outcome == BoundedFile::Outcome::Read && !readEntries())
        warnAboutMalformedLines(file.content);
}

bool UserSettings::readEntries()
{
    QSettings file(m_path, QSettings::IniFormat);
    FoundNamesAndPresets found;
    for (const QString &key : file.allKeys()) {
        const qsizetype slash = key.indexOf(QLatin1Char('/'));
        const QString group = slash < 0 ? QString() : key.left(slash);
        const QString name = key.mid(slash + 1);
        if (group == portsGroup)
            readPort(name, file.value(key));
        else if (group == connectionGroup && name == QLatin1String("reconnect"))
            readReconnect(file.value(key));
        else if (group == controlGroup)
            readControl(name, file.value(key));
        else if (!surfaceKeys(group).isEmpty())
            readSurface(group, name, file.value(key));
        else if (!findNameOrPreset(group, name, file.value(key), found))
            warn(group.isEmpty() ? name : QStringLiteral("[%1] %2").arg(group, name),
                 QStringLiteral("unknown key"));
    }
    takeNamesAndPresets(found);
    return file.status() != QSettings::FormatError;
}

void UserSettings::readPort(const QString &key, const QVariant &value)
{
    const QString entry = QStringLiteral("[ports] %1").arg(key);
    const int port = portOfKey(key);
    if (port == 0) {
        warn(entry,
             QStringLiteral("unknown key (the ports are COM1 to COM%1)").arg(PortMap::maxPort));
        return;
    }
    // A value with an unquoted comma reads as a list, not as one path.
    const QString device = value.typeId() == QMetaType::QString ? value.toString() : QString();
    if (!isDevicePath(device)) {
        warn(entry, QStringLiteral("\"%1\" is not a device path")
                        .arg(value.toStringList().join(QLatin1Char(','))));
        return;
    }
    m_ports.map(port, device);
}

void UserSettings::readReconnect(const QVariant &value)
{
    const QString text = value.typeId() == QMetaType::QString ? value.toString() : QString();
    if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        m_reconnect = true;
    else if (text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
        m_reconnect = false;
    else
        warn(QStringLiteral("[connection] reconnect"),
             QStringLiteral("\"%1\" is neither true nor false")
                 .arg(value.toStringList().join(QLatin1Char(','))));
}

void UserSettings::readControl(const QString &key, const QVariant &value)
{
    const QString entry = QStringLiteral("[control] %1").arg(key);
    if (key != QLatin1String("listen")) {
        warn(entry, QStringLiteral("unknown key (the group has listen)"));
        return;
    }
    // The address is repeated in the messages of velquor and velquor-ctl: one short line.
    if (const std::optional<QString> text = oneLine(entry, value, QStringLiteral("one address")))
        m_controlListen = *text;
}

std::optional<QString> UserSettings::oneLine(const QString &entry, const QVariant &value,
                                             const QString &what)
{
    // A value with an unquoted comma reads as a list, not as one value.
    const QString text = value.toString();
    if (value.typeId() != QMetaType::QString || !fitsPathLimit(text) ||
        printableText(text) != text) {
        warn(entry, QStringLiteral("\"%1\" is not %2")
                        .arg(value.toStringList().join(QLatin1Char(',')), what));
        return std::nullopt;
    }
    return text.trimmed();
}

QStringList UserSettings::surfaceKeys(const QString &group)
{
    if (group == QLatin1String("mqtt"))
        return {QStringLiteral("url"),   QStringLiteral("password"),  QStringLiteral("id"),
                QStringLiteral("topic"), QStringLiteral("discovery"), QStringLiteral("cafile"),
                QStringLiteral("birth_topic")};
    if (group == QLatin1String("web"))
        return {QStringLiteral("listen"), QStringLiteral("require_key"), QStringLiteral("key")};
    return {};
}

void UserSettings::readSurface(const QString &group, const QString &key, const QVariant &value)
{
    const QString entry = QStringLiteral("[%1] %2").arg(group, key);
    const QStringList keys = surfaceKeys(group);
    if (!keys.contains(key)) {
        warn(entry, QStringLiteral("unknown key (the group has %1)").arg(keys.join(u", ")));
        return;
    }
    // An address or a password alike: one line of printable text within the path limit.
    if (const std::optional<QString> text =
            oneLine(entry, value, QStringLiteral("one line of text")))
        m_surfaceValues[group + QLatin1Char('/') + key] = *text;
}

QString UserSettings::surfaceValue(const QString &group, const QString &key) const
{
    const auto found = m_surfaceValues.find(group + QLatin1Char('/') + key);
    return found == m_surfaceValues.end() ? QString() : found->second;
}

void UserSettings::setSurfaceValue(const QString &group, const QString &key, const QString &value)
{
    if (!surfaceKeys(group).contains(key))
        return;
    const QString path = group + QLatin1Char('/') + key;
    m_surfaceValues[path] = value;
    m_changedSurfaces[path] = value;
}

// QSettings passes over lines that are neither a [group], KEY=VALUE nor a comment, and only
// says that it did; name each such line of what was read.
void UserSettings::warnAboutMalformedLines(const QByteArray &content)
{
    int number = 0;
    for (qsizetype start = 0; start < content.size();) {
        qsizetype end = content.indexOf('\n', start);
        if (end < 0)
            end = content.size();
        const QByteArrayView line = QByteArrayView(content).sliced(start, end - start).trimmed();
        start = end + 1;
        ++number;
        if (line.isEmpty() || line.startsWith(';') || line.startsWith('#') ||
            line.startsWith('[') || line.contains('='))
            continue;
        warn(QStringLiteral("line %1").arg(number), QStringLiteral("not KEY=VALUE"));
    }
}

void UserSettings::warn(const QString &entry, const QString &why)
{
    // Past the limit only the count matters: no text is made for what is not shown.
    if (m_warningCount >= maxWarnings)
        addWarning({});
    else
        addWarning(QStringLiteral("%1: %2, ignored").arg(entry, why));
}

void UserSettings::addWarning(const QString &text)
{
    ++m_warningCount;
    if (m_warningCount <= maxWarnings) {
        m_warnings.append(m_shownPath + QStringLiteral(": ") +
                          printableText(text, maxWarningLength));
        return;
    }
    const QString more =
        QStringLiteral("%1: \u2026 and %2 more").arg(m_shownPath).arg(m_warningCount - maxWarnings);
    if (m_warningCount == maxWarnings + 1)
        m_warnings.append(more);
    else
        m_warnings.last() = more;
}

void UserSettings::setPort(int port, const QString &device)
{
    if (port < 1 || port > PortMap::maxPort)
        return;
    if (device.isEmpty())
        m_ports.unmap(port);
    else
        m_ports.map(port, device);
    m_changedPorts[port] = device;
}

bool UserSettings::holdsSecret() const
{
    const auto value = [this](const char *group, const char *key) {
        const QString path = QLatin1String(group) + QLatin1Char('/') + QLatin1String(key);
        const auto changed = m_changedSurfaces.find(path);
        return changed != m_changedSurfaces.end() ? changed->second
                                                  : surfaceValue(QLatin1String(group),
                                                                 QLatin1String(key));
    };
    return !value("mqtt", "password").isEmpty() || !value("web", "key").isEmpty() ||
           !QUrl(value("mqtt", "url")).password().isEmpty();
}

void UserSettings::keepPrivate() const
{
    constexpr QFile::Permissions ownerOnly = QFile::ReadOwner | QFile::WriteOwner;
    QFile file(m_path);
    if (!file.exists()) {
        // Made empty and private, so that the first write has nothing to widen.
        QDir().mkpath(QFileInfo(m_path).absolutePath());
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly, ownerOnly))
            file.close();
        return;
    }
    file.setPermissions(ownerOnly);
}

bool UserSettings::save(QString *error)
{
    // QSettings reads the file before it writes it, whatever it is: a FIFO would hang.
    if (const BoundedFile old = readBoundedFile(m_path, maxFileSize);
        old.outcome == BoundedFile::Outcome::Refused) {
        if (error)
            *error = QStringLiteral("cannot write %1: %2").arg(m_shownPath, old.problem);
        return false;
    }
    // A file that holds a secret is the user's alone before the secret is written to it: the
    // atomic write keeps the permissions of the file it replaces.
    const bool secret = holdsSecret();
    if (secret)
        keepPrivate();
    QSettings file(m_path, QSettings::IniFormat);
    file.beginGroup(portsGroup);
    const QStringList keys = file.childKeys();
    for (const auto &[port, device] : m_changedPorts) {
        // "com3" or "COM03" would name the same port a second time.
        for (const QString &key : keys) {
            if (portOfKey(key) == port)
                file.remove(key);
        }
        if (!device.isEmpty())
            file.setValue(QStringLiteral("COM%1").arg(port), device);
    }
    file.endGroup();
    for (const auto &[path, value] : m_changedSurfaces)
        file.setValue(path, value);
    const QStringList presetKeys = writeNamesAndPresets(file);
    file.sync();
    if (secret)
        keepPrivate();
    // A FormatError only says that the old file held malformed lines; it was written.
    if (file.status() == QSettings::AccessError) {
        if (error)
            *error = QStringLiteral("cannot write %1").arg(m_shownPath);
        return false;
    }
    m_changedPorts.clear();
    m_changedSurfaces.clear();
    m_changedNames.clear();
    m_presetsChanged = false;
    m_presetKeys = presetKeys;
    return true;
}
