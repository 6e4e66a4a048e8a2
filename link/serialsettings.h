// SPDX-License-Identifier: MIT
#pragma once

#include <QStringView>
#include <QtGlobal>

#include <optional>

// The serial line's settings as the port service takes them: "baud,parity,data bits,stop
// bits", for example "9600,N,8,1". Parity is one letter: N none, E even, O odd, M mark,
// S space (either case); data bits 5 to 8; stop bits 1, 1.5 or 2.
struct SerialSettings
{
    enum class Parity { None, Even, Odd, Mark, Space };
    enum class StopBits { One, OneAndHalf, Two };

    qint32 baudRate = 9600;
    Parity parity = Parity::None;
    int dataBits = 8;
    StopBits stopBits = StopBits::One;

    friend bool operator==(const SerialSettings &, const SerialSettings &) = default;
};

// Nothing when the text is not four such fields separated by commas.
std::optional<SerialSettings> parseSerialSettings(QStringView text);
