// SPDX-License-Identifier: MIT
#include "form1.h"

#include "comportfile.h"
#include "mscomm.h"

#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QPushButton>
#include <QTimer>

void Form1::Command7_Click()
{
    if (m_showsOpening)
        return; // Connect is disabled: the window waits for the open it started

    // The port's own state decides, not the caption. A reconnect try under way gives way.
    if (m_model->comm().PortOpen()) {
        m_model->close();
        showDisconnected();
        return;
    }
    // The window keeps showing Disconnected when the open or its status request fails, and
    // never stands over an open port.
    m_model->open(portNumber, PanelModel::OpenStatus::Ask, [this](const PanelModel::Sent &opened) {
        if (!opened.ok()) {
            showWriteFailure(portFailure(opened.why, opened.error));
            return;
        }
        showConnected();
    });
}

void Form1::Combo1_Click()
{
    const bool wasOpen = m_model->comm().PortOpen() || m_model->comm().PortOpening();
    m_model->close(); // and the retries end: the operator decides now
    if (wasOpen)
        showDisconnected();
    const int index = Combo1->currentIndex();
    if (index >= 0 && index < Combo1->count())
        portNumber = quint8(index + 1);
    m_model->setPort(portNumber);
    // Saved on every selection; a file that cannot be written keeps its old line.
    comport::writeStoredIndex(index);
}

void Form1::Timer2_Timer()
{
    Timer2->stop();
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

Form1::MessageDetail Form1::portFailure(const QString &why, int error) const
{
    return MessageDetail{m_model->portText(portNumber), why, error};
}

void Form1::setReconnect(bool on)
{
    m_model->setReconnect(on);
}

bool Form1::isReconnecting() const
{
    return m_model->isReconnecting();
}
