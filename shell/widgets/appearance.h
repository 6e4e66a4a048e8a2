// SPDX-License-Identifier: MIT
#pragma once

// The look the window is laid out for: the Fusion style everywhere (so back colours and the
// fixed pixel layout look the same on every platform). Call once after QApplication exists.
void setUpPanelAppearance();
