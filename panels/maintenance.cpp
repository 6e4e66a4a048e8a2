// SPDX-License-Identifier: MIT
#include "form1.h"
#include "frames.h"

// "Update" and the "Border setting" buttons: one fixed frame per click, nothing else.

void Form1::Command6_Click()
{
    sendFrameOrReport(frames::StatusRequest());
}

void Form1::Command1_Click()
{
    sendFrameOrReport(frames::BorderVerticalIn());
}

void Form1::Command4_Click()
{
    sendFrameOrReport(frames::BorderVerticalOut());
}

void Form1::Command5_Click()
{
    sendFrameOrReport(frames::BorderHorizontalIn());
}

void Form1::Command3_Click()
{
    sendFrameOrReport(frames::BorderHorizontalOut());
}

void Form1::Command9_Click()
{
    sendFrameOrReport(frames::BorderReset());
}
