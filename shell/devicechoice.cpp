// SPDX-License-Identifier: MIT
#include "form1.h"

#include "devicedialog.h"
#include "mscomm.h"
#include "usersettings.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>

void Form1::setUpDeviceChoice()
{
    serialDevicesAction = new QAction(QStringLiteral("Serial devices\u2026"), this);
    serialDevicesAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    serialDevicesAction->setShortcutContext(Qt::WindowShortcut);
    addAction(serialDevicesAction); // the shortcut works anywhere in the window
    connect(serialDevicesAction, &QAction::triggered, this, &Form1::showSerialDevices);

    // The port list's context menu; over its text field the field's own editing entries come
    // first.
    Combo1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Combo1, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        QMenu menu;
        menu.addAction(serialDevicesAction);
        menu.exec(Combo1->mapToGlobal(at));
    });
    if (QLineEdit *field = Combo1->lineEdit()) {
        field->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(field, &QWidget::customContextMenuRequested, this, [this, field](const QPoint &at) {
            std::unique_ptr<QMenu> menu(field->createStandardContextMenu());
            menu->addSeparator();
            menu->addAction(serialDevicesAction);
            menu->exec(field->mapToGlobal(at));
        });
    }
}

void Form1::showSerialDevices()
{
    // As behind every modal box: replies wait, undecoded and unanswered, until it is closed.
    const MSComm::ReplyHold hold(*MSComm1);
    DeviceDialog dialog(MSComm1->portMap(), findDevices(), this);
    if (MSComm1->PortOpen())
        dialog.setDeviceInUse(MSComm1->deviceFor(MSComm1->CommPort()));
    if (dialog.exec() != QDialog::Accepted)
        return;
    const std::map<int, QString> changes = dialog.changes();
    if (changes.empty())
        return;

    // The file is read again: entries that came from --port for this run stay out of it.
    UserSettings settings;
    settings.load();
    PortMap ports = MSComm1->portMap();
    for (const auto &[port, device] : changes) {
        settings.setPort(port, device);
        if (device.isEmpty())
            ports.unmap(port);
        else
            ports.map(port, device);
    }
    // The choice holds for this run even when it cannot be kept.
    MSComm1->setPortMap(ports);
    showPortDevices();
    QString why;
    if (!settings.save(&why)) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Serial devices"),
                        QStringLiteral("The choice applies until the program ends, but it "
                                       "could not be saved: %1.")
                            .arg(why),
                        QMessageBox::Ok, this);
        box.exec();
    }
}

void Form1::showPortDevices()
{
    for (int i = 0; i < Combo1->count(); ++i)
        Combo1->setItemData(i, MSComm1->deviceFor(i + 1), Qt::ToolTipRole);
}
