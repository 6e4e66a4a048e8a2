// SPDX-License-Identifier: MIT
#include "namedcontrols.h"

#include "colorbutton.h"
#include "form1.h"
#include "ipbox.h"
#include "lamp.h"
#include "windowcontrols.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>

namespace {

template <typename T>
void addArray(QMap<QString, QWidget *> &named, const char *name, const ControlArray<T> &array)
{
    for (const auto &[index, control] : array)
        named.insert(QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(index), control);
}

} // namespace

QMap<QString, QWidget *> namedControls(Form1 &form)
{
    const WindowControls w = controls(form);
    QMap<QString, QWidget *> named;
    addArray(named, "Option1", w.Option1);
    addArray(named, "Option2", w.Option2);
    addArray(named, "Option3", w.Option3);
    addArray(named, "Option4", w.Option4);
    addArray(named, "Option5", w.Option5);
    addArray(named, "Option6", w.Option6);
    addArray(named, "Option7", w.Option7);
    addArray(named, "Option9", w.Option9);
    addArray(named, "Frame6", w.Frame6);
    addArray(named, "Text1", w.Text1);
    addArray(named, "Command8", w.Command8);
    addArray(named, "Label1", w.Label1);
    const std::pair<const char *, QWidget *> single[] = {
        {"Form1", &form},         {"Command1", w.Command1}, {"Command2", w.Command2},
        {"Command3", w.Command3}, {"Command4", w.Command4}, {"Command5", w.Command5},
        {"Command6", w.Command6}, {"Command7", w.Command7}, {"Command9", w.Command9},
        {"Frame1", w.Frame1},     {"Frame2", w.Frame2},     {"Frame3", w.Frame3},
        {"Frame4", w.Frame4},     {"Frame5", w.Frame5},     {"Frame7", w.Frame7},
        {"Frame8", w.Frame8},     {"Frame9", w.Frame9},     {"Label6", w.Label6},
        {"Label7", w.Label7},     {"Shape15", w.Shape15},   {"Shape16", w.Shape16},
        {"Combo1", w.Combo1},     {"SSTab1", w.SSTab1},     {"Option10", w.Option10},
        {"Option11", w.Option11}, {"ipBox1", w.ipBox1}};
    for (const auto &[name, widget] : single)
        named.insert(QLatin1String(name), widget);
    return named;
}

QString controlName(Form1 &form, const QWidget *widget)
{
    const QMap<QString, QWidget *> named = namedControls(form);
    // The unnamed widgets that take focus (tab strip, editor, text field) lie inside theirs.
    for (const QWidget *w = widget; w && w != &form; w = w->parentWidget()) {
        const QString name = named.key(const_cast<QWidget *>(w));
        if (!name.isEmpty())
            return name;
    }
    return widget == &form ? QStringLiteral("Form1") : QString();
}

QString captionOf(const QWidget *widget)
{
    if (auto *button = qobject_cast<const QAbstractButton *>(widget))
        return button->text();
    if (auto *frame = qobject_cast<const QGroupBox *>(widget))
        return frame->title();
    if (auto *label = qobject_cast<const QLabel *>(widget))
        return label->text();
    if (auto *edit = qobject_cast<const QLineEdit *>(widget))
        return edit->text();
    if (auto *combo = qobject_cast<const QComboBox *>(widget))
        return combo->currentText();
    return QString();
}
