// SPDX-License-Identifier: MIT
#include "finddialog.h"

#include "matrixfinder.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int verdictColumn = 1;

bool sameDevice(const QString &a, const QString &b)
{
    const auto canonical = [](const QString &path) {
        const QString resolved = QFileInfo(path).canonicalFilePath();
        return resolved.isEmpty() ? path : resolved;
    };
    return !a.isEmpty() && !b.isEmpty() && canonical(a) == canonical(b);
}

// What a search will do, above the list.
QString whatIsDone(int devices)
{
    if (devices == 0)
        return QStringLiteral("No serial device to ask: none is found now, and the port map "
                              "names none that the panel does not have open.");
    return QStringLiteral("Write and listen writes four bytes (04 55 20 77, a status request) "
                          "to %1 at 9600 8N1 and listens %2 ms for an answer. A device that "
                          "another program holds is left alone.")
        .arg(devices == 1 ? QStringLiteral("this device")
                          : QStringLiteral("each of these %1 devices").arg(devices))
        .arg(MatrixFinder::listenMs);
}

} // namespace

FindDialog::FindDialog(const QStringList &devices, const QString &inUse, QWidget *parent)
    : QDialog(parent), m_finder(new MatrixFinder(this))
{
    setWindowTitle(QStringLiteral("Find the matrix"));

    m_list = new QTreeWidget;
    m_list->setColumnCount(2);
    m_list->setHeaderLabels({QStringLiteral("Device"), QStringLiteral("Answer")});
    m_list->setRootIsDecorated(false);
    m_list->setAccessibleName(QStringLiteral("Devices"));
    m_list->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    for (const QString &device : devices) {
        auto *item = new QTreeWidgetItem(m_list, {device, QString()});
        if (sameDevice(device, inUse))
            item->setText(verdictColumn, QStringLiteral("open in this panel, not asked"));
        else
            m_devices.append(device);
    }

    m_note = new QLabel(whatIsDone(int(m_devices.size())));
    m_note->setWordWrap(true);

    m_start = new QPushButton(QStringLiteral("&Write and listen"));
    m_start->setEnabled(!m_devices.isEmpty());
    m_port = new QComboBox;
    m_port->setAccessibleName(QStringLiteral("COM port to map"));
    for (int port = 1; port <= portCount; ++port)
        m_port->addItem(QStringLiteral("COM%1").arg(port), port);
    m_map = new QPushButton(QStringLiteral("&Map"));
    auto *mapping = new QHBoxLayout;
    auto *mapLabel = new QLabel(QStringLiteral("Map the device that answers to"));
    mapLabel->setBuddy(m_port);
    mapping->addWidget(mapLabel);
    mapping->addWidget(m_port);
    mapping->addWidget(m_map);
    mapping->addStretch(1);
    for (QWidget *control : {static_cast<QWidget *>(m_port), static_cast<QWidget *>(m_map)})
        control->setEnabled(false);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    buttons->addButton(m_start, QDialogButtonBox::ActionRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_start, &QPushButton::clicked, this, &FindDialog::start);
    connect(m_map, &QPushButton::clicked, this, &FindDialog::map);
    connect(m_finder, &MatrixFinder::verdictKnown, this, &FindDialog::showVerdict);
    connect(m_finder, &MatrixFinder::finished, this, &FindDialog::offerMapping);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_note);
    layout->addWidget(m_list, 1);
    layout->addLayout(mapping);
    layout->addWidget(buttons);
    resize(640, 320);
}

void FindDialog::start()
{
    m_start->setEnabled(false);
    m_port->setEnabled(false);
    m_map->setEnabled(false);
    for (int row = 0; row < m_list->topLevelItemCount(); ++row) {
        QTreeWidgetItem *item = m_list->topLevelItem(row);
        if (m_devices.contains(item->text(0)))
            item->setText(verdictColumn, QStringLiteral("asking\u2026"));
    }
    m_finder->start(m_devices);
}

void FindDialog::showVerdict(int index)
{
    const QString device = m_finder->devices().at(index);
    const QList<QTreeWidgetItem *> items = m_list->findItems(device, Qt::MatchExactly, 0);
    if (const std::optional<ProbeVerdict> verdict = m_finder->verdict(index);
        verdict && !items.isEmpty())
        items.first()->setText(verdictColumn, verdict->text());
}

void FindDialog::offerMapping()
{
    m_start->setEnabled(true);
    const bool found = m_finder->foundMatrix();
    m_port->setEnabled(found);
    m_map->setEnabled(found);
    if (found)
        m_map->setFocus();
}

// The selected device when it answers as a matrix, else the first that does.
QString FindDialog::deviceToMap() const
{
    QString first;
    for (int i = 0; i < m_finder->devices().size(); ++i) {
        const std::optional<ProbeVerdict> verdict = m_finder->verdict(i);
        if (!verdict || verdict->kind != ProbeVerdict::Kind::Matrix)
            continue;
        const QString &device = m_finder->devices().at(i);
        if (m_list->currentItem() && m_list->currentItem()->text(0) == device)
            return device;
        if (first.isEmpty())
            first = device;
    }
    return first;
}

void FindDialog::map()
{
    m_chosenDevice = deviceToMap();
    if (m_chosenDevice.isEmpty())
        return;
    m_chosenPort = m_port->currentData().toInt();
    accept();
}
