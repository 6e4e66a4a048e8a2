// SPDX-License-Identifier: MIT
#include "panelcontrol.h"

#include "controlcommand.h"
#include "frames.h"
#include "linelog.h"
#include "linktrace.h"
#include "mscomm.h"
#include "panelmodel.h"
#include "presetbook.h"
#include "presetrecall.h"
#include "vocabulary.h"

#include <memory>

namespace {

using Action = ControlCommand::Action;

// The arguments a command made in code may carry outside the parser's ranges.
bool inRange(const ControlCommand &command)
{
    const bool input = vocabulary::isInput(command.value);
    switch (command.action) {
    case Action::Route:
        return input && vocabulary::isRow(command.output);
    case Action::Wall:
        return input;
    case Action::Mode:
        return command.value == 0 || command.value == 1;
    case Action::Resolution:
        return vocabulary::isResolution(command.value);
    default:
        return true;
    }
}

// Empty when the change was made, as carryOut() answers.
QByteArray refusalOf(const PresetBook::Answer &answer)
{
    if (answer.ok())
        return {};
    return (answer.notKept ? "not saved: " : "") + answer.error.toUtf8();
}

QByteArray quoted(const QString &name)
{
    return '"' + name.toUtf8() + '"';
}

PanelState::Colour colourOf(PanelModel::State::Display display)
{
    switch (display) {
    case PanelModel::State::Display::Attached:
        return PanelState::Colour::Green;
    case PanelModel::State::Display::None:
        return PanelState::Colour::Red;
    case PanelModel::State::Display::NotReported:
        break;
    }
    return PanelState::Colour::None;
}

// Empty when the frame went out, as carryOut() answers.
QByteArray refusalOf(const PanelModel::Sent &sent)
{
    using Outcome = PanelModel::Sent::Outcome;
    switch (sent.outcome) {
    case Outcome::Done:
        return {};
    case Outcome::PortClosed:
        return "port closed";
    case Outcome::LineBusy:
        return "line busy";
    case Outcome::LineGone:
        return "write failed: the line is gone, port closed";
    case Outcome::OpenFailed: // no command but connect opens the port
    case Outcome::WriteFailed:
        break;
    }
    return "write failed";
}

} // namespace

PanelControl::PanelControl(PanelModel &model, QObject *parent)
    : ControlTarget(parent), m_model(model), m_book(model.presets())
{
    m_shown = state();
    // The watchers hear what the device reported, once the window has drawn it; what a command
    // changed shows with the device's report of it. A click that makes another preset active
    // is told without waiting for the device, after the answer to the command that made it.
    connect(&m_model, &PanelModel::replyTaken, this, &PanelControl::noteChange);
    connect(&m_model.comm(), &MSComm::portOpenChanged, this, &PanelControl::noteChange,
            Qt::QueuedConnection);
    connect(&m_book, &PresetBook::activeChanged, this, &PanelControl::noteChange,
            Qt::QueuedConnection);
    connect(&m_book, &PresetBook::changed, this, &PanelControl::noteChange, Qt::QueuedConnection);
    connect(&m_book, &PresetBook::changed, this, &PanelControl::presetsChanged,
            Qt::QueuedConnection);
    connect(&m_model.lineLog(), &LineLog::added, this,
            [this](const LineEntry &entry) { emit lineEntry(entry.text().toUtf8()); });
}

PanelState PanelControl::state() const
{
    PanelState state;
    const MSComm &comm = m_model.comm();
    state.connected = comm.PortOpen();
    state.connecting = comm.PortOpening();
    state.port = m_model.port();
    if (state.port > 0)
        state.device = comm.deviceFor(state.port);
    const PanelModel::State &shown = m_model.state();
    state.mode = shown.mode;
    state.wall = shown.wall;
    state.resolution = shown.resolution;
    const Names &names = m_book.names();
    for (int o = 0; o < vocabulary::outputCount; ++o) {
        state.outputs[o].colour = colourOf(shown.displays[o]);
        state.outputs[o].route = shown.routes[o];
        state.outputs[o].name = names.outputs[o];
    }
    state.inputNames = names.inputs;
    state.preset = m_book.activeName();
    return state;
}

QStringList PanelControl::presetNames() const
{
    QStringList names;
    for (const Preset &preset : m_book.presets())
        names.append(preset.name);
    return names;
}

void PanelControl::noteChange()
{
    const PanelState now = state();
    if (now == m_shown)
        return;
    m_shown = now;
    emit changed(panelStateJson(now));
}

ControlAnswer PanelControl::execute(const ControlCommand &command)
{
    if (command.action == Action::State)
        return ControlAnswer::json(panelStateJson(state()));
    if (command.action == Action::Names)
        return ControlAnswer::json(namesJson(m_book.names()));
    if (command.action == Action::PresetList)
        return ControlAnswer::json(presetListJson(m_book.presets(), m_book.active()));
    if (m_holdReason) {
        if (const QByteArray why = m_holdReason(); !why.isEmpty())
            return ControlAnswer::error(why);
    }
    // A network port is being opened: the open under way is the one a connect asks for, and
    // the rest would find the port not open yet.
    if (m_model.comm().PortOpening())
        return command.action == Action::Connect ? ControlAnswer::ok("connecting")
                                                 : ControlAnswer::error("a connect is under way");
    const QByteArray refused = carryOut(command);
    if (!refused.isEmpty())
        return ControlAnswer::error(refused);
    if (m_model.comm().PortOpening())
        return ControlAnswer::ok("connecting"); // the outcome shows in the state
    return ControlAnswer::ok();
}

QByteArray PanelControl::carryOut(const ControlCommand &given)
{
    ControlCommand command = given;
    if (const QByteArray refused = findNames(command); !refused.isEmpty())
        return refused;
    // The parser gives nothing else; a command made in code is checked all the same.
    if (!inRange(command))
        return "argument out of range";
    switch (command.action) {
    case Action::Route:
        // A route from a remote command ends a running recall, as the operator's does.
        m_model.recall().cancel();
        if (!m_model.state().routesEnabled())
            return "the matrix rows are disabled (video-wall mode)";
        return refusalOf(m_model.route(command.output, command.value));
    case Action::Wall:
        if (!m_model.state().wallInputsEnabled())
            return "the video-wall inputs are disabled (matrix mode)";
        return refusalOf(m_model.wall(command.value));
    case Action::Mode:
        return refusalOf(m_model.setMode(command.value));
    case Action::Resolution:
        return refusalOf(m_model.setResolution(command.value));
    case Action::Border:
        return refusalOf(m_model.send(borderFrame(command.border)));
    case Action::Reset:
        return refusalOf(m_model.send(frames::BorderReset()));
    case Action::Update:
        return refusalOf(m_model.send(frames::StatusRequest()));
    case Action::Address:
        return refusalOf(m_model.setAddress(
            command.automaticAddress ? std::nullopt : std::optional(command.address)));
    case Action::Connect:
        return m_model.comm().PortOpen() ? QByteArray() : connectPort();
    case Action::Disconnect:
        m_model.close();
        return {};
    case Action::Name:
    case Action::PresetSave:
    case Action::PresetDelete:
        return changePresets(command);
    case Action::PresetRecall:
        return recallPreset(command.text);
    case Action::State:
    case Action::Watch:
    case Action::Monitor:
    case Action::Help:
    case Action::Names:
    case Action::PresetList:
        break;
    }
    return {};
}

QByteArray PanelControl::findNames(ControlCommand &command) const
{
    const Names &names = m_book.names();
    if (command.output == ControlCommand::byName) {
        command.output = findName(names, Side::Output, command.outputName);
        if (command.output == 0)
            return "no output is called " + quoted(command.outputName);
    }
    if (command.value == ControlCommand::byName) {
        command.value = findName(names, Side::Input, command.inputName);
        if (command.value == 0)
            return "no input is called " + quoted(command.inputName);
    }
    return {};
}

// A name, or a preset saved or deleted: kept in the settings file, as from the window.
QByteArray PanelControl::changePresets(const ControlCommand &command)
{
    PresetBook &book = m_book;
    const int preset = findPreset(book.presets(), command.text);
    switch (command.action) {
    case Action::Name:
        return refusalOf(book.setName(command.side, command.value, command.text));
    case Action::PresetSave:
        return refusalOf(book.savePreset(command.text, m_model.shownRoutes()));
    case Action::PresetDelete:
        if (preset < 0)
            return "no preset is called " + quoted(command.text);
        return refusalOf(book.deletePreset(preset));
    default:
        return {};
    }
}

QByteArray PanelControl::recallPreset(const QString &name)
{
    const int preset = findPreset(m_book.presets(), name);
    if (preset < 0)
        return "no preset is called " + quoted(name);
    if (!m_model.state().routesEnabled())
        return "the matrix rows are disabled (video-wall mode)";
    if (!m_model.comm().PortOpen())
        return "port closed";
    m_model.recall().start(m_book.presets()[preset].routes, m_book.gap());
    return {};
}

QByteArray PanelControl::borderFrame(ControlCommand::Border border)
{
    switch (border) {
    case ControlCommand::Border::Up:
        return frames::BorderVerticalIn();
    case ControlCommand::Border::Down:
        return frames::BorderVerticalOut();
    case ControlCommand::Border::Left:
        return frames::BorderHorizontalOut();
    case ControlCommand::Border::Right:
        return frames::BorderHorizontalIn();
    }
    return {};
}

// As the operator's Connect does it: the port, then the status request on it. A failure that
// comes later, once a network port has tried, is a line on standard error: the answer has
// gone ("connecting") and nobody at the window asked for it.
QByteArray PanelControl::connectPort()
{
    const quint8 port = m_model.port();
    if (port == 0)
        return "no port chosen";
    const auto answered = std::make_shared<bool>(false);
    m_model.open(port, PanelModel::OpenStatus::Ask,
                 [this, port, answered](const PanelModel::Sent &opened) {
                     if (opened.ok() || !*answered)
                         return;
                     qCWarning(lcSerial).noquote() << m_model.failureLine(port, opened.why);
                 });
    *answered = true;
    if (!m_model.comm().PortOpen() && !m_model.comm().PortOpening())
        return QStringLiteral("cannot open %1").arg(m_model.portText(port)).toUtf8();
    return {};
}
