// SPDX-License-Identifier: MIT
#include "serialsettings.h"

#include <QList>

namespace {

// The highest rate a UART driver takes; anything above is a typing error.
constexpr qint64 maxBaudRate = 4'000'000;

bool allDigits(QStringView field)
{
    if (field.isEmpty())
        return false;
    for (QChar c : field) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return true;
}

} // namespace

std::optional<SerialSettings> parseSerialSettings(QStringView text)
{
    const QList<QStringView> fields = text.split(u',');
    if (fields.size() != 4)
        return std::nullopt;
    const QStringView baud = fields[0].trimmed();
    const QStringView parity = fields[1].trimmed();
    const QStringView data = fields[2].trimmed();
    const QStringView stop = fields[3].trimmed();

    SerialSettings settings;
    if (!allDigits(baud) || baud.size() > 7)
        return std::nullopt;
    const qint64 rate = baud.toLongLong();
    if (rate < 1 || rate > maxBaudRate)
        return std::nullopt;
    settings.baudRate = qint32(rate);

    if (parity.size() != 1)
        return std::nullopt;
    switch (parity[0].toUpper().unicode()) {
    case u'N':
        settings.parity = SerialSettings::Parity::None;
        break;
    case u'E':
        settings.parity = SerialSettings::Parity::Even;
        break;
    case u'O':
        settings.parity = SerialSettings::Parity::Odd;
        break;
    case u'M':
        settings.parity = SerialSettings::Parity::Mark;
        break;
    case u'S':
        settings.parity = SerialSettings::Parity::Space;
        break;
    default:
        return std::nullopt;
    }

    if (data.size() != 1 || data[0] < u'5' || data[0] > u'8')
        return std::nullopt;
    settings.dataBits = data[0].unicode() - u'0';

    if (stop == u"1")
        settings.stopBits = SerialSettings::StopBits::One;
    else if (stop == u"1.5")
        settings.stopBits = SerialSettings::StopBits::OneAndHalf;
    else if (stop == u"2")
        settings.stopBits = SerialSettings::StopBits::Two;
    else
        return std::nullopt;
    return settings;
}
