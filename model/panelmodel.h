// SPDX-License-Identifier: MIT
#pragma once

// The panel model: what the panel shows of the matrix and what it asks of it, apart from any
// window. It owns the serial-port service (MSComm) with the opening, closing and reopening of
// the port, the record of the line (LineLog), the state decoded from the device's replies, the
// commands in flight with the echo rule, and the names and presets with their recall. The window is
// a view of it: its handlers call the commands below and it draws from state() whenever changed()
// says so; the remote surfaces do the same.
//
// The echo rule: a report that differs from what is shown is shown and sent back to the device
// once with the matching frame (the panel follows a change made at the device or by another
// controller, and the device confirms it), unless a command for that setting is in flight: a
// report that confirms it, or one that may have left the device before the device took it,
// is shown and not sent back (CommandsInFlight). A report that confirms an answer is not sent
// back either; one that differs from an answer still in flight is a newer change, answered.
//
// A command changes what is shown before its frame goes out, as an operator's click selects
// the button before its handler writes: the selection stays even when the write fails.
//
// Everything runs on the thread that made the model, one event at a time.

#include "commandsinflight.h"
#include "portmap.h"
#include "presetrules.h"
#include "vocabulary.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <array>
#include <functional>
#include <optional>

class ErrorTrap;
class LineLog;
class MSComm;
class Reconnector;
class PresetBook;
class PresetRecall;

class PanelModel : public QObject
{
    Q_OBJECT

public:
    // What the panel shows of the device.
    struct State
    {
        // An output's display as last reported: attached (green), none (red), not yet.
        enum class Display { NotReported, Attached, None };

        std::array<int, vocabulary::outputCount> routes{}; // input 1..4 of out1..out4; 0 none
        std::array<Display, vocabulary::outputCount> displays{};
        int mode = -1;       // 0 matrix, 1 video wall; -1 none selected
        int wall = 0;        // video-wall input 1..4; 0 none
        int resolution = -1; // 0..8; -1 none
        // The mode the device last reported: the matrix rows take routes unless it is video
        // wall, the video-wall inputs unless it is matrix.
        int reportedMode = -1;
        // The port is open; an open someone waits for is under way (not a background retry).
        bool connected = false;
        bool opening = false;

        bool routesEnabled() const { return reportedMode != 1; }
        bool wallInputsEnabled() const { return reportedMode != 0; }
        bool operator==(const State &) const = default;
    };

    // How a frame went: written, or why not.
    struct Sent
    {
        enum class Outcome {
            Done,
            PortClosed,  // the port is not open
            LineBusy,    // the frames written before still fill the device's queue
            LineGone,    // the write found the line gone: the port is closed now
            WriteFailed, // the line refused the bytes
            OpenFailed,  // the port did not open, or closed again when the open's request failed
        };
        Outcome outcome = Outcome::Done;
        int error = 0; // the serial-port service's error number; 0 when done
        QString why;   // for a log line; empty when done
        bool ok() const { return outcome == Outcome::Done; }
    };

    explicit PanelModel(const PortMap &ports = {}, QObject *parent = nullptr);
    ~PanelModel() override;

    MSComm &comm() const { return *m_comm; }
    LineLog &lineLog() const { return *m_lineLog; }
    const State &state() const { return m_state; }
    Routes shownRoutes() const { return m_state.routes; }

    // The commands. A route's output is 1..4 or vocabulary::allOutputs, inputs count from 1;
    // a route ends a running recall. Arguments out of range send nothing and are Done.
    Sent route(int output, int input);
    Sent wall(int input);
    Sent setMode(int mode);
    Sent setResolution(int index);
    // A frame that changes nothing shown: the border buttons, RESET, Update, an out button,
    // the address.
    Sent send(const QByteArray &frame);

    // The port: COM1 to COM10, or a number the port map gives; 0 is none. open() takes the
    // port to open, and the port last chosen or opened is port().
    quint8 port() const { return m_port; }
    void setPort(quint8 port) { m_port = port; }
    // "COM1 (/dev/ttyUSB0)" for a message about port; empty for 0.
    QString portText(quint8 port) const;
    // The window's "open serial port fail！ " as one line: "COM1 (/dev/ttyUSB0): open serial
    // port fail！ (why)", without the port for 0 and without the reason when there is none.
    QString failureLine(quint8 port, const QString &why) const;

    // How an open went, once it is done: Done, or OpenFailed with the port's error.
    using Opened = std::function<void(const Sent &opened)>;
    enum class OpenStatus { Silent, Ask };
    enum class OpenKind { Shown, Retry };
    // Opens COM port `port` (an open under way is given up first) and, with OpenStatus::Ask,
    // asks the device for its state on it; a request that fails closes the port again. Then
    // opened runs with how it went: at once for a serial port, once the link is up or has
    // failed for a network port. A Shown open stops the retries (the user decides now) and
    // shows as opening in the state; a Retry goes on in the background.
    void open(quint8 port, OpenStatus status, Opened opened, OpenKind kind = OpenKind::Shown);
    // Gives up the open under way (its opened never runs) and closes the port; stops the
    // retries. A failure to close is not reported.
    void close();

    // Opt-in: after a lost link, or a port that did not open at start-up (startRetries()),
    // the port is opened again in the background (Reconnector) and asked for its state.
    void setReconnect(bool on);
    bool isReconnecting() const;
    void startRetries();

    // The device's network address: automatic, or the fixed address given. The address option
    // is chosen as in the window (which shows it: addressChosen()), clearing the mode shown,
    // and the frame goes out.
    Sent setAddress(const std::optional<std::array<quint8, 4>> &fixed);

    // "Martix" and "Video wall" share one group with the address options of the window: an
    // address option chosen clears the mode shown, as that group does.
    void clearShownMode();

    // With a remote surface, or headless, the device is asked for its state (StatusRequest)
    // each time the port opens, unless the open's own steps asked already (Connect does):
    // the surfaces then show the device's state, not "unknown", without anyone pressing
    // Update. The window alone keeps start-up silent on the line.
    void setAskStatusOnOpen(bool ask) { m_askStatusOnOpen = ask; }

    // Reads the next reply line from the port and brings the state in line with it (the
    // serial-port service's OnComm()).
    void readReply();

    PresetBook &presets() const { return *m_presets; }
    PresetRecall &recall() const { return *m_recall; }

signals:
    // What state() holds changed.
    void changed();
    // A reply line was read and applied, after changed() for it: what the device reported is
    // in state() now. The remote surfaces tell their watchers then.
    void replyTaken();
    // A write the model made by itself failed: a report's answer, or a step of a recall.
    void writeFailed(const PanelModel::Sent &sent);
    // The device took a network address setting ("IP" or "DHCP").
    void addressConfirmed();
    // setAddress() chose the address option: automatic, or fixed with this address.
    void addressChosen(bool automatic, const QString &address);

private:
    class ReplySinkOnState;

    // Writes frame.
    Sent write(const QByteArray &frame);
    // Shows reported, and sends frame unless reported was shown already or a command for its
    // setting is in flight.
    void showReported(int &shown, int reported, const CommandsInFlight::Setting &setting,
                      const QByteArray &frame);
    template <typename T> void setShown(T &shown, T value)
    {
        if (shown == value)
            return;
        shown = value;
        m_changed = true;
    }
    // changed(), once for all that changed since the last.
    void noteChange();
    // The open under way is done: error 0 when the link is up.
    void onOpenFinished(int error, const QString &why);
    void finishOpen(ErrorTrap &trap);
    void retryOnce();

    // What follows the open under way, once it is done.
    struct OpenStep
    {
        OpenStatus status = OpenStatus::Silent;
        Opened opened;
    };

    MSComm *m_comm = nullptr;
    LineLog *m_lineLog = nullptr;
    Reconnector *m_reconnector = nullptr;
    std::optional<OpenStep> m_whenOpened;
    quint8 m_port = 0;
    PresetBook *m_presets = nullptr;
    PresetRecall *m_recall = nullptr;
    CommandsInFlight m_inFlight;
    State m_state;
    bool m_changed = false;   // since the last changed()
    bool m_answering = false; // a report's answer is being written
    bool m_askStatusOnOpen = false;
    bool m_statusAskedSinceOpen = false;
};
