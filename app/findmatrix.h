// SPDX-License-Identifier: MIT
#pragma once

// velquor --find [--yes]: Find the matrix from the command line, without a display. Says
// which devices it asks and what it writes to them, asks to go on unless --yes is given, and
// prints one line for each device, its path, a tab and the verdict. The exit status is 0 when
// some device answers as a matrix, 1 when none does or nothing was asked.

class PortMap;

namespace findmatrix {

int run(int &argc, char **argv, const PortMap &ports, bool confirmed);

} // namespace findmatrix
