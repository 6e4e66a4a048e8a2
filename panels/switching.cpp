// SPDX-License-Identifier: MIT
#include "form1.h"
#include "frames.h"
#include "vocabulary.h"

// The "Switch" page. Each use sends one frame and changes nothing else in the window: the
// rows show a route only as the device reports it back. With the port closed every control
// reports the failed write, so the operator learns that the click did nothing.

namespace {

// The frame for option index (IN1 is 0) of an output's row, or of the row "ALL".
QByteArray routeFrame(int output, int index)
{
    return frames::Route(vocabulary::routeRow(output), index);
}

} // namespace

void Form1::Option3_Click(int index)
{
    sendFrameOrReport(routeFrame(1, index));
}

void Form1::Option4_Click(int index)
{
    sendFrameOrReport(routeFrame(2, index));
}

void Form1::Option5_Click(int index)
{
    sendFrameOrReport(routeFrame(3, index));
}

void Form1::Option6_Click(int index)
{
    sendFrameOrReport(routeFrame(4, index));
}

// Row "ALL" routes one input to all four outputs; the other rows follow the device's report.
void Form1::Option7_Click(int index)
{
    sendFrameOrReport(routeFrame(vocabulary::allOutputs, index));
}

void Form1::Option9_Click(int index)
{
    sendFrameOrReport(frames::VideoWallInput(index));
}

// "out1".."out4" send their output number; the button's colour changes only on a report.
void Form1::Command8_Click(int index)
{
    sendFrameOrReport(frames::OutputSelect(index));
}
