// SPDX-License-Identifier: MIT
#pragma once

#include "ipaddressedit.h"

// What a screen reader sees of the address editor: one control named "IP address" (or the
// editor's accessible name) whose value and description are the dotted address, with the four
// fields as its children, "IP address field 1" to "IP address field 4": editable text whose
// text and value are the field's digits.

// Makes the accessibility layer describe every IpAddressEdit this way; safe to call often.
void installIpAddressAccessibility();

// Tells the screen reader which fields changed from the texts before (the digits removed and
// typed) and that the address did.
void announceFieldChanges(IpAddressEdit *edit, const QString (&before)[IpAddressEdit::FieldCount]);

// Tells the screen reader that the caret went into another field of a focused editor.
void announceCurrentField(IpAddressEdit *edit);
