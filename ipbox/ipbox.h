// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>

class IpAddressEdit;

// The dotted-quad address box: a thin wrapper around a four-field address editor that covers
// the whole box. The box keeps no copy of the address; Address() asks the editor, so what the
// operator typed is what it returns. setAddress() validates the text and throws NumberedError
// (102 bad format, 13 type mismatch, 6 overflow) to the caller; the editor is changed only
// after all four parts have converted, so a failed write leaves the previous address.
class ipBox : public QWidget
{
    Q_OBJECT

public:
    explicit ipBox(QWidget *parent = nullptr);

    QString Address() const;
    void setAddress(const QString &NewIP);

    qint16 CountIF(const QString &lzExpr, const QString &nChar) const;

    // Creates the editor child over the whole box in the application's default GUI font.
    void CreateTextBox();

    IpAddressEdit *editor() const { return m_edit; }

    // 2100 x 345 twips.
    QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void UserControl_Initialize();
    void UserControl_Resize();

    IpAddressEdit *m_edit = nullptr; // null until CreateTextBox has run
};
