// SPDX-License-Identifier: MIT
#pragma once

// "Open on a phone…": the web page's address, with its access key, as text to copy and as a
// QR code for a phone's camera. The entry goes into the "Switch" page's context menu.

#include <QDialog>
#include <QImage>
#include <QString>

class Form1;

// The QR code of text, one pixel a module with a quiet zone of four modules, black on white;
// a null image when the text does not fit in one.
QImage qrCodeImage(const QString &text);

class PhoneDialog : public QDialog
{
    Q_OBJECT

public:
    PhoneDialog(const QString &address, QWidget *parent = nullptr);
};

// Adds "Open on a phone…" to the window's "Switch" page menu, opening the dialog for address.
void addOpenOnPhone(Form1 &form, const QString &address);
