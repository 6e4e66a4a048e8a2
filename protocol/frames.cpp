// SPDX-License-Identifier: MIT
#include "frames.h"

#include "vocabulary.h"

#include <initializer_list>

namespace frames {

namespace {

constexpr char StartMarker = 0x55;
constexpr char EndMarker = 0x77;

QByteArray frame(quint8 command, std::initializer_list<quint8> params)
{
    QByteArray bytes;
    bytes.reserve(qsizetype(4 + params.size()));
    bytes.append(char(4 + params.size()));
    bytes.append(StartMarker);
    bytes.append(char(command));
    for (quint8 p : params)
        bytes.append(char(p));
    bytes.append(EndMarker);
    return bytes;
}

QByteArray oneParameter(quint8 command, int value, int highest)
{
    if (value < 0 || value > highest)
        return {};
    return frame(command, {quint8(value)});
}

} // namespace

QByteArray OutputSelect(int row)
{
    return oneParameter(0x02, row, vocabulary::outputCount - 1);
}

QByteArray BorderReset()
{
    // Length byte 5 on a four-byte frame: this is what the device takes as a border reset.
    return QByteArray("\x05\x55\x04\x77", 4);
}

QByteArray BorderVerticalIn()
{
    return frame(0x05, {});
}
QByteArray BorderVerticalOut()
{
    return frame(0x06, {});
}
QByteArray BorderHorizontalIn()
{
    return frame(0x07, {});
}
QByteArray BorderHorizontalOut()
{
    return frame(0x08, {});
}

QByteArray Route(int row, int input)
{
    // Output row in the high nibble, input in the low nibble.
    if (row < 0 || row > vocabulary::allRouteRow || input < 0 || input >= vocabulary::inputCount)
        return {};
    return frame(0x19, {quint8(vocabulary::routeParameter(row, input))});
}

QByteArray StatusRequest()
{
    return frame(0x20, {});
}
QByteArray SetMode(int mode)
{
    return oneParameter(0x21, mode, 1);
}
QByteArray SetResolution(int index)
{
    return oneParameter(0x22, index, vocabulary::resolutionCount - 1);
}
QByteArray VideoWallInput(int input)
{
    return oneParameter(0x23, input, vocabulary::inputCount - 1);
}
QByteArray SetAutoAddress()
{
    return frame(0x30, {});
}

QByteArray SetFixedAddress(const std::array<quint8, 4> &octets)
{
    return frame(0x31, {octets[0], octets[1], octets[2], octets[3]});
}

} // namespace frames
