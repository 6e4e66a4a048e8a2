// SPDX-License-Identifier: MIT
#pragma once

// Demo mode: the panel runs against the emulated matrix in its own process. The port that
// start-up will open (the one remembered in COMPORT) is mapped to the emulator's terminal
// before the window is created, so start-up connects to it like to a device.

#include <QString>

class PortMap;
class PtyHost;

namespace demo {

// The COM port number start-up opens: the remembered list index + 1, COM1 when COMPORT is
// missing; 0 when the stored index leaves start-up no port to open.
int rememberedPort();

// Opens host's terminal and maps the remembered port to it in ports. False, with the reason in
// *error, when no terminal could be opened.
bool start(PtyHost &host, PortMap &ports, QString *error = nullptr);

} // namespace demo
