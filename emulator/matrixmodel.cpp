// SPDX-License-Identifier: MIT
#include "matrixmodel.h"

#include <algorithm>

namespace {

// Command bytes of the frames the panel sends.
enum Command : quint8 {
    OutputSelect = 0x02,
    BorderReset = 0x04,
    BorderVerticalIn = 0x05,
    BorderVerticalOut = 0x06,
    BorderHorizontalIn = 0x07,
    BorderHorizontalOut = 0x08,
    Route = 0x19,
    StatusRequest = 0x20,
    SetMode = 0x21,
    SetResolution = 0x22,
    VideoWallInput = 0x23,
    SetAutoAddress = 0x30,
    SetFixedAddress = 0x31,
};

QByteArray tagged(const char *tag, int value)
{
    return QByteArray(tag) + QByteArray::number(value) + "\r\n";
}

// How many bytes a well-formed frame of this command has on the line (0: unknown command).
// BorderReset is four bytes although its length byte says 5.
int frameSize(quint8 command)
{
    switch (command) {
    case BorderReset:
    case BorderVerticalIn:
    case BorderVerticalOut:
    case BorderHorizontalIn:
    case BorderHorizontalOut:
    case StatusRequest:
    case SetAutoAddress:
        return 4;
    case OutputSelect:
    case Route:
    case SetMode:
    case SetResolution:
    case VideoWallInput:
        return 5;
    case SetFixedAddress:
        return 8;
    }
    return 0;
}

} // namespace

MatrixModel::Replies MatrixModel::handleFrame(const QByteArray &frame)
{
    if (frame.size() < 4 || quint8(frame.at(1)) != 0x55 || quint8(frame.back()) != 0x77)
        return {};
    const auto command = quint8(frame.at(2));
    const int size = frameSize(command);
    const int lengthByte = command == BorderReset ? 5 : size;
    if (size == 0 || frame.size() != size || quint8(frame.at(0)) != lengthByte)
        return {};
    const int parameter = size == 5 ? quint8(frame.at(3)) : 0;

    switch (command) {
    case OutputSelect:
        if (parameter < outputCount)
            m_selectedOutput = parameter;
        return {};
    case BorderReset:
        m_borderHorizontal = 0;
        m_borderVertical = 0;
        return {};
    case BorderVerticalIn:
        m_borderVertical = step(m_borderVertical, -1);
        return {};
    case BorderVerticalOut:
        m_borderVertical = step(m_borderVertical, +1);
        return {};
    case BorderHorizontalIn:
        m_borderHorizontal = step(m_borderHorizontal, -1);
        return {};
    case BorderHorizontalOut:
        m_borderHorizontal = step(m_borderHorizontal, +1);
        return {};
    case Route:
        // Output row in the high four bits, input in the low four; row 4 is "ALL".
        return setRoute(vocabulary::routeRowOf(parameter), vocabulary::routeInputOf(parameter));
    case StatusRequest:
        return statusReport();
    case SetMode:
        return setMode(parameter);
    case SetResolution:
        return setResolution(parameter);
    case VideoWallInput:
        return setWallInput(parameter);
    case SetAutoAddress:
        m_addressMode = AddressMode::Automatic;
        return {QByteArrayLiteral("DHCP OK\r\n")};
    case SetFixedAddress:
        m_addressMode = AddressMode::Fixed;
        for (int i = 0; i < 4; ++i)
            m_fixedAddress[i] = quint8(frame.at(3 + i));
        return {QByteArrayLiteral("IP OK\r\n")};
    }
    return {};
}

MatrixModel::Replies MatrixModel::statusReport() const
{
    QByteArray records;
    for (int output = 0; output < outputCount; ++output)
        records += outputRecord(output);
    return {records, tagged("MD", m_mode), tagged("RS", m_resolution), tagged("MP", m_wallInput)};
}

QByteArray MatrixModel::outputRecord(int output) const
{
    const char number = char('1' + output);
    if (!m_attached.at(output))
        return QByteArray("p") + number + "0\r\n";
    return QByteArray("s") + number + char('0' + m_routes.at(output)) + "\r\n";
}

MatrixModel::Replies MatrixModel::setRoute(int output, int input)
{
    if (input < 0 || input >= inputCount)
        return {};
    if (output == allOutputs) {
        QByteArray records;
        for (int o = 0; o < outputCount; ++o) {
            m_routes[o] = input;
            records += outputRecord(o);
        }
        return {records};
    }
    if (output < 0 || output >= outputCount)
        return {};
    m_routes[output] = input;
    return {outputRecord(output)};
}

MatrixModel::Replies MatrixModel::setDisplayAttached(int output, bool attached)
{
    if (output < 0 || output >= outputCount)
        return {};
    m_attached[output] = attached;
    return {outputRecord(output)};
}

MatrixModel::Replies MatrixModel::setMode(int mode)
{
    if (mode != 0 && mode != 1)
        return {};
    m_mode = mode;
    return {tagged("MD", mode)};
}

MatrixModel::Replies MatrixModel::setResolution(int index)
{
    if (index < 0 || index >= resolutionCount)
        return {};
    m_resolution = index;
    return {tagged("RS", index)};
}

MatrixModel::Replies MatrixModel::setWallInput(int input)
{
    if (input < 0 || input >= inputCount)
        return {};
    m_wallInput = input;
    return {tagged("MP", input)};
}

int MatrixModel::step(int offset, int by)
{
    return std::clamp(offset + by, -borderLimit, borderLimit);
}
