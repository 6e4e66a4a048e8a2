// SPDX-License-Identifier: MIT
#include "form1.h"

#include "comportfile.h"
#include "errortrap.h"
#include "frames.h"
#include "mscomm.h"
#include "reconnector.h"

#include <QComboBox>
#include <QTimer>

void Form1::Command7_Click()
{
    const QByteArray frame = frames::StatusRequest();
    ErrorTrap trap;
    m_reconnector->stop(); // the operator decides now

    // The port's own state decides, not the caption.
    if (MSComm1->PortOpen()) {
        trap.run([&] { MSComm1->setPortOpen(false); });
        showDisconnected();
        return; // a failure to close is not reported
    }

    // Each step needs the one before: a refused port number must not open the previous port,
    // and a frame goes out only on the port just opened.
    trap.run([&] { MSComm1->setCommPort(portNumber); });
    if (!trap.failed())
        trap.run([&] { MSComm1->setPortOpen(true); });
    if (!trap.failed())
        trap.run([&] { MSComm1->Output(frame); });
    if (trap.failed()) {
        // Opened but the frame did not go out: close again, so that the window, which keeps
        // showing Disconnected, never stands over an open port.
        if (MSComm1->PortOpen())
            MSComm1->setPortOpen(false);
        showWriteFailure();
        return;
    }
    showConnected();
}

void Form1::Combo1_Click()
{
    m_reconnector->stop();
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

bool Form1::reconnectOnce()
{
    if (MSComm1->PortOpen())
        return true;
    ErrorTrap trap;
    trap.run([&] { MSComm1->setCommPort(portNumber); });
    if (!trap.failed())
        trap.run([&] { MSComm1->setPortOpen(true); });
    if (!trap.failed())
        trap.run([&] { MSComm1->Output(frames::StatusRequest()); });
    if (trap.failed()) {
        if (MSComm1->PortOpen())
            MSComm1->setPortOpen(false);
        return false; // Disconnected stays; the next try comes later
    }
    showConnected();
    return true;
}

void Form1::setReconnect(bool on)
{
    m_reconnector->setEnabled(on);
}

bool Form1::isReconnecting() const
{
    return m_reconnector->isRetrying();
}
