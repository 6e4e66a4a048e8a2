// SPDX-License-Identifier: MIT
#pragma once

#include "portmap.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>

class ControlClient;
class ControlServer;
class Form1;
class LineMonitor;
class MessageBoxWatcher;
class PanelControl;
class PtyHost;
class PtyPair;
class ScratchDir;
class Ser2net;

// The window as the program starts it, in a scratch working directory (for COMPORT), on a line
// to a device: a pseudo-terminal pair whose master the test holds, or the emulated matrix on a
// pseudo-terminal, reached through the terminal itself or through ser2net on loopback. start()
// builds it in the program's order (Form1 on the port map, reconnection, the control socket,
// Form_Load) and shows it active, so keys reach its focus widget. Message boxes are recorded
// and closed. A test that sets up the device or the directory first calls prepare() before.
// Both report failures with QVERIFY: call them in init(), or check currentTestFailed().
class WindowOnLine
{
public:
    // What is at the far end of the line.
    enum class Device {
        Pty,      // a pseudo-terminal pair; the test reads and writes its master (device())
        Emulator, // the emulated matrix on a pseudo-terminal (host())
        None,     // nothing: the window opens what Options::ports names, or the platform's ports
    };
    // How the window reaches the device.
    enum class Link {
        Serial,  // the device's terminal itself
        Tcp,     // tcp://: ser2net serves the terminal as raw TCP
        Rfc2217, // rfc2217://: ser2net's Telnet accepter, which lets the window set the line
    };
    // What start-up does with the port.
    enum class StartUp {
        Opens,      // Form_Load opens it (checked)
        Reconnects, // Form_Load opens it, then Disconnect and Connect, which sends the status
                    // request (checked, and that no box was shown)
        AsItComes,  // Form_Load runs; the test checks what it did
        NotRun,     // the window is built but Form_Load does not run: nothing is opened
    };
    // The control socket other programs drive the window through.
    enum class Control {
        None,
        Tcp,   // on a free TCP port of 127.0.0.1
        Local, // on the local socket velquor.sock in the scratch directory
    };

    struct Options
    {
        Device device = Device::Pty;
        Link link = Link::Serial;
        QList<int> devicePorts{1}; // the COM ports that reach the device
        PortMap ports;             // mapped after the device's, so an entry may replace them
        bool reconnect = false;    // after a lost link the window opens the port again itself
        StartUp startUp = StartUp::Opens;
        bool show = true;
        Control control = Control::None;
        // The adapter (control()) without a control socket, for another remote surface.
        bool adapter = false;
        bool lineMonitor = false; // the window's line monitor, and the socket's "monitor"
        // The control server's clock (ms), when the test runs it by hand; empty: the real one.
        std::function<qint64()> controlClock;
        // The settings file's content (none when null), in the scratch directory: the window
        // takes its names and presets and keeps their changes there.
        QByteArray settings;
    };

    WindowOnLine();
    explicit WindowOnLine(Options options);
    ~WindowOnLine();
    WindowOnLine(const WindowOnLine &) = delete;
    WindowOnLine &operator=(const WindowOnLine &) = delete;

    // May change until start(), for ports that name the device's path or the directory.
    Options &options() { return m_options; }

    // The directory, the device and ser2net; start() runs it unless the test has.
    void prepare();
    // The window; with a control socket, a client connected to it.
    void start();

    ScratchDir &dir() const { return *m_dir; }
    QString settingsPath() const;
    PtyPair &device() const { return *m_device; }
    PtyHost &host() const { return *m_host; }
    Ser2net &ser2net() const { return *m_ser2net; }

    Form1 &form() const { return *m_form; }
    MessageBoxWatcher &boxes() const { return *m_boxes; }

    LineMonitor &monitor() const { return *m_monitor; }

    PanelControl &control() const { return *m_control; }
    ControlServer &controlServer() const { return *m_server; }
    ControlClient &client() const { return *m_client; }
    // The client becomes the test's, to keep or to drop.
    std::unique_ptr<ControlClient> takeClient();
    // The control server goes (a local socket file with it); the adapter stays.
    void closeControl();

    // What the window sent to the device held as a pty: waits for the expected number of
    // bytes, then a little longer for any that should not come.
    QByteArray sent(qsizetype expected) const;

    // The operator picks entry index from the port list's popup.
    void choosePort(int index);
    // What Command7 and the two lamps show.
    bool showsConnected() const;
    bool showsDisconnected() const;

private:
    // What the device's ports are mapped to: the terminal's path or ser2net's entry.
    QString deviceEntry() const;

    // In the order they are made, so that they go in reverse: the window before its line.
    Options m_options;
    bool m_prepared = false;
    std::unique_ptr<ScratchDir> m_dir;
    std::unique_ptr<PtyPair> m_device;
    std::unique_ptr<PtyHost> m_host;
    std::unique_ptr<Ser2net> m_ser2net;
    std::unique_ptr<Form1> m_form;
    std::unique_ptr<MessageBoxWatcher> m_boxes;
    LineMonitor *m_monitor = nullptr; // the window's
    std::unique_ptr<PanelControl> m_control;
    std::unique_ptr<ControlServer> m_server;
    std::unique_ptr<ControlClient> m_client;
};
