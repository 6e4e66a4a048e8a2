// SPDX-License-Identifier: MIT
#pragma once

// The panel's topics under its base topic: what the window shows, one retained message a
// topic, and the commands other programs publish to switch the matrix.
//
//   status                 online; offline (the last will, and an orderly end)
//   link                   online while the port is open, offline otherwise
//   output/<n>/route       the input the row of Out<n> shows: its name, or IN<k> without one
//   output/<n>/reported    on (the button is green: a display is attached), off (red), unknown
//   mode                   matrix | wall          resolution   a caption such as 1080P@60
//   wall                   the video-wall input, as a route      preset   the active preset
//   state                  the control socket's state JSON
//   routes/available       online unless the matrix is in video-wall mode, where the routes
//                          cannot be chosen; offline then
//   wall/available         online unless it is in matrix mode, where the video-wall input
//                          cannot be chosen; offline then
//
// A topic whose value nothing selects holds None, which Home Assistant reads as unknown.
//
//   output/<n>/route/set   a name, IN<k> or k      wall/set     the same
//   mode/set               matrix | wall           resolution/set   a caption or 0-8
//   preset/set             a preset's name         update/set   anything (a button's PRESS)
//   command                any control socket line; answered on command/answer
//
// A command payload is at most maxPayload bytes of UTF-8 and names one of the choices the
// window offers; a retained one is stale, left there for whoever subscribes next, and is
// never carried out.

#include "controlcommand.h"
#include "panelstate.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace mqtt {

inline constexpr qsizetype maxPayload = 256;
inline constexpr const char *none = "None";
inline constexpr const char *routesAvailable = "routes/available";
inline constexpr const char *wallAvailable = "wall/available";

struct Publication
{
    QByteArray topic;
    QByteArray payload;
    bool operator==(const Publication &) const = default;
};

// The select options: the inputs by name, or IN<k> when unnamed; the modes; the resolutions.
QStringList inputChoices(const PanelState &state);
QStringList modeChoices();
QStringList resolutionChoices();

// Every state topic and its payload for what the window shows (json is its state JSON),
// status excepted.
// Whether the device has reported anything in state: before that, what the panel shows of it
// is nothing it knows.
bool deviceHasReported(const PanelState &state);
// A state payload that says nothing is known: None, or unknown for a display.
bool isUnknown(const QByteArray &payload);

QList<Publication> statePublications(const QString &base, const PanelState &state,
                                     const QByteArray &json);

// The topic filters the panel subscribes to for its commands.
QStringList commandFilters(const QString &base);

// What a message on a command topic asks for.
struct TopicCommand
{
    std::optional<ControlCommand> command; // carry this out
    std::optional<QByteArray> line;        // <base>/command: a control socket line
    QString warning;                       // neither: why the message is ignored, one line
};

// presets are the presets' names, in their order.
TopicCommand readCommand(const QString &base, const QByteArray &topic, const QByteArray &payload,
                         bool retained, const PanelState &state, const QStringList &presets);

} // namespace mqtt
