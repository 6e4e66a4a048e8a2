// SPDX-License-Identifier: MIT
#include "windowcontrols.h"

WindowControls::WindowControls(Form1 &form)
    : Command7(form.Command7), Frame2(form.Frame2), Label6(form.Label6), Label7(form.Label7),
      Shape15(form.Shape15), Shape16(form.Shape16), Frame3(form.Frame3), Combo1(form.Combo1),
      Command6(form.Command6), SSTab1(form.SSTab1), Timer2(form.Timer2), Frame5(form.Frame5),
      Frame7(form.Frame7), Frame8(form.Frame8), Option2(form.Option2), Frame6(form.Frame6),
      Option3(form.Option3), Option4(form.Option4), Option5(form.Option5), Option6(form.Option6),
      Option7(form.Option7), Option9(form.Option9), Text1(form.Text1), Command8(form.Command8),
      switchPageMenu(form.switchPageMenu), Frame4(form.Frame4), Frame9(form.Frame9),
      Option1(form.Option1), Command1(form.Command1), Command3(form.Command3),
      Command4(form.Command4), Command5(form.Command5), Command9(form.Command9),
      Option10(form.Option10), Option11(form.Option11), Frame1(form.Frame1), ipBox1(form.ipBox1),
      Label1(form.Label1), Command2(form.Command2), SSTab1Options(form.SSTab1Options),
      serialDevicesAction(form.serialDevicesAction),
      namesAndPresetsAction(form.namesAndPresetsAction), findDevices(form.findDevices), m_form(form)
{
}

const ControlArray<QRadioButton> &WindowControls::switchRow(int output) const
{
    return m_form.switchRow(output);
}
