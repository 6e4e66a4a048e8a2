// SPDX-License-Identifier: MIT
#pragma once

#include <QLoggingCategory>

// The serial trace: every frame written and every reply read, as hex, and what the links do
// on their way up and down. Off unless switched on (--trace, or
// QT_LOGGING_RULES="velquor.serial.debug=true").
Q_DECLARE_LOGGING_CATEGORY(lcSerial)
