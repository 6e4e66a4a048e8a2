// SPDX-License-Identifier: MIT
#include "commandsinflight.h"

#include "linkopener.h"
#include "replypump.h"
#include "vocabulary.h"

#include <QElapsedTimer>

#include <algorithm>

namespace {

// The command bytes of the answered commands (frames.h lays the frames out).
enum Command : quint8 { Route = 0x19, SetMode = 0x21, SetResolution = 0x22, VideoWallInput = 0x23 };

qint64 monotonicMs()
{
    static const QElapsedTimer clock = [] {
        QElapsedTimer started;
        started.start();
        return started;
    }();
    return clock.elapsed();
}

} // namespace

const qint64 CommandsInFlight::lifetimeMs =
    LinkOpener::maxWaitingBytes * 1000 / LinkOpener::lineBytesPerSecond + ReplyPump::maxDelayMs +
    1000;

CommandsInFlight::CommandsInFlight(Clock now) : m_now(now ? std::move(now) : Clock(monotonicMs)) {}

void CommandsInFlight::sent(QByteArrayView frame, Origin origin)
{
    // The answered commands are the five-byte frames: length 5, 0x55, command, parameter, 0x77.
    if (frame.size() != 5 || quint8(frame[0]) != 5 || quint8(frame[1]) != 0x55)
        return;
    const int parameter = quint8(frame[3]);
    const qint64 now = m_now();
    dropExpired(now);
    switch (quint8(frame[2])) {
    case Route: {
        const int row = vocabulary::routeRowOf(parameter);
        const int input = vocabulary::inputAt(vocabulary::routeInputOf(parameter));
        if (!vocabulary::isInput(input) || row > vocabulary::allRouteRow)
            return;
        const int output = vocabulary::rowOutput(row);
        if (output != vocabulary::allOutputs) {
            add({Kind::Route, output, input}, now, origin);
            return;
        }
        // "ALL" is confirmed output by output.
        for (int o = 1; o <= vocabulary::outputCount; ++o)
            add({Kind::Route, o, input}, now, origin);
        return;
    }
    case VideoWallInput:
        add({Kind::WallInput, 0, vocabulary::inputAt(parameter)}, now, origin);
        return;
    case SetMode:
        add({Kind::Mode, 0, parameter}, now, origin);
        return;
    case SetResolution:
        add({Kind::Resolution, 0, parameter}, now, origin);
        return;
    }
}

CommandsInFlight::Match CommandsInFlight::match(const Setting &reported)
{
    dropExpired(m_now());
    const auto found = std::find_if(m_commands.begin(), m_commands.end(),
                                    [&](const Command &c) { return c.setting == reported; });
    if (found != m_commands.end()) {
        m_commands.erase(found);
        return Match::Confirms;
    }
    const bool awaited = std::any_of(m_commands.begin(), m_commands.end(), [&](const Command &c) {
        return c.origin == Origin::Command && c.setting.kind == reported.kind &&
               c.setting.output == reported.output;
    });
    return awaited ? Match::Awaited : Match::None;
}

void CommandsInFlight::clear()
{
    m_commands.clear();
}

int CommandsInFlight::size() const
{
    return int(m_commands.size());
}

void CommandsInFlight::add(const Setting &setting, qint64 now, Origin origin)
{
    if (m_commands.size() >= size_t(maxCommands))
        m_commands.erase(m_commands.begin());
    m_commands.push_back({setting, now, origin});
}

void CommandsInFlight::dropExpired(qint64 now)
{
    const auto fresh = std::find_if(m_commands.begin(), m_commands.end(),
                                    [&](const Command &c) { return now - c.sentAt < lifetimeMs; });
    m_commands.erase(m_commands.begin(), fresh);
}
