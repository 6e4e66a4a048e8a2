// SPDX-License-Identifier: MIT
#include "fixedaddress.h"
#include "form1.h"
#include "frames.h"
#include "ipbox.h"

#include <QGroupBox>
#include <QRadioButton>

// The address options share one group with "Martix" and "Video wall": choosing one clears
// the mode shown.
void Form1::Option10_Click()
{
    Frame1->hide();
    ipMode = 1;
    m_model->clearShownMode();
}

void Form1::Option11_Click()
{
    Frame1->show();
    ipMode = 0;
    m_model->clearShownMode();
}

// "OK" decides by ipMode alone: "Martix" and "Video wall" share the address options' group
// and clear them without changing the chosen address mode.
void Form1::Command2_Click()
{
    if (ipMode == 1) {
        sendFrameOrReport(frames::SetAutoAddress());
        return;
    }
    // The address box only ever holds four groups of 0..255; anything else sends nothing
    // rather than a truncated or wrapped address.
    const auto octets = fixedAddressOctets(ipBox1->Address());
    if (octets)
        sendFrameOrReport(frames::SetFixedAddress(*octets));
}

// As the operator does it: the option (its handler shows or hides the address and clears the
// mode shown), then the address typed.
void Form1::showAddressChosen(bool automatic, const QString &address)
{
    (automatic ? Option10 : Option11)->setChecked(true);
    if (!automatic)
        ipBox1->setAddress(address);
}
