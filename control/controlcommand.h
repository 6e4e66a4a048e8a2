// SPDX-License-Identifier: MIT
#pragma once

// The commands other programs send the panel over its control socket: one line of UTF-8 text
// each, words separated by blanks, the command words case-insensitive. Double quotes hold
// blanks in a word, and \" is a quote, \\ a backslash. Outputs and inputs are numbered as the
// window shows them (out1..out4, IN1..IN4), or given by their names (presetrules.h); resolutions
// by their index in the "Resolution Set" group (0 "720P@60" .. 8 "1920X1200") or by their
// caption (vocabulary.h).
//
//   route OUT|all IN      wall IN              mode matrix|wall     resolution 0-8|CAPTION
//   border up|down|left|right                  reset                update
//   address auto|A.B.C.D  connect              disconnect
//   state                 watch                monitor              help
//   names                 name in|out N TEXT   preset list
//   preset save|recall|delete NAME
//
// TEXT and NAME are the rest of the line, so they need no quotes; an empty TEXT clears the name.

#include "presetrules.h"
#include "vocabulary.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
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
        Help,
        Names,
        Name,
        PresetList,
        PresetSave,
        PresetRecall,
        PresetDelete
    };
    // The four buttons of "Border setting", by their place in the cross.
    enum class Border { Up, Down, Left, Right };

    static constexpr int allOutputs = vocabulary::allOutputs; // "route all": the row "ALL"
    static constexpr int byName = -1; // an output or input given by its name

    Action action = Action::Help;
    int output = 0;          // Route: 1..4, allOutputs, or byName
    int value = 0;           // Route, Wall: input 1..4 or byName; Mode: 0 matrix, 1 video wall;
                             // Resolution: 0..8; Name: the input or output 1..4
    QString outputName;      // Route: the output's name when output is byName
    QString inputName;       // Route, Wall: the input's name when value is byName
    Side side = Side::Input; // Name: an input's or an output's
    QString text;            // Name: the name, empty to clear it; Preset*: the preset's name
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
// above, exactly, is refused with a reason: text that is not UTF-8 or holds a control
// character, a quote left open, an unknown command word, or arguments of the wrong number or
// form. A word that reads as a number is taken as one; any other word where an output or an
// input goes is taken as its name, which the panel looks up.
ParsedControlCommand parseControlCommand(QByteArrayView line);

// The command as one line in its plain form ("route 2 3", "address 10.0.0.5",
// "preset save \"All on camera\""); it reads back as the same command.
QByteArray controlCommandText(const ControlCommand &command);

// The word as the line holds it: in double quotes, with \" and \\, when it is empty or holds a
// blank, a quote or a backslash; as it is otherwise.
QString quotedWord(const QString &word);

// The command list, for the answer to "help" and for velquor-ctl --help.
QByteArray controlCommandSummary();
