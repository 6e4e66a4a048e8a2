// SPDX-License-Identifier: MIT
#include "presetdialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

int placeOf(Side side, int number)
{
    return side == Side::Input ? number - 1 : vocabulary::inputCount + number - 1;
}

// "Lecture: IN2 IN1 IN4 IN3", the inputs of Out1 to Out4.
QString presetText(const Preset &preset)
{
    QStringList inputs;
    for (const int input : preset.routes)
        inputs.append(sideCaption(Side::Input, input));
    return QStringLiteral("%1: %2").arg(preset.name, inputs.join(QLatin1Char(' ')));
}

QPushButton *button(const QString &text, const char *objectName)
{
    auto *created = new QPushButton(text);
    created->setObjectName(QLatin1String(objectName));
    created->setAutoDefault(false);
    return created;
}

} // namespace

PresetDialog::PresetDialog(PresetBook &book, std::function<Routes()> shownRoutes,
                           std::function<void(int)> recall, QWidget *parent)
    : QDialog(parent), m_book(book), m_shownRoutes(std::move(shownRoutes)),
      m_recall(std::move(recall))
{
    setWindowTitle(QStringLiteral("Names and presets"));
    m_problem = new QLabel;
    m_problem->setObjectName(QStringLiteral("problem"));
    m_problem->setStyleSheet(QStringLiteral("color: #b00000"));
    m_problem->setWordWrap(true);
    m_problem->hide();
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    // Return in a name field saves that field; it must not close the dialog as well.
    buttons->button(QDialogButtonBox::Close)->setAutoDefault(false);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(createNames());
    layout->addWidget(createPresets());
    layout->addWidget(m_problem);
    layout->addWidget(buttons);

    connect(&m_book, &PresetBook::changed, this, &PresetDialog::showPresets);
    connect(&m_book, &PresetBook::activeChanged, this, &PresetDialog::showPresets);
    showPresets();
}

QLineEdit *PresetDialog::nameField(Side side, int number) const
{
    return m_nameFields.at(placeOf(side, number));
}

// The eight names, inputs on the left and outputs on the right, and "Save names".
QWidget *PresetDialog::createNames()
{
    auto *box = new QGroupBox(QStringLiteral("Names"));
    auto *grid = new QGridLayout(box);
    grid->addWidget(new QLabel(QStringLiteral("Inputs")), 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Outputs")), 0, 3);
    for (const Side side : {Side::Input, Side::Output}) {
        for (int number = 1; number <= sideCount(side); ++number) {
            const QString caption = sideCaption(side, number);
            auto *field = new QLineEdit(m_book.names().of(side, number));
            field->setObjectName(caption.toLower());
            field->setAccessibleName(QStringLiteral("Name of %1").arg(caption));
            field->setPlaceholderText(QStringLiteral("no name"));
            auto *label = new QLabel(caption);
            label->setBuddy(field);
            const int column = side == Side::Input ? 0 : 2;
            grid->addWidget(label, number, column);
            grid->addWidget(field, number, column + 1);
            m_nameFields[placeOf(side, number)] = field;
        }
    }
    QPushButton *save = button(QStringLiteral("Save names"), "saveNames");
    connect(save, &QPushButton::clicked, this, &PresetDialog::saveNames);
    grid->addWidget(save, sideCount(Side::Input) + 1, 3, Qt::AlignRight);
    // Focus goes through the inputs, then the outputs, then the button.
    for (int place = 1; place < int(m_nameFields.size()); ++place)
        setTabOrder(m_nameFields[place - 1], m_nameFields[place]);
    setTabOrder(m_nameFields.back(), save);
    return box;
}

// The list with the active preset above it, the buttons beside it, and the name field with
// the buttons that use it below.
QWidget *PresetDialog::createPresets()
{
    auto *box = new QGroupBox(QStringLiteral("Presets"));
    m_active = new QLabel;
    m_active->setObjectName(QStringLiteral("active"));
    m_list = new QListWidget;
    m_list->setObjectName(QStringLiteral("presets"));
    m_list->setAccessibleName(QStringLiteral("Presets"));
    connect(m_list, &QListWidget::currentRowChanged, this, &PresetDialog::showSelection);
    connect(m_list, &QListWidget::itemActivated, this, &PresetDialog::recallPreset);
    m_presetName = new QLineEdit;
    m_presetName->setObjectName(QStringLiteral("presetName"));
    m_presetName->setAccessibleName(QStringLiteral("Preset name"));
    m_presetName->setPlaceholderText(QStringLiteral("name of a new preset"));
    createPresetButtons();

    auto *side = new QVBoxLayout;
    for (QPushButton *b : {m_recallButton, m_up, m_down, m_delete})
        side->addWidget(b);
    side->addStretch();
    auto *listRow = new QHBoxLayout;
    listRow->addWidget(m_list, 1);
    listRow->addLayout(side);
    auto *nameLabel = new QLabel(QStringLiteral("&Name:"));
    nameLabel->setBuddy(m_presetName);
    auto *nameRow = new QHBoxLayout;
    nameRow->addWidget(nameLabel);
    nameRow->addWidget(m_presetName, 1);
    nameRow->addWidget(m_save);
    nameRow->addWidget(m_rename);

    auto *layout = new QVBoxLayout(box);
    layout->addWidget(m_active);
    layout->addLayout(listRow);
    layout->addLayout(nameRow);
    return box;
}

void PresetDialog::createPresetButtons()
{
    m_recallButton = button(QStringLiteral("&Recall"), "recall");
    m_up = button(QStringLiteral("Move &up"), "up");
    m_down = button(QStringLiteral("Move &down"), "down");
    m_delete = button(QStringLiteral("De&lete"), "delete");
    m_save = button(QStringLiteral("&Save the routes shown"), "savePreset");
    m_save->setToolTip(QStringLiteral("Keeps the routes the window shows now as the preset of "
                                      "this name"));
    m_rename = button(QStringLiteral("Ren&ame"), "rename");
    connect(m_recallButton, &QPushButton::clicked, this, &PresetDialog::recallPreset);
    connect(m_up, &QPushButton::clicked, this, [this] { movePreset(-1); });
    connect(m_down, &QPushButton::clicked, this, [this] { movePreset(1); });
    connect(m_delete, &QPushButton::clicked, this, &PresetDialog::deletePreset);
    connect(m_save, &QPushButton::clicked, this, &PresetDialog::savePreset);
    connect(m_rename, &QPushButton::clicked, this, &PresetDialog::renamePreset);
    // Return in the name field saves, as the button beside it does.
    connect(m_presetName, &QLineEdit::returnPressed, this, &PresetDialog::savePreset);
}

void PresetDialog::showPresets()
{
    const int selected = selectedPreset();
    m_list->clear();
    const QList<Preset> &presets = m_book.presets();
    for (int i = 0; i < presets.size(); ++i) {
        auto *item = new QListWidgetItem(presetText(presets[i]), m_list);
        if (i == m_book.active()) {
            QFont bold = item->font();
            bold.setBold(true);
            item->setFont(bold);
            item->setData(Qt::AccessibleTextRole,
                          presetText(presets[i]) + QStringLiteral(", active"));
        }
    }
    m_active->setText(m_book.active() < 0
                          ? QStringLiteral("Active preset: none")
                          : QStringLiteral("Active preset: %1").arg(m_book.activeName()));
    selectPreset(qMin(selected, int(presets.size()) - 1));
    showSelection();
}

void PresetDialog::showSelection()
{
    const int selected = selectedPreset();
    const bool any = selected >= 0;
    for (QPushButton *b : {m_recallButton, m_delete, m_rename})
        b->setEnabled(any);
    m_up->setEnabled(selected > 0);
    m_down->setEnabled(any && selected + 1 < m_list->count());
    if (any)
        m_presetName->setText(m_book.presets()[selected].name);
}

int PresetDialog::selectedPreset() const
{
    return m_list->currentRow();
}

void PresetDialog::selectPreset(int index)
{
    m_list->setCurrentRow(index);
}

void PresetDialog::saveNames()
{
    Names names;
    for (const Side side : {Side::Input, Side::Output}) {
        for (int number = 1; number <= sideCount(side); ++number)
            names.of(side, number) = nameField(side, number)->text();
    }
    if (report(m_book.setNames(names))) {
        for (const Side side : {Side::Input, Side::Output}) {
            for (int number = 1; number <= sideCount(side); ++number)
                nameField(side, number)->setText(m_book.names().of(side, number));
        }
    }
}

void PresetDialog::savePreset()
{
    const QString name = m_presetName->text();
    if (report(m_book.savePreset(name, m_shownRoutes())))
        selectPreset(findPreset(m_book.presets(), checkName(name).name));
}

void PresetDialog::renamePreset()
{
    report(m_book.renamePreset(selectedPreset(), m_presetName->text()));
}

void PresetDialog::deletePreset()
{
    report(m_book.deletePreset(selectedPreset()));
}

void PresetDialog::movePreset(int by)
{
    const int from = selectedPreset();
    if (report(m_book.movePreset(from, from + by)))
        selectPreset(from + by);
}

void PresetDialog::recallPreset()
{
    if (selectedPreset() >= 0)
        m_recall(selectedPreset());
}

bool PresetDialog::report(const PresetBook::Answer &answer)
{
    m_problem->setVisible(!answer.ok() && !answer.notKept);
    if (answer.ok())
        return true;
    if (answer.notKept) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Names and presets"),
                        QStringLiteral("The change could not be saved, and the names and presets "
                                       "stay as they were: %1.")
                            .arg(answer.error),
                        QMessageBox::Ok, this);
        box.exec();
    } else {
        m_problem->setText(answer.error + QLatin1Char('.'));
    }
    return false;
}
