// SPDX-License-Identifier: MIT
#pragma once

#include "form1.h"

// The window's controls under their own names, for the tests and benchmarks alone: the window
// keeps them to itself. Each name refers to the window's member, so it shows the control the
// window has now:
//   controls(form).Command7->click();
//   QVERIFY(controls(m_form).Option3[2]->isChecked());
struct WindowControls
{
    explicit WindowControls(Form1 &form);

    // Outside the tab control.
    QPushButton *const &Command7;
    QGroupBox *const &Frame2;
    QLabel *const &Label6;
    QLabel *const &Label7;
    Lamp *const &Shape15;
    Lamp *const &Shape16;
    QGroupBox *const &Frame3;
    QComboBox *const &Combo1;
    QPushButton *const &Command6;
    QTabWidget *const &SSTab1;
    QTimer *const &Timer2;

    // Page "Switch".
    QGroupBox *const &Frame5;
    QGroupBox *const &Frame7;
    QGroupBox *const &Frame8;
    const ControlArray<QRadioButton> &Option2;
    const ControlArray<QGroupBox> &Frame6;
    const ControlArray<QRadioButton> &Option3;
    const ControlArray<QRadioButton> &Option4;
    const ControlArray<QRadioButton> &Option5;
    const ControlArray<QRadioButton> &Option6;
    const ControlArray<QRadioButton> &Option7;
    const ControlArray<QRadioButton> &Option9;
    const ControlArray<QLineEdit> &Text1;
    const ControlArray<ColorButton> &Command8;
    PageMenu *const &switchPageMenu;

    // Page "Resolution".
    QGroupBox *const &Frame4;
    QGroupBox *const &Frame9;
    const ControlArray<QRadioButton> &Option1;
    QPushButton *const &Command1;
    QPushButton *const &Command3;
    QPushButton *const &Command4;
    QPushButton *const &Command5;
    QPushButton *const &Command9;

    // Page "IP Setting".
    QRadioButton *const &Option10;
    QRadioButton *const &Option11;
    QGroupBox *const &Frame1;
    ipBox *const &ipBox1;
    const ControlArray<QLabel> &Label1;
    QPushButton *const &Command2;

    QButtonGroup *const &SSTab1Options;
    QAction *const &serialDevicesAction;
    QAction *const &namesAndPresetsAction;
    // What "Serial devices…" offers; a test puts its pseudo-terminals there.
    std::function<QList<SerialDevice>()> &findDevices;

    // The switching row of an output 1..4, or of vocabulary::allOutputs for "ALL".
    const ControlArray<QRadioButton> &switchRow(int output) const;

private:
    Form1 &m_form;
};

inline WindowControls controls(Form1 &form)
{
    return WindowControls(form);
}

inline WindowControls controls(Form1 *form)
{
    return WindowControls(*form);
}
