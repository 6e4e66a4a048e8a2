// SPDX-License-Identifier: MIT
#include "serialdevices.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <QStringList>

QString stablePathOf(const QString &systemPath, const QString &byIdFolder)
{
    const QString device = QFileInfo(systemPath).canonicalFilePath();
    if (device.isEmpty())
        return {};
    const QDir folder(byIdFolder);
    for (const QFileInfo &link : folder.entryInfoList(QDir::System | QDir::Files, QDir::Name)) {
        if (link.isSymLink() && link.canonicalFilePath() == device)
            return link.absoluteFilePath();
    }
    return {};
}

QList<SerialDevice> findSerialDevices(const QString &byIdFolder)
{
    QList<SerialDevice> devices;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        devices.append({stablePathOf(info.systemLocation(), byIdFolder), info.systemLocation(),
                        info.description(), info.manufacturer(), info.serialNumber()});
    }
    return devices;
}

QString listingLine(const SerialDevice &device)
{
    QStringList fields{device.stablePath, device.systemPath, device.description,
                       device.manufacturer, device.serialNumber};
    for (QString &field : fields) {
        field = field.simplified();
        if (field.isEmpty())
            field = QStringLiteral("-");
    }
    return fields.join(QLatin1Char('\t'));
}
