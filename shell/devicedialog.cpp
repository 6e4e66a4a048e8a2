// SPDX-License-Identifier: MIT
#include "devicedialog.h"

#include "finddialog.h"
#include "matrixfinder.h"
#include "printabletext.h"
#include "usersettings.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int pathRole = Qt::UserRole;

// "USB serial, Maker, serial A1, /dev/ttyUSB0": what tells one adapter from another.
QString detailsOf(const SerialDevice &device)
{
    QStringList details;
    for (const QString &text : {device.description, device.manufacturer})
        if (!text.isEmpty())
            details.append(text);
    if (!device.serialNumber.isEmpty())
        details.append(QStringLiteral("serial %1").arg(device.serialNumber));
    if (!device.stablePath.isEmpty())
        details.append(device.systemPath);
    return details.join(QStringLiteral(", "));
}

// An offered device: its path, then its details.
QString offerText(const SerialDevice &device)
{
    const QString details = detailsOf(device);
    return details.isEmpty()
               ? device.preferredPath()
               : QStringLiteral("%1  \u2014  %2").arg(device.preferredPath(), details);
}

// The devices found now, each with what tells it from the others.
QLabel *createFoundNote(const QList<SerialDevice> &found)
{
    QStringList foundLines;
    for (const SerialDevice &device : found)
        foundLines.append(offerText(device));
    auto *foundNote = new QLabel(
        found.isEmpty()
            ? QStringLiteral("No serial device found now. A path can still be typed.")
            : QStringLiteral("Found now:\n  ") + foundLines.join(QStringLiteral("\n  ")));
    foundNote->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return foundNote;
}

} // namespace

DeviceDialog::DeviceDialog(const PortMap &current, const QList<SerialDevice> &found,
                           QWidget *parent)
    : QDialog(parent), m_toVisit(devicesToVisit(found, current))
{
    setWindowTitle(QStringLiteral("Serial devices"));

    QGridLayout *grid = createPortFields(current, found);
    QLabel *foundNote = createFoundNote(found);
    m_problem = new QLabel;
    m_problem->setObjectName(QStringLiteral("problem"));
    m_problem->setStyleSheet(QStringLiteral("color: #b00000"));
    m_problem->hide();
    auto *note = new QLabel(
        QStringLiteral("Save keeps the choice in the settings file. It applies from the next "
                       "Connect; an open port stays open."));
    note->setWordWrap(true);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &DeviceDialog::checkAndAccept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    m_find =
        buttons->addButton(QStringLiteral("&Find the matrix\u2026"), QDialogButtonBox::ActionRole);
    connect(m_find, &QPushButton::clicked, this, &DeviceDialog::findMatrix);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(foundNote);
    layout->addWidget(note);
    layout->addWidget(m_problem);
    layout->addWidget(buttons);
}

// A row for each port: its name and its field.
QGridLayout *DeviceDialog::createPortFields(const PortMap &current,
                                            const QList<SerialDevice> &found)
{
    auto *grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Port")), 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("Device (pick one found now, or type a path)")), 0,
                    1);
    for (int port = 1; port <= portCount; ++port) {
        const QString initial = current.isMapped(port) ? current.deviceFor(port) : QString();
        QComboBox *field = createField(port, initial, found);
        auto *label = new QLabel(QStringLiteral("COM%1").arg(port));
        label->setBuddy(field);
        grid->addWidget(label, port, 0);
        grid->addWidget(field, port, 1);
        m_fields.append(field);
        m_initial.append(initial);
    }
    return grid;
}

// The field of one port: the devices found now to pick from, the port's device to start with.
QComboBox *DeviceDialog::createField(int port, const QString &initial,
                                     const QList<SerialDevice> &found)
{
    auto *field = new QComboBox;
    field->setObjectName(QStringLiteral("COM%1").arg(port));
    field->setEditable(true);
    field->setInsertPolicy(QComboBox::NoInsert);
    // Completion would fill in an offered entry's details along with its path.
    field->setCompleter(nullptr);
    field->setMinimumContentsLength(48);
    field->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    for (const SerialDevice &device : found)
        field->addItem(offerText(device), device.preferredPath());
    // The field holds the path alone, whichever entry was picked.
    connect(field, &QComboBox::activated, field, [field](int index) {
        field->setEditText(field->itemData(index, pathRole).toString());
    });
    field->setCurrentIndex(-1);
    field->setEditText(initial);
    field->lineEdit()->setPlaceholderText(PortMap::defaultDevice(port));
    field->setToolTip(
        QStringLiteral("Empty: COM%1 opens %2").arg(port).arg(PortMap::defaultDevice(port)));
    return field;
}

QString DeviceDialog::device(int port) const
{
    return field(port)->currentText().trimmed();
}

std::map<int, QString> DeviceDialog::changes() const
{
    std::map<int, QString> changed;
    for (int port = 1; port <= portCount; ++port) {
        if (device(port) != m_initial.at(port - 1))
            changed[port] = device(port);
    }
    return changed;
}

void DeviceDialog::findMatrix()
{
    FindDialog finder(m_toVisit, m_deviceInUse, this);
    if (finder.exec() != QDialog::Accepted)
        return;
    QComboBox *mapped = field(finder.chosenPort());
    mapped->setEditText(finder.chosenDevice());
    mapped->setFocus();
}

void DeviceDialog::checkAndAccept()
{
    for (int port = 1; port <= portCount; ++port) {
        const QString text = device(port);
        if (!text.isEmpty() && !UserSettings::isDevicePath(text)) {
            m_problem->setText(
                fitsPathLimit(text)
                    ? QStringLiteral("COM%1: \"%2\" is not a device path.")
                          .arg(port)
                          .arg(printableText(text, 60))
                    : QStringLiteral("COM%1: the path is longer than the system's limit of %2 "
                                     "bytes.")
                          .arg(port)
                          .arg(maxPathBytes));
            m_problem->show();
            field(port)->setFocus();
            return;
        }
    }
    accept();
}
