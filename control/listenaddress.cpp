// SPDX-License-Identifier: MIT
#include "listenaddress.h"

#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <sys/un.h>
#endif

namespace {

std::optional<ListenAddress> fail(QString *error, const QString &reason)
{
    if (error)
        *error = reason;
    return std::nullopt;
}

std::optional<quint16> portNumber(const QString &text)
{
    if (text.isEmpty() || text.size() > 5)
        return std::nullopt;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    }
    const int value = text.toInt();
    if (value > 65535)
        return std::nullopt;
    return quint16(value);
}

} // namespace

bool ListenAddress::isLoopback() const
{
    return kind == Kind::Local || host.isLoopback();
}

QHostAddress ListenAddress::connectHost() const
{
    if (host == QHostAddress::AnyIPv4 || host == QHostAddress(QHostAddress::Any))
        return QHostAddress(QHostAddress::LocalHost);
    if (host == QHostAddress::AnyIPv6)
        return QHostAddress(QHostAddress::LocalHostIPv6);
    return host;
}

QString ListenAddress::text() const
{
    if (kind == Kind::Local)
        return QStringLiteral("unix:") + path;
    const QString shown = host.protocol() == QAbstractSocket::IPv6Protocol
                              ? QStringLiteral("[%1]").arg(host.toString())
                              : host.toString();
    return QStringLiteral("%1:%2").arg(shown).arg(port);
}

std::optional<ListenAddress> ListenAddress::parse(const QString &text, QString *error)
{
    ListenAddress address;
    if (text.startsWith(QLatin1String("unix:"))) {
        const QString path = text.mid(5);
        if (path.isEmpty())
            return fail(error, QStringLiteral("unix: needs the path of the socket file"));
        address.kind = Kind::Local;
        address.path = QFileInfo(path).absoluteFilePath();
#ifdef Q_OS_UNIX
        // The system keeps a socket's path in a field of fixed size, with a NUL at its end.
        constexpr qsizetype maxPath = sizeof(sockaddr_un::sun_path) - 1;
        const qsizetype length = QFile::encodeName(address.path).size();
        if (length > maxPath)
            return fail(error, QStringLiteral("the socket path is %1 bytes long; the system "
                                              "allows at most %2")
                                   .arg(length)
                                   .arg(maxPath));
#endif
        return address;
    }

    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    const QString portText = colon < 0 ? text : text.mid(colon + 1);
    const std::optional<quint16> port = portNumber(portText);
    if (!port)
        return fail(error, QStringLiteral("\"%1\" is not PORT, HOST:PORT or unix:PATH "
                                          "(PORT 0-65535)")
                               .arg(text));
    address.port = *port;
    if (colon < 0)
        return address;

    QString host = text.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) {
        address.host = QHostAddress(QHostAddress::LocalHost);
        return address;
    }
    if (host.isEmpty() || !address.host.setAddress(host))
        return fail(error, QStringLiteral("\"%1\" is not an IP address").arg(host));
    return address;
}
