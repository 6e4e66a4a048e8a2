// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <climits>
#include <map>
#include <optional>

// The longest path the system opens, in bytes of its file-name encoding: PATH_MAX less the
// final NUL. A longer device entry could never be opened, and would make every answer that
// names it as long.
#ifdef PATH_MAX
constexpr qsizetype maxPathBytes = PATH_MAX - 1;
#else
constexpr qsizetype maxPathBytes = 4095;
#endif
// True when path (a device path or a network entry) is no longer than maxPathBytes.
bool fitsPathLimit(const QString &path);

// A port map entry that names a serial device server instead of a device:
// "tcp://HOST:PORT" (raw: the bytes pass unchanged) or "rfc2217://HOST:PORT" (Telnet with the
// COM Port Control option, which also sets the far end's line). HOST is a name, an IPv4
// address or an IPv6 address in brackets; PORT is 1..65535.
struct NetworkPort
{
    enum class Kind { Raw, Rfc2217 };
    Kind kind = Kind::Raw;
    QString host;
    quint16 port = 0;
};

// True for an entry that starts with "tcp://" or "rfc2217://" (any case), well formed or not.
bool isNetworkEntry(const QString &entry);
// The entry's server; nothing when it is no well-formed network entry (*error says why).
std::optional<NetworkPort> parseNetworkPort(const QString &entry, QString *error = nullptr);

// Which device a COM port number opens. On Windows COMn is the system's own COMn; elsewhere
// COMn is /dev/ttyS<n-1> unless the user's settings file or the command line maps it
// (--port COM3=/dev/ttyUSB0).
class PortMap
{
public:
    static constexpr int maxPort = 255;

    // Takes one "COMn=PATH" argument (n = 1..255, PATH not empty and within fitsPathLimit; a
    // network entry must be well formed). On a malformed argument nothing is mapped, *error
    // (when given) says what is wrong, and the result is false.
    bool addMapping(const QString &argument, QString *error = nullptr);

    void map(int port, const QString &device) { m_devices[port] = device; }
    // COM<port> opens the platform's own device again.
    void unmap(int port) { m_devices.erase(port); }
    bool isMapped(int port) const { return m_devices.count(port) != 0; }

    // The device path (or system port name) that COM<port> opens.
    QString deviceFor(int port) const;
    // What COM<port> opens when nothing maps it.
    static QString defaultDevice(int port);

private:
    std::map<int, QString> m_devices;
};
