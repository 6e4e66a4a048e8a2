// SPDX-License-Identifier: MIT
#include "linktrace.h"

Q_LOGGING_CATEGORY(lcSerial, "velquor.serial", QtInfoMsg)
