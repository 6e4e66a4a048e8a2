// SPDX-License-Identifier: MIT
#include "panelmodel.h"

#include "errortrap.h"
#include "frames.h"
#include "linelog.h"
#include "mscomm.h"
#include "presetbook.h"
#include "presetrecall.h"
#include "reconnector.h"
#include "replydecoder.h"

using Kind = CommandsInFlight::Kind;
using Outcome = PanelModel::Sent::Outcome;

// Brings the state in line with one decoded reply, in the decoder's order.
class PanelModel::ReplySinkOnState final : public ReplySink
{
public:
    explicit ReplySinkOnState(PanelModel &model) : m(model) {}

    void outputStatus(int output, int inputDigit) override
    {
        m.setShown(display(output), State::Display::Attached);
        const int input = vocabulary::inputAt(inputDigit);
        if (vocabulary::isInput(input))
            m.showReported(m.m_state.routes[vocabulary::outputIndex(output)], input,
                           {Kind::Route, output, input},
                           frames::Route(vocabulary::routeRow(output), inputDigit));
    }

    void outputWithoutDisplay(int output) override
    {
        m.setShown(display(output), State::Display::None);
    }

    void wallInput(int input) override
    {
        const int number = vocabulary::inputAt(input);
        m.showReported(m.m_state.wall, number, {Kind::WallInput, 0, number},
                       frames::VideoWallInput(input));
    }

    void mode(int mode) override
    {
        m.showReported(m.m_state.mode, mode, {Kind::Mode, 0, mode}, frames::SetMode(mode));
        m.setShown(m.m_state.reportedMode, mode);
    }

    void resolution(int index) override
    {
        m.showReported(m.m_state.resolution, index, {Kind::Resolution, 0, index},
                       frames::SetResolution(index));
    }

    void addressConfirmed() override { emit m.addressConfirmed(); }

private:
    State::Display &display(int output)
    {
        return m.m_state.displays[vocabulary::outputIndex(output)];
    }

    PanelModel &m;
};

PanelModel::PanelModel(const PortMap &ports, QObject *parent)
    : QObject(parent), m_comm(new MSComm(ports, this)), m_lineLog(new LineLog(this)),
      m_reconnector(new Reconnector([this] { retryOnce(); }, this)), m_presets(new PresetBook(this))
{
    connect(m_comm, &MSComm::frameWritten, m_lineLog, &LineLog::frameWritten);
    connect(m_comm, &MSComm::replyRead, m_lineLog, &LineLog::replyRead);
    connect(m_comm, &MSComm::portOpenChanged, m_lineLog, &LineLog::portOpenChanged);
    connect(m_comm, &MSComm::openFinished, this, &PanelModel::onOpenFinished);
    // MSComm has closed the port already: the retries begin, when they are on.
    connect(m_comm, &MSComm::linkLost, this, [this] { m_reconnector->start(); });

    m_recall = new PresetRecall(
        {[this](int output) { return m_state.routes[vocabulary::outputIndex(output)]; },
         [this] { return m_comm->PortOpen() && m_state.routesEnabled(); },
         [this](int output, int input) {
             setShown(m_state.routes[vocabulary::outputIndex(output)], input);
             noteChange();
             const Sent sent =
                 write(frames::Route(vocabulary::routeRow(output), vocabulary::inputIndex(input)));
             if (!sent.ok())
                 emit writeFailed(sent);
         }},
        this);
    // Every frame written, whoever wrote it: an answered command is in flight from then on.
    connect(m_comm, &MSComm::frameWritten, this, [this](const QByteArray &frame) {
        m_inFlight.sent(frame, m_answering ? CommandsInFlight::Origin::Answer
                                           : CommandsInFlight::Origin::Command);
        m_statusAskedSinceOpen = m_statusAskedSinceOpen || frame == frames::StatusRequest();
    });
    // Nothing is in flight on a port that closed: what it answers after it opens again is
    // the device's own.
    connect(m_comm, &MSComm::portOpenChanged, this, [this](bool open) {
        // An open's own steps tell once they are all done (finishOpen()).
        if (!m_whenOpened)
            noteChange();
        if (!open) {
            m_inFlight.clear();
            return;
        }
        m_statusAskedSinceOpen = false;
        if (!m_askStatusOnOpen)
            return;
        // After the steps that opened the port, which may ask themselves.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (!m_statusAskedSinceOpen && m_comm->PortOpen())
                    send(frames::StatusRequest());
            },
            Qt::QueuedConnection);
    });
}

PanelModel::~PanelModel() = default;

PanelModel::Sent PanelModel::route(int output, int input)
{
    m_recall->cancel();
    if (!vocabulary::isRow(output) || !vocabulary::isInput(input))
        return {};
    if (output != vocabulary::allOutputs)
        setShown(m_state.routes[vocabulary::outputIndex(output)], input);
    noteChange();
    return send(frames::Route(vocabulary::routeRow(output), vocabulary::inputIndex(input)));
}

PanelModel::Sent PanelModel::wall(int input)
{
    if (!vocabulary::isInput(input))
        return {};
    setShown(m_state.wall, input);
    noteChange();
    return send(frames::VideoWallInput(vocabulary::inputIndex(input)));
}

PanelModel::Sent PanelModel::setMode(int mode)
{
    if (mode != 0 && mode != 1)
        return {};
    setShown(m_state.mode, mode);
    noteChange();
    return send(frames::SetMode(mode));
}

PanelModel::Sent PanelModel::setResolution(int index)
{
    if (!vocabulary::isResolution(index))
        return {};
    setShown(m_state.resolution, index);
    noteChange();
    return send(frames::SetResolution(index));
}

PanelModel::Sent PanelModel::send(const QByteArray &frame)
{
    const Sent sent = write(frame);
    noteChange(); // a write that finds the line gone closes the port
    return sent;
}

void PanelModel::clearShownMode()
{
    setShown(m_state.mode, -1);
    noteChange();
}

void PanelModel::readReply()
{
    QByteArray line;
    ErrorTrap trap;
    trap.run([&] { line = m_comm->Input(); });
    ReplySinkOnState sink(*this);
    decodeReply(line, sink);
    noteChange();
    emit replyTaken();
}

PanelModel::Sent PanelModel::write(const QByteArray &frame)
{
    const bool wasOpen = m_comm->PortOpen();
    ErrorTrap trap;
    trap.run([&] { m_comm->Output(frame); });
    if (!trap.failed())
        return {};
    Sent sent{Outcome::WriteFailed, trap.error(), trap.description()};
    if (!wasOpen || trap.error() == MSComm::PortNotOpen)
        sent.outcome = Outcome::PortClosed;
    else if (trap.error() == MSComm::LineBusy)
        sent.outcome = Outcome::LineBusy;
    else if (!m_comm->PortOpen())
        sent.outcome = Outcome::LineGone;
    return sent;
}

void PanelModel::showReported(int &shown, int reported, const CommandsInFlight::Setting &setting,
                              const QByteArray &frame)
{
    const CommandsInFlight::Match match = m_inFlight.match(setting);
    if (shown == reported)
        return;
    setShown(shown, reported);
    if (match != CommandsInFlight::Match::None)
        return;
    m_answering = true;
    const Sent sent = write(frame);
    m_answering = false;
    if (!sent.ok()) {
        noteChange();
        emit writeFailed(sent);
    }
}

void PanelModel::noteChange()
{
    if (!m_whenOpened)
        setShown(m_state.connected, m_comm->PortOpen());
    if (!m_changed)
        return;
    m_changed = false;
    m_presets->showRoutes(m_state.routes);
    emit changed();
}
