// SPDX-License-Identifier: MIT
#pragma once

// The emulator's console: one-line commands a person types to act on the matrix the way the
// device's own buttons or another controller would. Outputs and inputs are numbered as the
// panel shows them (out1..out4, IN1..IN4); mode and resolution take the device's codes.

#include "linepacer.h"
#include "matrixmodel.h"

#include <QString>

#include <optional>

struct ConsoleCommand
{
    enum class Action {
        None,
        Route,
        Attach,
        Detach,
        Mode,
        Resolution,
        Wall,
        Delivery,
        Silence,
        Junk,
        Garble,
        State,
        Hangup,
        Quit,
        Help
    };

    Action action = Action::None;
    int output = 0; // 0..3, or MatrixModel::allOutputs for "route all"
    int value = 0;  // input 0..3, mode 0..1, resolution index 0..8, Junk's byte count, or
                    // 1 on and 0 off for Silence and Garble
    LineDelivery delivery = {}; // for Action::Delivery
};

// Reads one line. A blank line is Action::None. A line that is not a command gives nullopt and
// a one-line reason in *error.
std::optional<ConsoleCommand> parseConsoleCommand(const QString &line, QString *error);

// Makes the change a command stands for and returns what the device reports about it unprompted
// (empty for the commands that do not touch the model; the caller carries out Delivery,
// Silence, Junk and Garble on the line).
MatrixModel::Replies applyConsoleCommand(MatrixModel &model, const ConsoleCommand &command);

// The list of commands, for --help and "help".
QString consoleHelp();

// The model's state in a few lines, for "state".
QString describeState(const MatrixModel &model);
