// SPDX-License-Identifier: MIT
#pragma once

// "Find the matrix…", from the "Serial devices…" dialog: lists the devices a search visits and
// says what it writes to them before it writes anything; "Write and listen" asks them all at
// once (MatrixFinder) and shows each verdict as it comes. Then it offers to map COM1, or a
// COM port the operator picks, to a device that answers as a matrix: the one selected, else
// the first. The device the panel has open is not asked: the panel holds it.

#include <QDialog>
#include <QString>
#include <QStringList>

class MatrixFinder;
class QComboBox;
class QLabel;
class QPushButton;
class QTreeWidget;

class FindDialog : public QDialog
{
    Q_OBJECT

public:
    static constexpr int portCount = 10;

    // inUse: the device the panel has open now, or empty.
    FindDialog(const QStringList &devices, const QString &inUse, QWidget *parent = nullptr);

    QTreeWidget *list() const { return m_list; }
    QPushButton *startButton() const { return m_start; }
    QComboBox *portChoice() const { return m_port; }
    QPushButton *mapButton() const { return m_map; }
    MatrixFinder &finder() const { return *m_finder; }

    // After Map: the port (1..portCount) and the device it is to open.
    int chosenPort() const { return m_chosenPort; }
    QString chosenDevice() const { return m_chosenDevice; }

private:
    void start();
    void showVerdict(int index);
    void offerMapping();
    QString deviceToMap() const;
    void map();

    QStringList m_devices;
    MatrixFinder *m_finder = nullptr;
    QTreeWidget *m_list = nullptr;
    QLabel *m_note = nullptr;
    QPushButton *m_start = nullptr;
    QComboBox *m_port = nullptr;
    QPushButton *m_map = nullptr;
    int m_chosenPort = 0;
    QString m_chosenDevice;
};
