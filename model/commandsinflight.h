// SPDX-License-Identifier: MIT
#pragma once

// The answered commands this panel has written and the device has not yet confirmed: Route,
// VideoWallInput, SetMode and SetResolution. The device confirms each with a report of the
// value it took ("s" record, "MP", "MD", "RS").
//
// The panel answers a report that differs from what it shows with the matching frame, so that
// it follows a change made at the device or by another controller. A report that only
// confirms a command of ours must not be answered: with two commands in flight for one
// output, the confirmation of the first differs from the panel's newer selection, and
// answering it starts an endless exchange. Nor must a report of a setting for which a command
// is still in flight: it may have left the device before the device took the command (the
// answer to a status request), and answering it would undo the command. The panel's own
// answers to reports are in flight too, but only to be confirmed: a newer report that differs
// from one is a newer change at the device, and is answered in its turn. match() tells them
// apart.

#include <QByteArrayView>

#include <functional>
#include <vector>

class CommandsInFlight
{
public:
    // What a report or a command sets: a route (output 1..4, input 1..4), the video-wall input
    // (1..4), the mode (0 matrix, 1 video wall) or the resolution (0..8).
    enum class Kind { Route, WallInput, Mode, Resolution };
    struct Setting
    {
        Kind kind = Kind::Route;
        int output = 0; // routes only
        int value = 0;
        friend bool operator==(const Setting &, const Setting &) = default;
    };

    // Milliseconds on a monotonic clock; tests give their own.
    using Clock = std::function<qint64()>;

    // A command that gets no confirmation stops counting after lifetimeMs. A frame the link
    // accepted may wait behind at most four seconds of the line before the device reads it
    // (LinkOpener::maxWaitingBytes); the device answers at line pace within tens of
    // milliseconds, and the reply pump hands a line over within 200 ms. One second more
    // covers a device that is slow to act. A device that never answers then leaves nothing
    // behind that would hide a later change made at the device.
    static const qint64 lifetimeMs;
    // Frames waiting for the device are bounded by the link; this bounds the record the same
    // way even for a link that takes everything (a route to ALL counts four times).
    static constexpr int maxCommands = 4096;

    explicit CommandsInFlight(Clock now = {});

    // Why a frame was written: a command (the operator's, a remote surface's, a recall's), or
    // the panel's answer to a report that differed from what it showed.
    enum class Origin { Command, Answer };
    // Notes a frame that was written; frames of other commands are ignored.
    void sent(QByteArrayView frame, Origin origin = Origin::Command);
    enum class Match {
        None,     // no command in flight for this setting
        Confirms, // a command in flight set this value: it no longer counts (the oldest such
                  // one, so the same value sent twice is confirmed twice)
        Awaited,  // a command in flight (not an answer) sets another value here; its report is
                  // still to come
    };
    Match match(const Setting &reported);
    // The port closed: nothing is in flight any more.
    void clear();
    int size() const;

private:
    struct Command
    {
        Setting setting;
        qint64 sentAt = 0;
        Origin origin = Origin::Command;
    };
    void add(const Setting &setting, qint64 now, Origin origin);
    void dropExpired(qint64 now);

    Clock m_now;
    std::vector<Command> m_commands; // oldest first
};
