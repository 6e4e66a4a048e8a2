// SPDX-License-Identifier: MIT
#pragma once

#include "portmap.h"
#include "serialdevices.h"

#include <QDialog>
#include <QList>
#include <QStringList>

#include <map>

class QComboBox;
class QGridLayout;
class QLabel;
class QPushButton;

// "Serial devices…": which device each of COM1 to COM10 opens. Each port has an editable
// list of the devices found now (stable path first, with description, manufacturer and
// serial number); a path can be typed as well, and an empty field stands for the port's
// default device. "Find the matrix…" asks the devices found and those the ports name which
// one the matrix answers on, and puts the one the operator maps into its port's field. The
// dialog only collects the choice; whoever opened it saves it.
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

    // The device the panel has open now: "Find the matrix…" does not ask it.
    void setDeviceInUse(const QString &device) { m_deviceInUse = device; }
    QPushButton *findButton() const { return m_find; }

private:
    QGridLayout *createPortFields(const PortMap &current, const QList<SerialDevice> &found);
    QComboBox *createField(int port, const QString &initial, const QList<SerialDevice> &found);
    void checkAndAccept();
    void findMatrix();

    QList<QComboBox *> m_fields;
    QList<QString> m_initial;
    QLabel *m_problem = nullptr;
    QPushButton *m_find = nullptr;
    QStringList m_toVisit; // by "Find the matrix…"
    QString m_deviceInUse;
};
