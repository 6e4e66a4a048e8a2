// SPDX-License-Identifier: MIT
// The panel model's port: opening it (with the status request that may follow), closing it,
// the retries after a lost link, and the device's network address.
#include "panelmodel.h"

#include "errortrap.h"
#include "frames.h"
#include "mscomm.h"
#include "reconnector.h"

#include <utility>

using Outcome = PanelModel::Sent::Outcome;

QString PanelModel::portText(quint8 port) const
{
    if (port == 0)
        return {};
    return QStringLiteral("COM%1 (%2)").arg(port).arg(m_comm->deviceFor(port));
}

QString PanelModel::failureLine(quint8 port, const QString &why) const
{
    QString line = QStringLiteral("open serial port fail！");
    if (port > 0)
        line = portText(port) + QStringLiteral(": ") + line;
    if (!why.isEmpty())
        line += QStringLiteral(" (%1)").arg(why);
    return line;
}

void PanelModel::open(quint8 port, OpenStatus status, Opened opened, OpenKind kind)
{
    if (kind == OpenKind::Shown)
        m_reconnector->stop();
    if (m_comm->PortOpening()) {
        m_whenOpened.reset(); // given up: what would have followed it never runs
        m_comm->setPortOpen(false);
    }
    m_port = port;
    // Each step needs the one before: a refused port number must not open the previous port.
    m_whenOpened = OpenStep{status, std::move(opened)};
    ErrorTrap trap;
    trap.run([&] { m_comm->setCommPort(port); });
    if (!trap.failed())
        trap.run([&] { m_comm->setPortOpen(true); });
    if (m_comm->PortOpening()) {
        setShown(m_state.opening, kind == OpenKind::Shown);
        noteChange();
        return;
    }
    finishOpen(trap);
}

void PanelModel::onOpenFinished(int error, const QString &why)
{
    ErrorTrap trap;
    trap.run([&] {
        if (error != 0)
            throw NumberedError(error, why);
    });
    finishOpen(trap);
}

void PanelModel::finishOpen(ErrorTrap &trap)
{
    if (!m_whenOpened)
        return;
    const OpenStep step = *std::exchange(m_whenOpened, std::nullopt);
    // The request goes out only on the port just opened; opened but the frame did not go
    // out: closed again, so that nobody stands over an open port that never asked.
    if (step.status == OpenStatus::Ask && !trap.failed())
        trap.run([&] { m_comm->Output(frames::StatusRequest()); });
    if (trap.failed() && m_comm->PortOpen())
        m_comm->setPortOpen(false);
    setShown(m_state.opening, false);
    noteChange();
    if (step.opened)
        step.opened(trap.failed() ? Sent{Outcome::OpenFailed, trap.error(), trap.description()}
                                  : Sent{});
}

void PanelModel::close()
{
    m_reconnector->stop();
    m_whenOpened.reset();
    ErrorTrap trap;
    trap.run([&] { m_comm->setPortOpen(false); });
    setShown(m_state.opening, false);
    noteChange();
}

void PanelModel::setReconnect(bool on)
{
    m_reconnector->setEnabled(on);
}

bool PanelModel::isReconnecting() const
{
    return m_reconnector->isRetrying();
}

void PanelModel::startRetries()
{
    m_reconnector->start();
}

// One quiet try at the port after a lost link: no message; the reconnector learns how it went.
void PanelModel::retryOnce()
{
    if (m_comm->PortOpen()) {
        m_reconnector->linkUp();
        return;
    }
    open(
        m_port, OpenStatus::Ask,
        [this](const Sent &opened) {
            if (opened.ok())
                m_reconnector->linkUp();
            else
                m_reconnector->tryFailed(); // the next try comes later
        },
        OpenKind::Retry);
}

PanelModel::Sent PanelModel::setAddress(const std::optional<std::array<quint8, 4>> &fixed)
{
    const QString address = fixed ? QStringLiteral("%1.%2.%3.%4")
                                        .arg((*fixed)[0])
                                        .arg((*fixed)[1])
                                        .arg((*fixed)[2])
                                        .arg((*fixed)[3])
                                  : QString();
    emit addressChosen(!fixed, address);
    clearShownMode();
    return send(fixed ? frames::SetFixedAddress(*fixed) : frames::SetAutoAddress());
}
