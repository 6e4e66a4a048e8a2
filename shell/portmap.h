#pragma once

#include <QString>

#include <map>

// Which device a COM port number opens. On Windows COMn is the system's own COMn; elsewhere
// COMn is /dev/ttyS<n-1> unless the user's settings file or the command line maps it
// (--port COM3=/dev/ttyUSB0).
class PortMap
{
public:
    static constexpr int maxPort = 255;

    // Takes one "COMn=PATH" argument (n = 1..255, PATH not empty). On a malformed argument
    // nothing is mapped, *error (when given) says what is wrong, and the result is false.
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
