// SPDX-License-Identifier: MIT
#pragma once

#include "portmap.h"
#include "serialdevices.h"

#include <QDialog>
#include <QList>

#include <map>

class QComboBox;
class QGridLayout;
class QLabel;

// "Serial devices…": which device each of COM1 to COM10 opens. Each port has an editable
// list of the devices found now (stable path first, with description, manufacturer and
// serial number); a path can be typed as well, and an empty field stands for the port's
// default device. The dialog only collects the choice; whoever opened it saves it.
class DeviceDialog : public QDialog
{
    Q_OBJECT

public:
    static constexpr int portCount = 10;

    // current: what each port opens now; found: the devices to offer.
    DeviceDialog(const PortMap &current, const QList<SerialDevice> &found,
                 QWidget *parent = nullptr);

    // The field of COM<port>, 1 to portCount (its object name is "COM<port>").
    QComboBox *field(int port) const { return m_fields.at(port - 1); }
    // The device now given for port: the field's text without surrounding blanks.
    QString device(int port) const;
    // The ports whose field the operator changed, with the new device (empty: the default).
    std::map<int, QString> changes() const;

private:
    QGridLayout *createPortFields(const PortMap &current, const QList<SerialDevice> &found);
    QComboBox *createField(int port, const QString &initial, const QList<SerialDevice> &found);
    void checkAndAccept();

    QList<QComboBox *> m_fields;
    QList<QString> m_initial;
    QLabel *m_problem = nullptr;
};
