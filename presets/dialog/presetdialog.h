// SPDX-License-Identifier: MIT
#pragma once

#include "presetbook.h"

#include <QDialog>

#include <array>
#include <functional>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

// "Names and presets…": the eight names, and the presets, to save from the routes the window
// shows, rename, delete, reorder and recall, with the active one shown. Every change goes to
// the names and presets in use at once and is kept in the settings file; one that is refused
// is said below the controls, one that cannot be kept in a box, and nothing changes then.
class PresetDialog : public QDialog
{
    Q_OBJECT

public:
    // shownRoutes: what the window shows now; recall: starts the recall of a preset by index.
    PresetDialog(PresetBook &book, std::function<Routes()> shownRoutes,
                 std::function<void(int index)> recall, QWidget *parent = nullptr);

    // The name field of an input or output (object names "in1".."in4", "out1".."out4").
    QLineEdit *nameField(Side side, int number) const;

private:
    QWidget *createNames();
    QWidget *createPresets();
    void createPresetButtons();
    void showPresets();
    void showSelection();
    int selectedPreset() const;
    void selectPreset(int index);

    void saveNames();
    void savePreset();
    void renamePreset();
    void deletePreset();
    void movePreset(int by);
    void recallPreset();
    // Says why a change was not made; true when it was.
    bool report(const PresetBook::Answer &answer);

    PresetBook &m_book;
    std::function<Routes()> m_shownRoutes;
    std::function<void(int)> m_recall;
    std::array<QLineEdit *, vocabulary::inputCount + vocabulary::outputCount> m_nameFields{};
    QListWidget *m_list = nullptr;
    QLabel *m_active = nullptr;
    QLineEdit *m_presetName = nullptr;
    QPushButton *m_save = nullptr;
    QPushButton *m_rename = nullptr;
    QPushButton *m_delete = nullptr;
    QPushButton *m_up = nullptr;
    QPushButton *m_down = nullptr;
    QPushButton *m_recallButton = nullptr;
    QLabel *m_problem = nullptr;
};
