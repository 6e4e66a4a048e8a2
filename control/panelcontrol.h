// SPDX-License-Identifier: MIT
#pragma once

// The one place where the control socket meets the window. Each command is carried out the
// way the operator would: it clicks the control that stands for it, so the control's own
// handler runs and the same frame goes out and the same things change in the window. The
// state it reports is read from the window's controls.
//
// Message boxes are taken from the window for the length of a command: the command's answer
// says what the box would have said ("error port closed") and nothing waits on the screen.
//
// Names and presets are the window's too (Form1::presetBook): a name given where a command
// takes an output or an input is looked up there, a change of a name or a preset is kept in
// the settings file as one made in the window, and a recall runs the window's own.

#include "controlcommand.h"
#include "controltarget.h"
#include "panelstate.h"

#include <QStringList>

#include <functional>

class Form1;
class LineLog;
class QAbstractButton;
class QRadioButton;

class PanelControl : public ControlTarget
{
    Q_OBJECT

public:
    explicit PanelControl(Form1 &form, QObject *parent = nullptr);

    ControlAnswer execute(const ControlCommand &command) override;
    PanelState state() const;
    // The presets' names, in the order of the window's list.
    QStringList presetNames() const;

    // The line monitor's entries go to the clients that asked for them with "monitor".
    void followLine(const LineLog &log);

signals:
    // The presets were saved, renamed or deleted, whoever did it; the state may not show it.
    void presetsChanged();

private:
    // Carries the command out; why not when it is refused, empty otherwise.
    QByteArray carryOut(const ControlCommand &command);
    static QByteArray borderFrame(ControlCommand::Border border);
    QByteArray setAddress(const ControlCommand &command);
    // Route and Wall by name: the numbers the names stand for, or why there are none.
    QByteArray findNames(ControlCommand &command) const;
    QByteArray changePresets(const ControlCommand &command);
    QByteArray recallPreset(const QString &name);
    QByteArray press(QAbstractButton *button);
    void noteChange();

    Form1 &m_form;
    PanelState m_shown; // as last reported to the watchers
};
