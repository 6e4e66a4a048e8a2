// SPDX-License-Identifier: MIT
#include "controltarget.h"

QByteArray ControlAnswer::line() const
{
    switch (kind) {
    case Kind::Ok:
        return text.isEmpty() ? QByteArray("ok") : "ok " + text;
    case Kind::Error:
        return "error " + text;
    case Kind::Json:
        break;
    }
    return text;
}

ControlAnswer runCommandLine(ControlTarget &target, QByteArrayView line,
                             ControlCommand::Action *follow)
{
    const ParsedControlCommand parsed = parseControlCommand(line);
    if (!parsed.ok)
        return ControlAnswer::error(parsed.error);
    switch (parsed.command.action) {
    case ControlCommand::Action::Watch:
    case ControlCommand::Action::Monitor:
        if (follow)
            *follow = parsed.command.action;
        return ControlAnswer::ok();
    case ControlCommand::Action::Help:
        return ControlAnswer::ok(controlCommandSummary());
    default:
        return target.execute(parsed.command);
    }
}
