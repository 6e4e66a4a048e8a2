// SPDX-License-Identifier: MIT
#include "colorbutton.h"
#include "commandsinflight.h"
#include "errortrap.h"
#include "form1.h"
#include "mscomm.h"
#include "replydecoder.h"
#include "vocabulary.h"

#include <QRadioButton>
#include <QScopedValueRollback>

namespace {

void setEnabled(const ControlArray<QRadioButton> &options, bool enabled)
{
    for (const auto &[index, option] : options)
        option->setEnabled(enabled);
}

// Brings the window in line with one decoded reply. A selection it changes runs that
// button's Click handler, which sends the reported value back to the device once, unless the
// report confirms a command of this panel that is still in flight.
class WindowSink final : public ReplySink
{
public:
    using Setting = CommandsInFlight::Setting;
    using Kind = CommandsInFlight::Kind;

    WindowSink(Form1 &form, CommandsInFlight &inFlight, bool &showingConfirmation)
        : m_form(form), m_inFlight(inFlight), m_showingConfirmation(showingConfirmation)
    {
    }

    void outputStatus(int output, int inputDigit) override
    {
        m_form.Command8[vocabulary::outputIndex(output)]->setBackColor(ColorButton::green);
        const quint8 input = quint8(vocabulary::inputAt(inputDigit));
        show({Kind::Route, output, input}, [&] {
            switch (output) {
            case 1:
                m_form.out1(input);
                break;
            case 2:
                m_form.out2(input);
                break;
            case 3:
                m_form.out3(input);
                break;
            case 4:
                m_form.out4(input);
                break;
            }
        });
    }

    void outputWithoutDisplay(int output) override
    {
        m_form.Command8[vocabulary::outputIndex(output)]->setBackColor(ColorButton::red);
    }

    void wallInput(int input) override
    {
        show({Kind::WallInput, 0, vocabulary::inputAt(input)},
             [&] { m_form.Option9[input]->setChecked(true); });
    }

    void mode(int mode) override
    {
        show({Kind::Mode, 0, mode}, [&] { m_form.Option2[mode]->setChecked(true); });
        if (mode == 0) {
            setEnabled(m_form.Option9, false);
            for (const int output : vocabulary::rows)
                setEnabled(m_form.switchRow(output), true);
        } else {
            for (const int output : vocabulary::rows)
                setEnabled(m_form.switchRow(output), false);
            setEnabled(m_form.Option9, true);
        }
    }

    void resolution(int index) override
    {
        show({Kind::Resolution, 0, index}, [&] { m_form.Option1[index]->setChecked(true); });
    }

    void addressConfirmed() override { m_form.showAddressConfirmation(); }

private:
    // Shows reported; a selection it changes is answered unless it confirms a command in
    // flight.
    template <typename Select> void show(const Setting &reported, Select select)
    {
        const QScopedValueRollback quiet(m_showingConfirmation, m_inFlight.confirm(reported));
        select();
    }

    Form1 &m_form;
    CommandsInFlight &m_inFlight;
    bool &m_showingConfirmation;
};

// Shows a reported route (input counted from 1) on one switching row; inputs other than
// 1..4 leave the row as it is.
void showRoute(const ControlArray<QRadioButton> &row, quint8 input)
{
    if (vocabulary::isInput(input))
        row[vocabulary::inputIndex(input)]->setChecked(true);
}

} // namespace

// One reply line: MSComm1 raises the event once for each line the device sent.
void Form1::MSComm1_OnComm()
{
    QByteArray line;
    ErrorTrap trap;
    trap.run([&] { line = MSComm1->Input(); });
    WindowSink sink(*this, *m_inFlight, m_showingConfirmation);
    decodeReply(line, sink);
}

void Form1::out1(quint8 input)
{
    showRoute(switchRow(1), input);
}

void Form1::out2(quint8 input)
{
    showRoute(switchRow(2), input);
}

void Form1::out3(quint8 input)
{
    showRoute(switchRow(3), input);
}

void Form1::out4(quint8 input)
{
    showRoute(switchRow(4), input);
}
