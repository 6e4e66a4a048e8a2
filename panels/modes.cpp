// SPDX-License-Identifier: MIT
#include "form1.h"
#include "frames.h"

// "Resolution Set": the option's index is the resolution code.
void Form1::Option1_Click(int index)
{
    sendFrameOrReport(frames::SetResolution(index));
}

// "Martix" / "Video wall". Which input groups are usable follows the device's mode reply,
// not this click.
void Form1::Option2_Click(int index)
{
    sendFrameOrReport(frames::SetMode(index));
}
