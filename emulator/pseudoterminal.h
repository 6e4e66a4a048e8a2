// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <optional>

// A freshly opened pseudo-terminal: the master (non-blocking, close-on-exec) plays the
// device; the slave is the line the panel opens as its COM port. The slave's line is raw at
// 9600 8N1: no echo, no CR/LF translation. The caller owns both descriptors.
struct PseudoTerminal
{
    int master = -1;
    int slave = -1;
    QString slavePath;
};

// nullopt when the system refuses; *error (when given) then names the call and the reason.
std::optional<PseudoTerminal> openPseudoTerminal(QString *error = nullptr);
