// SPDX-License-Identifier: MIT
#include "portmap.h"

#include "printabletext.h"

#include <QFile>
#include <QRegularExpression>

namespace {

// How much of an argument an error message repeats.
constexpr qsizetype shownArgument = 80;

} // namespace

bool fitsPathLimit(const QString &path)
{
    return QFile::encodeName(path).size() <= maxPathBytes;
}

bool isNetworkEntry(const QString &entry)
{
    return entry.startsWith(QLatin1String("tcp://"), Qt::CaseInsensitive) ||
           entry.startsWith(QLatin1String("rfc2217://"), Qt::CaseInsensitive);
}

std::optional<NetworkPort> parseNetworkPort(const QString &entry, QString *error)
{
    // A host name (letters, digits, '-', '.', '_'), an IPv4 address, or [IPv6]; then :PORT.
    static const QRegularExpression form(
        QStringLiteral("^(tcp|rfc2217)://(\\[[0-9A-Fa-f:.]+\\]|[A-Za-z0-9._-]+):([0-9]{1,5})\\z"),
        QRegularExpression::CaseInsensitiveOption);
    const auto fail = [&](const QString &why) -> std::optional<NetworkPort> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    const QRegularExpressionMatch match = form.match(entry);
    if (!match.hasMatch())
        return fail(QStringLiteral("expected tcp://HOST:PORT or rfc2217://HOST:PORT"));
    const int port = match.captured(3).toInt();
    if (port < 1 || port > 65535)
        return fail(QStringLiteral("TCP port %1 is not 1 to 65535").arg(port));
    NetworkPort result;
    result.kind = match.captured(1).compare(QLatin1String("tcp"), Qt::CaseInsensitive) == 0
                      ? NetworkPort::Kind::Raw
                      : NetworkPort::Kind::Rfc2217;
    QString host = match.captured(2);
    if (host.startsWith(QLatin1Char('[')))
        host = host.mid(1, host.size() - 2);
    result.host = host;
    result.port = quint16(port);
    return result;
}

bool PortMap::addMapping(const QString &argument, QString *error)
{
    // \z, not $: "$" would also match before a final line feed and quietly map a device
    // other than the one the argument names.
    static const QRegularExpression form(QStringLiteral("^COM([0-9]{1,3})=(.+)\\z"),
                                         QRegularExpression::CaseInsensitiveOption);
    const auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    const QString shown = printableText(argument, shownArgument);
    const QRegularExpressionMatch match = form.match(argument);
    if (!match.hasMatch())
        return fail(QStringLiteral("expected COMn=PATH, got \"%1\"").arg(shown));
    const int port = match.captured(1).toInt();
    if (port < 1 || port > maxPort)
        return fail(QStringLiteral("port number %1 in \"%2\" is not 1 to %3")
                        .arg(port)
                        .arg(shown)
                        .arg(maxPort));
    const QString device = match.captured(2);
    if (!fitsPathLimit(device))
        return fail(QStringLiteral("the device in \"%1\" is longer than the system's limit of %2 "
                                   "bytes")
                        .arg(shown)
                        .arg(maxPathBytes));
    QString why;
    if (isNetworkEntry(device) && !parseNetworkPort(device, &why))
        return fail(QStringLiteral("\"%1\": %2").arg(shown, why));
    map(port, device);
    return true;
}

QString PortMap::deviceFor(int port) const
{
    const auto it = m_devices.find(port);
    if (it != m_devices.end())
        return it->second;
    return defaultDevice(port);
}

QString PortMap::defaultDevice(int port)
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(port);
#else
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
#endif
}
