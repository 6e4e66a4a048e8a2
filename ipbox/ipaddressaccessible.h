#pragma once

class IpAddressEdit;

// What a screen reader sees of the address editor: one control named "IP address" (or the
// editor's accessible name) whose value is the dotted address, with the four fields as its
// children, "IP address field 1" to "IP address field 4", each with its number as value.

// Makes the accessibility layer describe every IpAddressEdit this way; safe to call often.
void installIpAddressAccessibility();

// Tells the screen reader that the caret went into another field of a focused editor.
void announceCurrentField(IpAddressEdit *edit);
