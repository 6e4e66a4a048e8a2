// SPDX-License-Identifier: MIT
#pragma once

// Where the control socket listens, as --control and [control] listen= give it:
//   PORT          127.0.0.1:PORT (0: any free port)
//   HOST:PORT     a numeric IPv4 or IPv6 address ([::1]:PORT) or localhost
//   unix:PATH     a local socket file at PATH (relative to the working directory); on Linux
//                 its absolute path holds 107 bytes at most

#include <QHostAddress>
#include <QString>

#include <optional>

struct ListenAddress
{
    enum class Kind { Tcp, Local };

    Kind kind = Kind::Tcp;
    QHostAddress host{QHostAddress::LocalHost};
    quint16 port = 0;
    QString path; // Local: absolute path of the socket file

    // Reachable from this computer only: a local socket or a loopback address.
    bool isLoopback() const;
    // Where a client connects: an address that listens on every interface is reached on the
    // loopback address.
    QHostAddress connectHost() const;
    // "127.0.0.1:4321", "[::1]:4321", "unix:/run/user/1000/velquor.sock".
    QString text() const;

    // nullopt and a one-line reason in *error for text of another form.
    static std::optional<ListenAddress> parse(const QString &text, QString *error = nullptr);
};
