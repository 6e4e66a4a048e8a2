// SPDX-License-Identifier: MIT
#include "form1.h"

#include "comportfile.h"
#include "errortrap.h"
#include "ipbox.h"
#include "lamp.h"
#include "mscomm.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

namespace {

// Error numbers of start-up's own steps (the port's come from MSComm).
constexpr int FileAccessError = 75;       // the settings file could not be opened or written
constexpr int InvalidPropertyValue = 380; // no list entry has the stored index
constexpr int Overflow = 6;               // stored index + 1 does not fit portNumber

constexpr int portListSize = 10;

} // namespace

void Form1::Form_Load()
{
    // 1, 2: address mode automatic, and the address box's placeholder address.
    ipMode = 1;
    ipBox1->setAddress(QStringLiteral("0.0.0.1"));

    // 3
    fillPortList();

    // 4: from here a failing step is abandoned and start-up goes on with the next.
    ErrorTrap trap;

    // 5 to 7
    selectRememberedPort(trap);

    // 8
    Shape15->setFillStyle(0);
    Shape16->setFillStyle(0);

    // 9: Input hands over everything received so far.
    trap.run([&] { MSComm1->setSettings(QStringLiteral("9600,N,8,1")); });
    trap.run([&] { MSComm1->setInputLen(0); });

    // 10: failures up to here are not reported.

    // 11
    openStartupPort();
}

// 3: the port list, COM1 to COM10, each with its device as tooltip. Adding to an empty list
// would select the first entry; the list must keep no selection and its text.
void Form1::fillPortList()
{
    const QString shownText = Combo1->currentText();
    for (int i = 0; i < portListSize; ++i) {
        Combo1->addItem(QStringLiteral("COM%1").arg(i + 1));
        Combo1->setItemData(i, MSComm1->deviceFor(i + 1), Qt::ToolTipRole);
    }
    Combo1->setCurrentIndex(-1);
    Combo1->setEditText(shownText);
    // The text field is free text: QComboBox would select an entry whose name was typed once
    // editing ends (Return, focus leaving), and report that as a choice. Only a pick from the
    // list chooses a port.
    if (QLineEdit *field = Combo1->lineEdit()) {
        disconnect(field, &QLineEdit::editingFinished, Combo1, nullptr);
        disconnect(field, &QLineEdit::returnPressed, Combo1, nullptr);
    }
}

void Form1::selectRememberedPort(ErrorTrap &trap)
{
    // 5: the remembered entry; a missing or unreadable file starts over with COM1.
    quint8 storedIndex = 0;
    const std::optional<quint8> stored = comport::readStoredIndex();
    if (!stored) {
        selectPortEntry(trap, 0);
        portNumber = *comport::rememberedPort(stored);
        saveSelectedPortEntry(trap);
    } else {
        storedIndex = *stored;
    }

    // 6: 10 to 255 name no entry; the list keeps no selection and the file is not rewritten.
    selectPortEntry(trap, storedIndex);

    // 7: 255 + 1 does not fit the port number, which then keeps its value.
    trap.run([&] {
        const std::optional<quint8> port = comport::rememberedPort(storedIndex);
        if (!port)
            throw NumberedError(Overflow, QStringLiteral("Overflow"));
        portNumber = *port;
    });
    m_model->setPort(portNumber);
}

// Selecting an entry from code runs the selection handler, as the operator's choice does.
void Form1::selectPortEntry(ErrorTrap &trap, int index)
{
    trap.run([&] {
        if (index < 0 || index >= Combo1->count())
            throw NumberedError(InvalidPropertyValue,
                                QStringLiteral("No port list entry %1").arg(index));
        Combo1->setCurrentIndex(index);
        Combo1_Click();
    });
}

void Form1::saveSelectedPortEntry(ErrorTrap &trap)
{
    trap.run([&] {
        if (!comport::writeStoredIndex(Combo1->currentIndex()))
            throw NumberedError(FileAccessError, QStringLiteral("Cannot write COMPORT"));
    });
}

// 11: open the port. Once the port number is refused the open is not tried, so that the
// previously set port is not opened in its place. A network port opens in the background; the
// outcome shows once it is done. With reconnection on, a port that did not open is tried again
// in the background after the message, as a lost one is.
void Form1::openStartupPort()
{
    const auto finish = [this](const PanelModel::Sent &opened) {
        if (opened.ok()) {
            showConnected();
            return;
        }
        showWriteFailure(portFailure(opened.why, opened.error));
        showDisconnected();
        if (portNumber > 0)
            m_model->startRetries();
    };
    m_model->open(portNumber, PanelModel::OpenStatus::Silent, finish);
}
