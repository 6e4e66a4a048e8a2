// SPDX-License-Identifier: MIT
// The panel as the program starts it (appearance, Form1, Form_Load opening its port, show),
// on a pseudo-terminal of its own for COM1 to COM10. Prints "shown" after its first frame
// and ends. Start-up writes the COMPORT file into the working directory: it runs in a scratch
// folder of its own, wherever it was started.

#include "appearance.h"
#include "firstframe.h"
#include "form1.h"
#include "ptypair.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

int main(int argc, char **argv)
{
    startupPhase("main");
    QTemporaryDir scratch;
    if (!scratch.isValid() || !QDir::setCurrent(scratch.path()))
        return 1;
    PtyPair device;
    PortMap ports;
    for (int port = 1; port <= 10; ++port)
        ports.map(port, device.slavePath());

    QApplication app(argc, argv);
    startupPhase("QApplication");
    setUpPanelAppearance();
    Form1 form(ports);
    startupPhase("Form1 created");
    form.Form_Load();
    startupPhase("Form_Load done");
    new FirstFrame(&form);
    form.show();
    startupPhase("show() returned");
    return app.exec();
}
