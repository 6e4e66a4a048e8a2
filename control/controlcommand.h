// SPDX-License-Identifier: MIT
#pragma once

// The commands other programs send the panel over its control socket: one line of ASCII text
// each, words separated by blanks, the words case-insensitive. Outputs and inputs are numbered
// as the window shows them (out1..out4, IN1..IN4); resolutions by their index in the
// "Resolution Set" group (0 "720P@60" .. 8 "1920X1200") or by their caption (vocabulary.h).
//
//   route OUT|all IN      wall IN              mode matrix|wall     resolution 0-8|CAPTION
//   border up|down|left|right                  reset                update
//   address auto|A.B.C.D  connect              disconnect
//   state                 watch                monitor              help

#include "vocabulary.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>

#include <array>

struct ControlCommand
{
    enum class Action {
        Route,
        Wall,
        Mode,
        Resolution,
        Border,
        Reset,
        Update,
        Address,
        Connect,
        Disconnect,
        State,
        Watch,
        Monitor,
        Help
    };
    // The four buttons of "Border setting", by their place in the cross.
    enum class Border { Up, Down, Left, Right };

    static constexpr int allOutputs = vocabulary::allOutputs; // "route all": the row "ALL"

    Action action = Action::Help;
    int output = 0; // Route: 1..4 or allOutputs
    int value = 0;  // Route, Wall: input 1..4; Mode: 0 matrix, 1 video wall; Resolution: 0..8
    Border border = Border::Up;
    bool automaticAddress = true;    // Address: auto, or the fixed address below
    std::array<quint8, 4> address{}; // Address: the octets of A.B.C.D

    bool operator==(const ControlCommand &) const = default;
};

struct ParsedControlCommand
{
    bool ok = false;
    ControlCommand command;
    QByteArray error; // the reason when !ok: one line of printable ASCII, no line end
};

// Reads one command line (without its line end). Anything that is not one of the commands
// above, exactly, is refused with a reason: text that is not printable ASCII, an unknown
// command word, or arguments of the wrong number or form.
ParsedControlCommand parseControlCommand(QByteArrayView line);

// The command as one line in its plain form ("route 2 3", "address 10.0.0.5"); it reads back
// as the same command.
QByteArray controlCommandText(const ControlCommand &command);

// The command list, for the answer to "help" and for velquor-ctl --help.
QByteArray controlCommandSummary();
