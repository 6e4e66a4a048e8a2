// SPDX-License-Identifier: MIT
#include "colorbutton.h"
#include "form1.h"
#include "vocabulary.h"

#include <QRadioButton>
#include <QScopedValueRollback>

#include <optional>

namespace {

void enableAll(const ControlArray<QRadioButton> &options, bool enabled)
{
    for (const auto &[index, option] : options)
        option->setEnabled(enabled);
}

// Shows a reported route (input counted from 1) on one switching row; inputs other than
// 1..4 leave the row as it is.
void showRoute(const ControlArray<QRadioButton> &row, quint8 input)
{
    if (vocabulary::isInput(input))
        row[vocabulary::inputIndex(input)]->setChecked(true);
}

// Selects option index of a group; -1 (nothing shown) leaves the group as it is.
void select(const ControlArray<QRadioButton> &options, int index)
{
    if (index >= 0)
        options[index]->setChecked(true);
}

} // namespace

// One reply line: MSComm1 raises the event once for each line the device sent. The model
// decodes it and answers it as the device needs; the window then draws what changed.
void Form1::MSComm1_OnComm()
{
    m_model->readReply();
}

void Form1::showModelState()
{
    const PanelModel::State &now = m_model->state();
    const QScopedValueRollback drawing(m_drawing, true);
    using Display = PanelModel::State::Display;
    for (int o = 0; o < vocabulary::outputCount; ++o) {
        if (now.displays[o] != m_drawn.displays[o] && now.displays[o] != Display::NotReported)
            Command8[o]->setBackColor(now.displays[o] == Display::Attached ? ColorButton::green
                                                                           : ColorButton::red);
    }
    const auto changedRoute = [&](int output) {
        const int o = vocabulary::outputIndex(output);
        return now.routes[o] != m_drawn.routes[o] ? std::optional(quint8(now.routes[o]))
                                                  : std::nullopt;
    };
    if (const auto input = changedRoute(1))
        out1(*input);
    if (const auto input = changedRoute(2))
        out2(*input);
    if (const auto input = changedRoute(3))
        out3(*input);
    if (const auto input = changedRoute(4))
        out4(*input);
    if (now.wall != m_drawn.wall)
        select(Option9, now.wall - 1);
    if (now.mode != m_drawn.mode)
        select(Option2, now.mode);
    if (now.reportedMode != m_drawn.reportedMode) {
        // The input groups that can be used follow the mode the device reports.
        if (now.reportedMode == 0) {
            enableAll(Option9, false);
            for (const int output : vocabulary::rows)
                enableAll(switchRow(output), true);
        } else {
            for (const int output : vocabulary::rows)
                enableAll(switchRow(output), false);
            enableAll(Option9, true);
        }
    }
    if (now.resolution != m_drawn.resolution)
        select(Option1, now.resolution);
    // The port opened or closed, by the window's own handlers (which have shown it already)
    // or by a remote command, a lost link or a retry.
    if (now.connected != m_drawn.connected)
        now.connected ? showConnected() : showDisconnected();
    if (now.opening != m_drawn.opening)
        showOpening(now.opening);
    m_drawn = now;
}

void Form1::out1(quint8 input)
{
    showRoute(switchRow(1), input);
}

void Form1::out2(quint8 input)
{
    showRoute(switchRow(2), input);
}

void Form1::out3(quint8 input)
{
    showRoute(switchRow(3), input);
}

void Form1::out4(quint8 input)
{
    showRoute(switchRow(4), input);
}
