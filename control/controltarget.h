// SPDX-License-Identifier: MIT
#pragma once

// What every remote surface drives: the control socket, the web page and MQTT. A command line
// is parsed and carried out once, here, and answered in typed form; each surface only renders
// the answer in its own format.

#include "controlcommand.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>

// The answer to one command.
struct ControlAnswer
{
    enum class Kind { Ok, Error, Json };
    Kind kind = Kind::Ok;
    // Ok: what follows "ok", often nothing; Error: the reason; Json: the object, on one line.
    QByteArray text;

    static ControlAnswer ok(QByteArray more = {}) { return {Kind::Ok, std::move(more)}; }
    static ControlAnswer error(QByteArray why) { return {Kind::Error, std::move(why)}; }
    static ControlAnswer json(QByteArray object) { return {Kind::Json, std::move(object)}; }
    bool isError() const { return kind == Kind::Error; }
    // As the control socket sends it, without a line end: "ok", "ok <text>", "error <reason>",
    // or the JSON object.
    QByteArray line() const;
};

class ControlTarget : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Carries out one command other than watch, monitor and help.
    virtual ControlAnswer execute(const ControlCommand &command) = 0;

signals:
    // What the panel shows has changed; json is its state as one line.
    void changed(const QByteArray &json);
    // One entry of the line monitor, as one line: for the clients that sent "monitor".
    void lineEntry(const QByteArray &line);
};

// One command line from a remote surface, parsed and carried out on target. Help is answered
// here. Watch and monitor ask to follow the state or the line, which only the surface can
// serve: they are answered "ok" and *follow names them; the surface refuses what it cannot
// follow. A line that does not parse gets its error.
ControlAnswer runCommandLine(ControlTarget &target, QByteArrayView line,
                             ControlCommand::Action *follow = nullptr);
