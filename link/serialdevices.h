// SPDX-License-Identifier: MIT
#pragma once

#include <QList>
#include <QString>

// A serial device found on this computer, for the "Serial devices…" dialog and --list-ports.
struct SerialDevice
{
    QString stablePath; // /dev/serial/by-id/... when the system gives the device one
    QString systemPath; // /dev/ttyUSB0
    QString description;
    QString manufacturer;
    QString serialNumber;

    // What a port map entry should name: the stable path, which stays with the adapter
    // whichever socket it is plugged into, else the system path.
    QString preferredPath() const { return stablePath.isEmpty() ? systemPath : stablePath; }
};

// The serial devices present now (QSerialPortInfo), each with its stable path from byIdFolder.
QList<SerialDevice>
findSerialDevices(const QString &byIdFolder = QStringLiteral("/dev/serial/by-id"));

// The entry of byIdFolder that links to systemPath, or an empty text.
QString stablePathOf(const QString &systemPath, const QString &byIdFolder);

// One line per device for --list-ports: stable path ("-" when none), system path,
// description, manufacturer and serial number, separated by tabs ("-" for an empty field).
QString listingLine(const SerialDevice &device);
