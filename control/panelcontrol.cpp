// SPDX-License-Identifier: MIT
#include "panelcontrol.h"

#include "controlcommand.h"
#include "errortrap.h"
#include "form1.h"
#include "frames.h"
#include "ipbox.h"
#include "linelog.h"
#include "mscomm.h"
#include "presetbook.h"
#include "presetrecall.h"
#include "vocabulary.h"

#include <QApplication>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>

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
    case Outcome::WriteFailed:
        break;
    }
    return "write failed";
}

} // namespace

PanelControl::PanelControl(Form1 &form, QObject *parent) : ControlTarget(parent), m_form(form)
{
    m_shown = state();
    // Connected after Form1's own handler, so the reply has been shown when this runs. The
    // port opens and closes inside handlers; the window is complete once they have returned.
    connect(m_form.MSComm1, &MSComm::OnComm, this, &PanelControl::noteChange);
    connect(m_form.MSComm1, &MSComm::portOpenChanged, this, &PanelControl::noteChange,
            Qt::QueuedConnection);
    // A click that makes another preset active is told without waiting for the device; after
    // the answer to the command that made it.
    connect(m_form.presetBook, &PresetBook::activeChanged, this, &PanelControl::noteChange,
            Qt::QueuedConnection);
    connect(m_form.presetBook, &PresetBook::changed, this, &PanelControl::noteChange,
            Qt::QueuedConnection);
    connect(m_form.presetBook, &PresetBook::changed, this, &PanelControl::presetsChanged,
            Qt::QueuedConnection);
}

void PanelControl::followLine(const LineLog &log)
{
    connect(&log, &LineLog::added, this,
            [this](const LineEntry &entry) { emit lineEntry(entry.text().toUtf8()); });
}

PanelState PanelControl::state() const
{
    PanelState state;
    state.connected = m_form.MSComm1->PortOpen();
    state.connecting = m_form.MSComm1->PortOpening();
    state.port = m_form.portNumber;
    if (state.port > 0)
        state.device = m_form.MSComm1->deviceFor(state.port);
    const PanelModel::State &shown = m_form.model().state();
    state.mode = shown.mode;
    state.wall = shown.wall;
    state.resolution = shown.resolution;
    const Names &names = m_form.presetBook->names();
    for (int o = 0; o < vocabulary::outputCount; ++o) {
        state.outputs[o].colour = colourOf(shown.displays[o]);
        state.outputs[o].route = shown.routes[o];
        state.outputs[o].name = names.outputs[o];
    }
    state.inputNames = names.inputs;
    state.preset = m_form.presetBook->activeName();
    return state;
}

QStringList PanelControl::presetNames() const
{
    QStringList names;
    for (const Preset &preset : m_form.presetBook->presets())
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
    const PresetBook &book = *m_form.presetBook;
    if (command.action == Action::State)
        return ControlAnswer::json(panelStateJson(state()));
    if (command.action == Action::Names)
        return ControlAnswer::json(namesJson(book.names()));
    if (command.action == Action::PresetList)
        return ControlAnswer::json(presetListJson(book.presets(), book.active()));
    // A handler of the window waits in a box or dialog for the operator; a command now would
    // run inside it.
    if (QApplication::activeModalWidget())
        return ControlAnswer::error("a dialog in the window waits for the operator");
    // A network port is being opened: the open under way is the one a connect asks for, and
    // the rest would find the port not open yet.
    if (m_form.MSComm1->PortOpening())
        return command.action == Action::Connect ? ControlAnswer::ok("connecting")
                                                 : ControlAnswer::error("a connect is under way");

    const bool wasOpen = m_form.MSComm1->PortOpen();
    QStringList boxes;
    int boxError = 0;
    const Form1::MessageReporter previous = m_form.setMessageReporter(
        [&](const QString &, const QString &text, const Form1::MessageDetail &detail) {
            boxes.append(text);
            boxError = detail.error;
        });
    const auto restore = qScopeGuard([&] { m_form.setMessageReporter(previous); });

    const QByteArray refused = carryOut(command);
    if (!refused.isEmpty())
        return ControlAnswer::error(refused);
    if (m_form.MSComm1->PortOpening())
        return ControlAnswer::ok("connecting"); // the outcome shows in the state
    if (boxes.isEmpty())
        return ControlAnswer::ok();
    // The only box a command of the window shows is the write failure message.
    if (command.action == Action::Connect) {
        if (m_form.portNumber == 0)
            return ControlAnswer::error("no port chosen");
        return ControlAnswer::error(QStringLiteral("cannot open COM%1 (%2)")
                                        .arg(m_form.portNumber)
                                        .arg(m_form.MSComm1->deviceFor(m_form.portNumber))
                                        .toUtf8());
    }
    if (!wasOpen)
        return ControlAnswer::error("port closed");
    if (boxError == MSComm::LineBusy)
        return ControlAnswer::error("line busy");
    if (!m_form.MSComm1->PortOpen())
        return ControlAnswer::error("write failed: the line is gone, port closed");
    return ControlAnswer::error("write failed");
}

QByteArray PanelControl::carryOut(const ControlCommand &given)
{
    Form1 &f = m_form;
    ControlCommand command = given;
    if (const QByteArray refused = findNames(command); !refused.isEmpty())
        return refused;
    // The parser gives nothing else; a command made in code is checked all the same.
    if (!inRange(command))
        return "argument out of range";
    PanelModel &model = f.model();
    switch (command.action) {
    case Action::Route:
        // A route from a remote command ends a running recall, as the operator's does.
        f.presetRecall->cancel();
        if (!model.state().routesEnabled())
            return "the matrix rows are disabled (video-wall mode)";
        return refusalOf(model.route(command.output, command.value));
    case Action::Wall:
        if (!model.state().wallInputsEnabled())
            return "the video-wall inputs are disabled (matrix mode)";
        return refusalOf(model.wall(command.value));
    case Action::Mode:
        return refusalOf(model.setMode(command.value));
    case Action::Resolution:
        return refusalOf(model.setResolution(command.value));
    case Action::Border:
        return refusalOf(model.send(borderFrame(command.border)));
    case Action::Reset:
        return refusalOf(model.send(frames::BorderReset()));
    case Action::Update:
        return refusalOf(model.send(frames::StatusRequest()));
    case Action::Address:
        return setAddress(command);
    case Action::Connect:
        return f.MSComm1->PortOpen() ? QByteArray() : press(f.Command7);
    case Action::Disconnect:
        return f.MSComm1->PortOpen() ? press(f.Command7) : QByteArray();
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
    const Names &names = m_form.presetBook->names();
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
    PresetBook &book = *m_form.presetBook;
    const int preset = findPreset(book.presets(), command.text);
    switch (command.action) {
    case Action::Name:
        return refusalOf(book.setName(command.side, command.value, command.text));
    case Action::PresetSave:
        return refusalOf(book.savePreset(command.text, m_form.shownRoutes()));
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
    const int preset = findPreset(m_form.presetBook->presets(), name);
    if (preset < 0)
        return "no preset is called " + quoted(name);
    if (!m_form.model().state().routesEnabled())
        return "the matrix rows are disabled (video-wall mode)";
    m_form.recallPreset(preset);
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

// As the operator does it: choose the address option, type the address, press "OK".
QByteArray PanelControl::setAddress(const ControlCommand &command)
{
    Form1 &f = m_form;
    if (command.automaticAddress) {
        if (const QByteArray refused = press(f.Option10); !refused.isEmpty())
            return refused;
    } else {
        if (const QByteArray refused = press(f.Option11); !refused.isEmpty())
            return refused;
        const auto &a = command.address;
        ErrorTrap trap;
        trap.run([&] {
            f.ipBox1->setAddress(
                QStringLiteral("%1.%2.%3.%4").arg(a[0]).arg(a[1]).arg(a[2]).arg(a[3]));
        });
        if (trap.failed())
            return "the address box refused the address";
    }
    return press(f.Command2);
}

QByteArray PanelControl::press(QAbstractButton *button)
{
    if (!button->isEnabled())
        return "the control is disabled: " + button->text().toUtf8();
    button->click();
    return {};
}
