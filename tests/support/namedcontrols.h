#pragma once

#include <QMap>
#include <QString>

class Form1;
class QWidget;

// The window's controls under the names the window gives them: "Form1", "Command7",
// "Option3(2)", "Frame6(4)", "Label1(6)".
QMap<QString, QWidget *> namedControls(Form1 &form);

// The control a widget is or belongs to: the tab strip is "SSTab1", the address box's editor
// "ipBox1", the text field of the port list "Combo1". Empty when it belongs to none.
QString controlName(Form1 &form, const QWidget *widget);

// What a control shows as its caption or text: a button's text, a frame's title, a label's
// or text box's text, the port list's current text; empty for the rest.
QString captionOf(const QWidget *widget);
