// SPDX-License-Identifier: MIT
#include "panelcontrol.h"

#include "colorbutton.h"
#include "controlcommand.h"
#include "errortrap.h"
#include "form1.h"
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

int selectedIndex(const ControlArray<QRadioButton> &options)
{
    for (const auto &[index, option] : options) {
        if (option->isChecked())
            return index;
    }
    return -1;
}

// The input an option index stands for, 1..4; 0 when no option is selected (index -1).
int inputOrNone(int index)
{
    return index < 0 ? 0 : vocabulary::inputAt(index);
}

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
    return (answer.notKept ? "error not saved: " : "error ") + answer.error.toUtf8();
}

QByteArray quoted(const QString &name)
{
    return '"' + name.toUtf8() + '"';
}

PanelState::Colour colourOf(const ColorButton *button)
{
    switch (button->BackColor()) {
    case ColorButton::green:
        return PanelState::Colour::Green;
    case ColorButton::red:
        return PanelState::Colour::Red;
    default:
        return PanelState::Colour::None;
    }
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
    state.mode = selectedIndex(m_form.Option2);
    state.wall = inputOrNone(selectedIndex(m_form.Option9));
    state.resolution = selectedIndex(m_form.Option1);
    const Names &names = m_form.presetBook->names();
    for (int o = 0; o < vocabulary::outputCount; ++o) {
        state.outputs[o].colour = colourOf(m_form.Command8[o]);
        state.outputs[o].route =
            inputOrNone(selectedIndex(m_form.switchRow(vocabulary::outputAt(o))));
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

QByteArray PanelControl::execute(const ControlCommand &command)
{
    const PresetBook &book = *m_form.presetBook;
    if (command.action == Action::State)
        return panelStateJson(state());
    if (command.action == Action::Names)
        return namesJson(book.names());
    if (command.action == Action::PresetList)
        return presetListJson(book.presets(), book.active());
    // A handler of the window waits in a box or dialog for the operator; a command now would
    // run inside it.
    if (QApplication::activeModalWidget())
        return "error a dialog in the window waits for the operator";
    // A network port is being opened: the open under way is the one a connect asks for, and
    // the rest would find the port not open yet.
    if (m_form.MSComm1->PortOpening())
        return command.action == Action::Connect ? "ok connecting" : "error a connect is under way";

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
        return refused;
    if (m_form.MSComm1->PortOpening())
        return "ok connecting"; // the outcome shows in the state
    if (boxes.isEmpty())
        return "ok";
    // The only box a command's handler shows is the write failure message.
    if (command.action == Action::Connect) {
        if (m_form.portNumber == 0)
            return "error no port chosen";
        return QStringLiteral("error cannot open COM%1 (%2)")
            .arg(m_form.portNumber)
            .arg(m_form.MSComm1->deviceFor(m_form.portNumber))
            .toUtf8();
    }
    if (!wasOpen)
        return "error port closed";
    if (boxError == MSComm::LineBusy)
        return "error line busy";
    if (!m_form.MSComm1->PortOpen())
        return "error write failed: the line is gone, port closed";
    return "error write failed";
}

QByteArray PanelControl::carryOut(const ControlCommand &given)
{
    Form1 &f = m_form;
    ControlCommand command = given;
    if (const QByteArray refused = findNames(command); !refused.isEmpty())
        return refused;
    // The parser gives nothing else; a command made in code is checked all the same.
    if (!inRange(command))
        return "error argument out of range";
    switch (command.action) {
    case Action::Route:
        // A route from a remote command ends a running recall, as the operator's does.
        f.presetRecall->cancel();
        return chooseOption(command);
    case Action::Wall:
    case Action::Mode:
    case Action::Resolution:
        return chooseOption(command);
    case Action::Border:
        return pressBorder(command.border);
    case Action::Reset:
        return press(f.Command9);
    case Action::Update:
        return press(f.Command6);
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
            return "error no output is called " + quoted(command.outputName);
    }
    if (command.value == ControlCommand::byName) {
        command.value = findName(names, Side::Input, command.inputName);
        if (command.value == 0)
            return "error no input is called " + quoted(command.inputName);
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
            return "error no preset is called " + quoted(command.text);
        return refusalOf(book.deletePreset(preset));
    default:
        return {};
    }
}

QByteArray PanelControl::recallPreset(const QString &name)
{
    const int preset = findPreset(m_form.presetBook->presets(), name);
    if (preset < 0)
        return "error no preset is called " + quoted(name);
    if (!m_form.Option3[0]->isEnabled())
        return "error the matrix rows are disabled (video-wall mode)";
    m_form.recallPreset(preset);
    return {};
}

// Route, Wall, Mode and Resolution choose an option of the window.
QByteArray PanelControl::chooseOption(const ControlCommand &command)
{
    Form1 &f = m_form;
    const int k = vocabulary::inputIndex(command.value);
    switch (command.action) {
    case Action::Route:
        return choose(
            f.switchRow(command.output)[k], [&] { f.switchRowClick(command.output, k); },
            "error the matrix rows are disabled (video-wall mode)");
    case Action::Wall:
        return choose(
            f.Option9[k], [&] { f.Option9_Click(k); },
            "error the video-wall inputs are disabled (matrix mode)");
    case Action::Mode:
        return choose(
            f.Option2[command.value], [&] { f.Option2_Click(command.value); },
            "error the mode options are disabled");
    case Action::Resolution:
        return choose(
            f.Option1[command.value], [&] { f.Option1_Click(command.value); },
            "error the resolution options are disabled");
    default:
        return {};
    }
}

QByteArray PanelControl::pressBorder(ControlCommand::Border border)
{
    switch (border) {
    case ControlCommand::Border::Up:
        return press(m_form.Command1);
    case ControlCommand::Border::Down:
        return press(m_form.Command4);
    case ControlCommand::Border::Left:
        return press(m_form.Command3);
    case ControlCommand::Border::Right:
        return press(m_form.Command5);
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
            return "error the address box refused the address";
    }
    return press(f.Command2);
}

// An option is chosen by clicking it, which selects it and so runs its Click. A click on the
// option that is selected already changes nothing in the window and raises no Click; the
// command runs the option's Click all the same, so that its frame goes out: the window's
// selection may stand for a frame that never reached the device (the port was closed), and
// the program that sent the command asks for the device to be switched.
QByteArray PanelControl::choose(QRadioButton *option, const std::function<void()> &handler,
                                const char *whenDisabled)
{
    if (!option->isEnabled())
        return whenDisabled;
    if (option->isChecked())
        handler();
    else
        option->click();
    return {};
}

QByteArray PanelControl::press(QAbstractButton *button)
{
    if (!button->isEnabled())
        return "error the control is disabled: " + button->text().toUtf8();
    button->click();
    return {};
}
