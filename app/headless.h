// SPDX-License-Identifier: MIT
#pragma once

// The panel without a window (--headless): no widgets and no QApplication, the panel model
// alone under the remote surfaces.

class PanelModel;

namespace headless {

// Start-up as the window's, without its controls: the line settings, the port remembered in
// COMPORT (COM1, and the file written, when there is none), and the open; a port that does
// not open is tried again in the background when reconnection is on. What the window would
// show in a message box is a line on standard error from then on.
void start(PanelModel &model);

} // namespace headless
