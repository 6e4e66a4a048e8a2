#include "portmap.h"

#include <QRegularExpression>

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
    const QRegularExpressionMatch match = form.match(argument);
    if (!match.hasMatch())
        return fail(QStringLiteral("expected COMn=PATH, got \"%1\"").arg(argument));
    const int port = match.captured(1).toInt();
    if (port < 1 || port > maxPort)
        return fail(QStringLiteral("port number %1 in \"%2\" is not 1 to %3")
                        .arg(port)
                        .arg(argument)
                        .arg(maxPort));
    map(port, match.captured(2));
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
