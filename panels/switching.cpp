// SPDX-License-Identifier: MIT
#include "form1.h"
#include "frames.h"
#include "vocabulary.h"

// The "Switch" page. Each use sends one frame through the model; the rows show a route as the
// operator chose it until the device reports another. With the port closed every control
// reports the failed write, so the operator learns that the click did nothing.

void Form1::Option3_Click(int index)
{
    reportWriteFailure(m_model->route(1, vocabulary::inputAt(index)));
}

void Form1::Option4_Click(int index)
{
    reportWriteFailure(m_model->route(2, vocabulary::inputAt(index)));
}

void Form1::Option5_Click(int index)
{
    reportWriteFailure(m_model->route(3, vocabulary::inputAt(index)));
}

void Form1::Option6_Click(int index)
{
    reportWriteFailure(m_model->route(4, vocabulary::inputAt(index)));
}

// Row "ALL" routes one input to all four outputs; the other rows follow the device's report.
void Form1::Option7_Click(int index)
{
    reportWriteFailure(m_model->route(vocabulary::allOutputs, vocabulary::inputAt(index)));
}

void Form1::Option9_Click(int index)
{
    reportWriteFailure(m_model->wall(vocabulary::inputAt(index)));
}

// "out1".."out4" send their output number; the button's colour changes only on a report.
void Form1::Command8_Click(int index)
{
    sendFrameOrReport(frames::OutputSelect(index));
}
