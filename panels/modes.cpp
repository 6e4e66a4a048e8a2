// SPDX-License-Identifier: MIT
#include "form1.h"

// "Resolution Set": the option's index is the resolution code.
void Form1::Option1_Click(int index)
{
    reportWriteFailure(m_model->setResolution(index));
}

// "Martix" / "Video wall". Which input groups are usable follows the device's mode reply,
// not this click.
void Form1::Option2_Click(int index)
{
    reportWriteFailure(m_model->setMode(index));
}
