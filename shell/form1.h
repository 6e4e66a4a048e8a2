// SPDX-License-Identifier: MIT
#pragma once

// Form1 is the panel's one window, a view of the panel model (PanelModel, model/), which it
// makes: the model holds what the panel shows of the device, the serial-port service MSComm1
// and the names and presets. The window owns every control under its own name, for itself
// alone (the tests reach them through WindowControls), and the two pieces of window state,
// portNumber and ipMode.
//
// Everything runs on the GUI thread, one event at a time. Qt signals call the handlers, which
// are named after control and event: an option button's toggled(true) calls OptionN_Click(k),
// a push button's clicked() calls CommandN_Click(), MSComm1's OnComm() calls MSComm1_OnComm().
// A handler asks the model for at most one device frame and shows the box when it failed; a
// reply from the device goes to the model, which shows it and answers it as the device needs,
// and the window then draws what changed (showModelState) without running handlers.
//
// The handlers are defined in the folder of their area:
//   shell/form1.cpp       the signal wiring, connection state shown, message boxes
//   shell/layout.cpp      the controls and their layout
//   shell/startup.cpp     Form_Load: port list, remembered port, first open
//   shell/connection.cpp  Command7_Click, Combo1_Click, Timer2_Timer
//   shell/devicechoice.cpp  "Serial devices…": which device each COM port opens
//   shell/presetchoice.cpp  names shown, presets recalled, "Names and presets…"
//   shell/oncomm.cpp      MSComm1_OnComm and the routing display out1..out4
//   panels/*.cpp          the tab pages' handlers and the maintenance buttons

#include "controlarray.h"
#include "panelmodel.h"
#include "portmap.h"
#include "presetrules.h"
#include "serialdevices.h"

#include <QString>
#include <QWidget>

#include <functional>

class ColorButton;
class ErrorTrap;
class Lamp;
class MSComm;
class PageMenu;
class PresetBook;
class PresetRecall;
class QAction;
class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTimer;
class UserSettings;
class ipBox;

// What a message box of the window is about beyond its text, for a line in a log: the port
// ("COM1 (/dev/ttyUSB0)"), why it failed ("held by another program") and the error number;
// empty and 0 for a box about no port.
struct MessageDetail
{
    QString port;
    QString why;
    int error = 0;
};

class Form1 : public QWidget
{
    Q_OBJECT

public:
    // ports maps COM port numbers to device paths (empty: the platform's own names).
    explicit Form1(const PortMap &ports = {}, QWidget *parent = nullptr);
    ~Form1() override;

    // Window state. portNumber is the COM port opened by Connect; ipMode is the device's
    // address mode chosen on the "IP Setting" page: 1 automatic, 0 fixed.
    quint8 portNumber = 0;
    qint16 ipMode = 0;

    // The model's serial-port service, which the window shows and the handlers write through.
    MSComm *MSComm1 = nullptr;

    // Start-up, run once before the window is first shown.
    void Form_Load();

    // Opt-in: after a lost link, the port is opened again by itself (see Reconnector) and the
    // window shows Connected once it is back.
    void setReconnect(bool on);
    bool isReconnecting() const;

    // Connection control.
    void Command7_Click();
    void Combo1_Click();
    void Timer2_Timer();

    // What the panel shows and asks of the device: the model this window is a view of.
    PanelModel &model() const { return *m_model; }
    // Why a command from elsewhere must wait now: a box or dialog of the window waits for the
    // operator, and the command would run inside it. Empty when none does.
    QByteArray whyRemoteCommandsWait() const;

    // Replies from the device (the model decodes them and the window draws what changed) and
    // the routing display (input counted from 1).
    void MSComm1_OnComm();
    void out1(quint8 input);
    void out2(quint8 input);
    void out3(quint8 input);
    void out4(quint8 input);

    // Switching panel.
    void Option3_Click(int index);
    void Option4_Click(int index);
    void Option5_Click(int index);
    void Option6_Click(int index);
    void Option7_Click(int index);
    void Option9_Click(int index);
    void Command8_Click(int index);

    // Mode and resolution panel.
    void Option1_Click(int index);
    void Option2_Click(int index);

    // Network settings panel.
    void Option10_Click();
    void Option11_Click();
    void Command2_Click();

    // Maintenance and status buttons.
    void Command1_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    void Command6_Click();
    void Command9_Click();

    // The address confirmation, "Set IP address successfully！ " with an empty title.
    void showAddressConfirmation();

    // "Serial devices…" (Ctrl+D, or the port list's context menu): which device each of COM1
    // to COM10 opens. Save writes the choice to the user's settings file; it applies from the
    // next open.
    void showSerialDevices();

    // Names and presets (presets/): what the operator calls the inputs and outputs, shown in
    // the tooltips and accessible descriptions of their buttons and rows (the captions stay),
    // and presets recalled in one action from the context menu of the "Switch" page or from
    // "Names and presets…" (Ctrl+P, or that menu). The model holds the names and presets in
    // use; useNamesAndPresets takes them from the settings file and keeps every change there
    // (without it they last for the run).
    void useNamesAndPresets(const UserSettings &settings);
    void showNamesAndPresets();
    // Brings the rows onto preset index through their own handlers, a frame at a time; with the
    // port closed it shows the write failure message instead. A route the operator sets cancels
    // what is left of it.
    void recallPreset(int index);
    // The input each output's row shows now.
    Routes shownRoutes() const;
    // The entries of names and presets in the "Switch" page's context menu: the presets to
    // recall, the active one checked, and "Names and presets…".
    void addPresetEntries(QMenu &menu);
    // Adds a group of entries to the "Switch" page's context menu (see PageMenu): how each
    // capability of the window offers itself there.
    void addSwitchPageEntries(std::function<void(QMenu &menu)> entries);

    using MessageDetail = ::MessageDetail;
    // Where the window's message boxes go. Without a reporter each is a modal box on the
    // screen; with one, the reporter is given the box's title, text and detail instead and
    // nothing waits (the panel runs headless, or a command from the control socket is carried
    // out). Returns the reporter it replaces.
    using MessageReporter =
        std::function<void(const QString &title, const QString &text, const MessageDetail &detail)>;
    MessageReporter setMessageReporter(MessageReporter reporter);

private:
    // The tests and benchmarks reach the controls by name through it (tests/support).
    friend struct WindowControls;

    // Outside the tab control.
    QPushButton *Command7 = nullptr; // "Connect" / "Disconnect"
    QGroupBox *Frame2 = nullptr;     // "Connect State"
    QLabel *Label6 = nullptr;
    QLabel *Label7 = nullptr;
    Lamp *Shape15 = nullptr;     // green, beside "Connected"
    Lamp *Shape16 = nullptr;     // red, beside "Disconnect"
    QGroupBox *Frame3 = nullptr; // "Com Select"
    QComboBox *Combo1 = nullptr;
    QPushButton *Command6 = nullptr; // "Update"
    QTabWidget *SSTab1 = nullptr;
    QTimer *Timer2 = nullptr;

    // Page "Switch".
    QGroupBox *Frame5 = nullptr;
    QGroupBox *Frame7 = nullptr;
    QGroupBox *Frame8 = nullptr;        // "ON"
    ControlArray<QRadioButton> Option2; // 0 "Martix", 1 "Video wall"
    ControlArray<QGroupBox> Frame6;     // 4 "Out1" .. 1 "Out4", 0 "ALL"
    ControlArray<QRadioButton> Option3; // row "Out1"
    ControlArray<QRadioButton> Option4; // row "Out2"
    ControlArray<QRadioButton> Option5; // row "Out3"
    ControlArray<QRadioButton> Option6; // row "Out4"
    ControlArray<QRadioButton> Option7; // row "ALL"
    ControlArray<QRadioButton> Option9; // video-wall input
    ControlArray<QLineEdit> Text1;      // 5 "Input:", 6 "Output:"
    ControlArray<ColorButton> Command8; // "out1" .. "out4"
    // The page's context menu; each capability adds its own entries to it
    // (addSwitchPageEntries).
    PageMenu *switchPageMenu = nullptr;

    // Page "Resolution".
    QGroupBox *Frame4 = nullptr; // "Resolution Set"
    QGroupBox *Frame9 = nullptr; // "Border setting"
    ControlArray<QRadioButton> Option1;
    QPushButton *Command1 = nullptr; // border: vertical in
    QPushButton *Command3 = nullptr; // border: horizontal out
    QPushButton *Command4 = nullptr; // border: vertical out
    QPushButton *Command5 = nullptr; // border: horizontal in
    QPushButton *Command9 = nullptr; // "RESET"

    // Page "IP Setting".
    QRadioButton *Option10 = nullptr; // "Automatically obtain ip address"
    QRadioButton *Option11 = nullptr; // "Use the following ip address"
    QGroupBox *Frame1 = nullptr;
    ipBox *ipBox1 = nullptr;
    ControlArray<QLabel> Label1;     // 6 "IP address:"
    QPushButton *Command2 = nullptr; // "OK"

    // "Martix", "Video wall" and the two address options: one exclusive group across pages.
    QButtonGroup *SSTab1Options = nullptr;

    // "Serial devices…", in the port list's and the "Switch" page's context menus.
    QAction *serialDevicesAction = nullptr;
    // The devices the dialog offers; QSerialPortInfo's unless replaced (a pseudo-terminal is
    // not among those).
    std::function<QList<SerialDevice>()> findDevices = [] { return findSerialDevices(); };

    // The model's names and presets in use and their recall; "Names and presets…".
    PresetBook *presetBook = nullptr;
    PresetRecall *presetRecall = nullptr;
    QAction *namesAndPresetsAction = nullptr;

    // The switching row of an output 1..4, or of vocabulary::allOutputs for "ALL": Option3 to
    // Option6, and Option7. A row's options are IN1..IN4 at index 0..3.
    ControlArray<QRadioButton> &switchRow(int output);
    const ControlArray<QRadioButton> &switchRow(int output) const;

    // The controls, in the order the window creates them (shell/layout.cpp).
    void createControls();
    void setUpWindow();
    void createOutsideControls();
    void createTabControl();
    // Controls on a page are given in the tab control's coordinates, tab strip included;
    // pageOrigin is where the page lies in those.
    void createSwitchPage(QWidget *page, QPoint pageOrigin);
    void createSwitchRows();
    void createWallInputs();
    void createOutputButtons();
    void createResolutionPage(QWidget *page, QPoint pageOrigin);
    void createIpSettingPage(QWidget *page, QPoint pageOrigin);
    void paintPageControls();
    void groupOptions();
    void nameControlsForScreenReaders();
    void createServices();
    void setUpKeyboard();

    // The steps of Form_Load that take more than a line (shell/startup.cpp). Those given the
    // trap run under it: a failing step is abandoned and start-up goes on with the next.
    void fillPortList();
    void selectRememberedPort(ErrorTrap &trap);
    void selectPortEntry(ErrorTrap &trap, int index);
    void saveSelectedPortEntry(ErrorTrap &trap);
    void openStartupPort();

    void connectHandlers();
    void setUpDeviceChoice();
    void showPortDevices();
    void setUpPresetChoice();
    void showNames();

    // While an open the window waits for is under way: a busy cursor, and Connect disabled.
    void showOpening(bool opening);

    // Connection state shown on Command7 and the lamps.
    void showConnected();
    void showDisconnected();

    // The modal "open serial port fail！ " box titled "ERROR".
    void showWriteFailure(const MessageDetail &detail = {});
    // The detail of a port step that failed.
    MessageDetail portFailure(const QString &why, int error) const;
    // A modal box with an OK button and no icon. No reply is decoded while it waits for the
    // operator; what arrives meanwhile is decoded in order once it is closed.
    void showMessageBox(const QString &title, const QString &text,
                        const MessageDetail &detail = {});

    // The address option and the address setAddress() of the model chose, as the operator
    // chooses them.
    void showAddressChosen(bool automatic, const QString &address);

    // Writes one frame through the model and reports a failed write with the write failure
    // message.
    void sendFrameOrReport(const QByteArray &frame);
    void reportWriteFailure(const PanelModel::Sent &sent);

    // Brings the controls onto what the model shows: only what changed since the last time,
    // so that a selection the window keeps of its own (the address options share a group with
    // the mode) is not overridden. The handlers do not run for what is drawn: the model has
    // sent what it sends already.
    void showModelState();

    PanelModel *m_model = nullptr;
    PanelModel::State m_drawn;
    bool m_drawing = false;

    PortMap m_ports;
    MessageReporter m_messageReporter;
    bool m_showsOpening = false;
};
