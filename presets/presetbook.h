// SPDX-License-Identifier: MIT
#pragma once

// The names and presets in use, for the window and every remote surface at once, and the
// preset that is active: the first whose routes are the routes the window shows.
//
// Each change is checked by the rules (presetrules.h) and then kept through the store (the
// settings file), and takes effect only once the store has kept it: a change that is refused,
// or that cannot be kept, leaves the names and presets in use as they were. Without a store
// changes last for the run.

#include "presetrules.h"

#include <QObject>

#include <functional>

class PresetBook : public QObject
{
    Q_OBJECT

public:
    // Keeps what is about to be in use; false and *error when it cannot.
    using Store = std::function<bool(const NamesAndPresets &next, QString *error)>;

    // Empty when the change was made; else why not, and whether the change was allowed but the
    // store could not keep it (the error is then the store's).
    struct Answer
    {
        QString error;
        bool notKept = false;
        bool ok() const { return error.isEmpty(); }
    };

    explicit PresetBook(QObject *parent = nullptr);

    // What the settings file holds, taken as it is.
    void reset(const NamesAndPresets &content);
    void setStore(Store store) { m_store = std::move(store); }

    const NamesAndPresets &content() const { return m_content; }
    const Names &names() const { return m_content.names; }
    const QList<Preset> &presets() const { return m_content.presets; }
    int gap() const { return m_content.gap; }

    Answer setName(Side side, int number, const QString &text);
    // All eight at once, as the dialog edits them.
    Answer setNames(const Names &names);
    // The routes shown become a preset; a preset of that name already takes them.
    Answer savePreset(const QString &name, const Routes &shown);
    Answer renamePreset(int index, const QString &name);
    Answer deletePreset(int index);
    // The preset at index goes to place to, the others close up.
    Answer movePreset(int index, int to);

    // The routes the window shows now; the active preset follows them.
    void showRoutes(const Routes &shown);
    // The index of the active preset, -1 when none is.
    int active() const { return m_active; }
    QString activeName() const;

signals:
    void changed();       // the names or the presets
    void activeChanged(); // another preset, or none, is active

private:
    Answer keep(NamesAndPresets next);
    void findActive();

    NamesAndPresets m_content;
    Store m_store;
    Routes m_shown{};
    int m_active = -1;
};
