// SPDX-License-Identifier: MIT
#pragma once

// What the window shows of the device, as the control socket reports it ("state", "watch"),
// and the names and presets ("names", "preset list").

#include "presetrules.h"
#include "vocabulary.h"

#include <QByteArray>
#include <QString>

#include <array>

struct PanelState
{
    // The back colour of an output button: green with a display attached, red without, none
    // before the device has reported the output.
    enum class Colour { None, Green, Red };

    struct Output
    {
        Colour colour = Colour::None;
        int route = 0; // the input selected in the output's row, 1..4; 0 none
        QString name;  // what the operator calls the output; empty none
        bool operator==(const Output &) const = default;
    };

    bool connected = false;
    bool connecting = false; // a network port is being opened: not connected yet
    int port = 0;            // the COM port Connect opens, 1..255; 0 none chosen
    QString device;          // the device that port opens
    int mode = -1;           // 0 matrix ("Martix"), 1 video wall; -1 neither selected
    int wall = 0;            // video-wall input 1..4; 0 none
    int resolution = -1;     // index of the selected resolution 0..8; -1 none
    std::array<Output, vocabulary::outputCount> outputs{};  // out1..out4
    std::array<QString, vocabulary::inputCount> inputNames; // IN1..IN4; empty none
    QString preset;                                         // the active preset's name; empty none

    bool operator==(const PanelState &) const = default;
};

// One JSON object on one line, keys in alphabetical order:
//   {"connected":true,"device":"/dev/ttyUSB0","inputs":[{"input":1,"name":"Camera"},...],
//    "mode":"matrix","outputs":[{"colour":"green","name":"Projector","output":1,"route":3},
//    ...],"port":"COM1","preset":"Lecture","resolution":"1080P@60","wall":1}
// What nothing selects or names yet is null (mode, route, resolution, wall, port, device, a
// name and preset).
// "connecting":true is there only while a network port is being opened.
QByteArray panelStateJson(const PanelState &state);

// {"inputs":[{"input":1,"name":"Camera"},...],"outputs":[{"name":null,"output":1},...]}
QByteArray namesJson(const Names &names);
// {"active":"Lecture","presets":[{"name":"Lecture","routes":[2,1,4,3]},...]}: routes are the
// inputs of out1..out4; active is null when no preset is.
QByteArray presetListJson(const QList<Preset> &presets, int active);
