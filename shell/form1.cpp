// SPDX-License-Identifier: MIT
#include "form1.h"

#include "colorbutton.h"
#include "lamp.h"
#include "mscomm.h"
#include "pagemenu.h"
#include "vocabulary.h"

#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <utility>

Form1::Form1(const PortMap &ports, QWidget *parent) : QWidget(parent), m_ports(ports)
{
    createControls();
    connectHandlers();
    setUpDeviceChoice();
    setUpPresetChoice();
}

Form1::~Form1()
{
    showOpening(false);
}

ControlArray<QRadioButton> &Form1::switchRow(int output)
{
    return const_cast<ControlArray<QRadioButton> &>(std::as_const(*this).switchRow(output));
}

const ControlArray<QRadioButton> &Form1::switchRow(int output) const
{
    // By output: "ALL" first, then Out1..Out4.
    static_assert(vocabulary::allOutputs == 0);
    static constexpr ControlArray<QRadioButton> Form1::*rows[vocabulary::rowCount] = {
        &Form1::Option7, &Form1::Option3, &Form1::Option4, &Form1::Option5, &Form1::Option6};
    Q_ASSERT(vocabulary::isRow(output));
    return this->*rows[output];
}

void Form1::connectHandlers()
{
    connect(Command7, &QPushButton::clicked, this, &Form1::Command7_Click);
    connect(Combo1, &QComboBox::activated, this, &Form1::Combo1_Click);
    connect(Timer2, &QTimer::timeout, this, &Form1::Timer2_Timer);
    connect(MSComm1, &MSComm::OnComm, this, &Form1::MSComm1_OnComm);
    connect(m_model, &PanelModel::changed, this, &Form1::showModelState);
    connect(m_model, &PanelModel::writeFailed, this, &Form1::reportWriteFailure);
    connect(m_model, &PanelModel::addressConfirmed, this, &Form1::showAddressConfirmation);
    connect(m_model, &PanelModel::addressChosen, this, &Form1::showAddressChosen);

    // An option button's Click runs whenever it becomes selected, by a click or by code.
    auto onSelect = [this](const ControlArray<QRadioButton> &options, void (Form1::*handler)(int)) {
        for (const auto &[index, option] : options) {
            connect(option, &QRadioButton::toggled, this, [this, handler, index = index](bool on) {
                if (on && !m_drawing)
                    (this->*handler)(index);
            });
        }
    };
    onSelect(Option1, &Form1::Option1_Click);
    onSelect(Option2, &Form1::Option2_Click);
    onSelect(Option3, &Form1::Option3_Click);
    onSelect(Option4, &Form1::Option4_Click);
    onSelect(Option5, &Form1::Option5_Click);
    onSelect(Option6, &Form1::Option6_Click);
    onSelect(Option7, &Form1::Option7_Click);
    onSelect(Option9, &Form1::Option9_Click);
    connect(Option10, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            Option10_Click();
    });
    connect(Option11, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            Option11_Click();
    });

    for (const auto &[index, button] : Command8)
        connect(button, &QPushButton::clicked, this,
                [this, index = index] { Command8_Click(index); });
    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &Form1::Command4_Click);
    connect(Command5, &QPushButton::clicked, this, &Form1::Command5_Click);
    connect(Command6, &QPushButton::clicked, this, &Form1::Command6_Click);
    connect(Command9, &QPushButton::clicked, this, &Form1::Command9_Click);
}

void Form1::showConnected()
{
    Command7->setText(QStringLiteral("Disconnect"));
    Shape15->setFillStyle(1);
    Shape16->setFillStyle(0);
}

void Form1::showDisconnected()
{
    Command7->setText(QStringLiteral("Connect"));
    Shape15->setFillStyle(0);
    Shape16->setFillStyle(1);
}

void Form1::showWriteFailure(const MessageDetail &detail)
{
    showMessageBox(QStringLiteral("ERROR"), QStringLiteral("open serial port fail！ "), detail);
}

void Form1::showAddressConfirmation()
{
    showMessageBox(QString(), QStringLiteral("Set IP address successfully！ "));
}

QByteArray Form1::whyRemoteCommandsWait() const
{
    return QApplication::activeModalWidget()
               ? QByteArrayLiteral("a dialog in the window waits for the operator")
               : QByteArray();
}

void Form1::addSwitchPageEntries(std::function<void(QMenu &menu)> entries)
{
    switchPageMenu->addEntries(std::move(entries));
}

Form1::MessageReporter Form1::setMessageReporter(MessageReporter reporter)
{
    return std::exchange(m_messageReporter, std::move(reporter));
}

void Form1::showMessageBox(const QString &title, const QString &text, const MessageDetail &detail)
{
    if (m_messageReporter) {
        m_messageReporter(title, text, detail);
        return;
    }
    const MSComm::ReplyHold hold(*MSComm1);
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, this);
    box.exec();
}

void Form1::sendFrameOrReport(const QByteArray &frame)
{
    reportWriteFailure(m_model->send(frame));
}

void Form1::reportWriteFailure(const PanelModel::Sent &sent)
{
    if (!sent.ok())
        showWriteFailure(portFailure(sent.why, sent.error));
}
