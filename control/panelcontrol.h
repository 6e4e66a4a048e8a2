// SPDX-License-Identifier: MIT
#pragma once

// What every remote surface drives: the panel model (PanelModel). Each command is carried out
// on the model, as the window's handler for it does, and answered from the model's typed
// outcome; the state reported is the model's. A window, when there is one, shows what the
// model does and may hold commands back while a dialog waits for its operator (holdWhile()).
//
// Names and presets are the model's too: a name given where a command takes an output or an
// input is looked up there, a change of a name or a preset is kept in the settings file as one
// made in the window, and a recall runs the model's own. The entries of the model's record of the
// line go to the clients that asked for them with "monitor".

#include "controlcommand.h"
#include "controltarget.h"
#include "panelstate.h"

#include <QStringList>

#include <functional>

class PanelModel;
class PresetBook;

class PanelControl : public ControlTarget
{
    Q_OBJECT

public:
    explicit PanelControl(PanelModel &model, QObject *parent = nullptr);

    // Commands that change something are refused while why() says why (a dialog of the window
    // waits for the operator: a command now would run inside it); empty: carried out.
    void holdWhile(std::function<QByteArray()> why) { m_holdReason = std::move(why); }

    ControlAnswer execute(const ControlCommand &command) override;
    PanelState state() const;
    // The presets' names, in the order of the window's list.
    QStringList presetNames() const;

signals:
    // The presets were saved, renamed or deleted, whoever did it; the state may not show it.
    void presetsChanged();

private:
    // Carries the command out; why not when it is refused, empty otherwise.
    QByteArray carryOut(const ControlCommand &command);
    static QByteArray borderFrame(ControlCommand::Border border);
    QByteArray connectPort();
    // Route and Wall by name: the numbers the names stand for, or why there are none.
    QByteArray findNames(ControlCommand &command) const;
    QByteArray changePresets(const ControlCommand &command);
    QByteArray recallPreset(const QString &name);
    void noteChange();

    PanelModel &m_model;
    PresetBook &m_book;
    std::function<QByteArray()> m_holdReason;
    PanelState m_shown; // as last reported to the watchers
};
