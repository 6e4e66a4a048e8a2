// SPDX-License-Identifier: MIT
#pragma once

// One numbering of the matrix's outputs, inputs and resolutions, for the window, the control
// socket and the emulator alike.
//
// Outputs and inputs count from 1, as the window shows them: outputs 1..4 are the rows
// "Out1".."Out4" of the "Switch" page and the buttons "out1".."out4", inputs 1..4 the options
// "IN1".."IN4". A fifth row, "ALL", routes one input to every output; a row is named by the
// output it switches, and "ALL" by allOutputs.
//
// On the line they count from 0, and so do the window's option arrays (IN1 is option 0): the
// parameter byte of a Route frame holds the row in its high four bits, 0..3 for outputs 1..4
// and allRouteRow (4) for "ALL", and the input 0..3 in its low four bits. OutputSelect and
// VideoWallInput carry an output or input counted from 0, as the "s" records of a reply do
// their input.
//
// Resolutions are numbered 0..8 in the order "Resolution Set" lists them; the number is the
// resolution's code on the line.

namespace vocabulary {

inline constexpr int outputCount = 4;
inline constexpr int inputCount = 4;

// The row "ALL", wherever a row is named by its output.
inline constexpr int allOutputs = 0;
inline constexpr int rowCount = outputCount + 1;
// The rows of the "Switch" page from the top: Out1..Out4, then "ALL".
inline constexpr int rows[rowCount] = {1, 2, 3, 4, allOutputs};

constexpr bool isOutput(int output)
{
    return output >= 1 && output <= outputCount;
}
constexpr bool isInput(int input)
{
    return input >= 1 && input <= inputCount;
}
// An output, or allOutputs.
constexpr bool isRow(int output)
{
    return output == allOutputs || isOutput(output);
}

// Counted from 0, as on the line and in the window's option arrays, and back.
constexpr int outputIndex(int output)
{
    return output - 1;
}
constexpr int inputIndex(int input)
{
    return input - 1;
}
constexpr int outputAt(int index)
{
    return index + 1;
}
constexpr int inputAt(int index)
{
    return index + 1;
}

// A Route frame's row for a row of the window, and back.
inline constexpr int allRouteRow = outputCount;
constexpr int routeRow(int output)
{
    return output == allOutputs ? allRouteRow : outputIndex(output);
}
constexpr int rowOutput(int routeRow)
{
    return routeRow == allRouteRow ? allOutputs : outputAt(routeRow);
}

// A Route frame's parameter byte from its row (0..allRouteRow) and input (0..3), and back.
constexpr int routeParameter(int routeRow, int inputIndex)
{
    return routeRow * 16 + inputIndex;
}
constexpr int routeRowOf(int parameter)
{
    return parameter >> 4;
}
constexpr int routeInputOf(int parameter)
{
    return parameter & 0x0F;
}

// The captions of the resolutions, by number.
inline constexpr int resolutionCount = 9;
inline constexpr const char *resolutionCaption[resolutionCount] = {
    "720P@60",  "1080P@60",  "1024X768",  "1280X1024", "1360X768",
    "1440X900", "1600X1200", "1680X1050", "1920X1200"};

constexpr bool isResolution(int index)
{
    return index >= 0 && index < resolutionCount;
}

} // namespace vocabulary
