// SPDX-License-Identifier: MIT
#pragma once

class QAbstractButton;

// Clicks a button with the left mouse button where the operator would. A radio button takes
// clicks only on its indicator and caption (QStyle::SE_RadioButtonClickRect), and its centre
// may lie outside them, so it is clicked in the middle of that area; any other button is
// clicked in its centre. Like a real click, it does nothing on a disabled button.
void clickAsOperator(QAbstractButton *button);
