// SPDX-License-Identifier: MIT
#include "form1.h"

#include "comportfile.h"
#include "errortrap.h"
#include "frames.h"
#include "linktrace.h"
#include "mscomm.h"
#include "reconnector.h"

#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QPushButton>
#include <QTimer>

#include <utility>

void Form1::Command7_Click()
{
    if (m_showsOpening)
        return; // Connect is disabled: the window waits for the open it started
    ErrorTrap trap;
    m_reconnector->stop(); // the operator decides now
    if (MSComm1->PortOpening())
        giveUpOpen(); // a reconnect try gives way

    // The port's own state decides, not the caption.
    if (MSComm1->PortOpen()) {
        trap.run([&] { MSComm1->setPortOpen(false); });
        showDisconnected();
        return; // a failure to close is not reported
    }

    // Each step needs the one before: a refused port number must not open the previous port,
    // and a frame goes out only on the port just opened.
    openPortThen(trap, true, [this](ErrorTrap &trap) {
        sendStatusRequest(trap);
        if (trap.failed()) {
            // The window keeps showing Disconnected, and never stands over an open port.
            showWriteFailure(portFailure(trap));
            return;
        }
        showConnected();
    });
}

void Form1::Combo1_Click()
{
    m_reconnector->stop();
    if (MSComm1->PortOpening()) {
        giveUpOpen();
        showDisconnected();
    }
    if (MSComm1->PortOpen()) {
        MSComm1->setPortOpen(false);
        showDisconnected();
    }
    const int index = Combo1->currentIndex();
    if (index >= 0 && index < Combo1->count())
        portNumber = quint8(index + 1);
    // Saved on every selection; a file that cannot be written keeps its old line.
    comport::writeStoredIndex(index);
}

void Form1::Timer2_Timer()
{
    Timer2->stop();
}

void Form1::onLinkLost()
{
    // MSComm1 has closed the port already; the window follows without a message.
    showDisconnected();
    m_reconnector->start();
}

void Form1::reconnectOnce()
{
    if (MSComm1->PortOpen()) {
        m_reconnector->linkUp();
        return;
    }
    ErrorTrap trap;
    openPortThen(trap, false, [this](ErrorTrap &trap) {
        sendStatusRequest(trap);
        if (trap.failed()) {
            m_reconnector->tryFailed(); // Disconnected stays; the next try comes later
            return;
        }
        showConnected();
        m_reconnector->linkUp();
    });
}

void Form1::openPortThen(ErrorTrap &trap, bool shown, OpenStep finish)
{
    trap.run([&] { MSComm1->setCommPort(portNumber); });
    if (!trap.failed())
        trap.run([&] { MSComm1->setPortOpen(true); });
    if (!MSComm1->PortOpening()) {
        finish(trap);
        return;
    }
    m_whenOpened = std::move(finish);
    m_boxesTakenAtOpen = bool(m_messageReporter);
    if (shown)
        showOpening(true);
}

void Form1::onOpenFinished(int error, const QString &why)
{
    showOpening(false);
    const OpenStep finish = std::exchange(m_whenOpened, {});
    if (!finish)
        return;
    ErrorTrap trap;
    trap.run([&] {
        if (error != 0)
            throw NumberedError(error, why);
    });
    // A connect that a command from elsewhere started has been answered, and nobody at the
    // window asked for it: its failure is a line on standard error, not a box that waits.
    MessageReporter atWindow;
    const bool quiet = m_boxesTakenAtOpen && !m_messageReporter;
    if (quiet)
        atWindow = setMessageReporter(
            [](const QString &, const QString &text, const MessageDetail &detail) {
                qCWarning(lcSerial).noquote() << detail.port + QStringLiteral(":") << text.trimmed()
                                              << QStringLiteral("(%1)").arg(detail.why);
            });
    finish(trap);
    if (quiet)
        setMessageReporter(atWindow);
}

void Form1::giveUpOpen()
{
    MSComm1->setPortOpen(false);
    m_whenOpened = {};
    showOpening(false);
}

void Form1::sendStatusRequest(ErrorTrap &trap)
{
    if (!trap.failed())
        trap.run([&] { MSComm1->Output(frames::StatusRequest()); });
    // Opened but the frame did not go out: close again.
    if (trap.failed() && MSComm1->PortOpen())
        MSComm1->setPortOpen(false);
}

void Form1::showOpening(bool opening)
{
    if (opening == m_showsOpening)
        return;
    m_showsOpening = opening;
    Command7->setEnabled(!opening);
    if (opening)
        QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    else
        QApplication::restoreOverrideCursor();
}

Form1::MessageDetail Form1::portFailure(const ErrorTrap &trap) const
{
    return portFailure(trap.description(), trap.error());
}

Form1::MessageDetail Form1::portFailure(const QString &why, int error) const
{
    MessageDetail detail{QString(), why, error};
    if (portNumber > 0)
        detail.port =
            QStringLiteral("COM%1 (%2)").arg(portNumber).arg(MSComm1->deviceFor(portNumber));
    return detail;
}

void Form1::setReconnect(bool on)
{
    m_reconnector->setEnabled(on);
}

bool Form1::isReconnecting() const
{
    return m_reconnector->isRetrying();
}
