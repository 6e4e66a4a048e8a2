#include "namedcontrols.h"

#include "colorbutton.h"
#include "form1.h"
#include "ipbox.h"
#include "lamp.h"

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
    QMap<QString, QWidget *> named;
    addArray(named, "Option1", form.Option1);
    addArray(named, "Option2", form.Option2);
    addArray(named, "Option3", form.Option3);
    addArray(named, "Option4", form.Option4);
    addArray(named, "Option5", form.Option5);
    addArray(named, "Option6", form.Option6);
    addArray(named, "Option7", form.Option7);
    addArray(named, "Option9", form.Option9);
    addArray(named, "Frame6", form.Frame6);
    addArray(named, "Text1", form.Text1);
    addArray(named, "Command8", form.Command8);
    addArray(named, "Label1", form.Label1);
    const std::pair<const char *, QWidget *> single[] = {{"Form1", &form},
                                                         {"Command1", form.Command1},
                                                         {"Command2", form.Command2},
                                                         {"Command3", form.Command3},
                                                         {"Command4", form.Command4},
                                                         {"Command5", form.Command5},
                                                         {"Command6", form.Command6},
                                                         {"Command7", form.Command7},
                                                         {"Command9", form.Command9},
                                                         {"Frame1", form.Frame1},
                                                         {"Frame2", form.Frame2},
                                                         {"Frame3", form.Frame3},
                                                         {"Frame4", form.Frame4},
                                                         {"Frame5", form.Frame5},
                                                         {"Frame7", form.Frame7},
                                                         {"Frame8", form.Frame8},
                                                         {"Frame9", form.Frame9},
                                                         {"Label6", form.Label6},
                                                         {"Label7", form.Label7},
                                                         {"Shape15", form.Shape15},
                                                         {"Shape16", form.Shape16},
                                                         {"Combo1", form.Combo1},
                                                         {"SSTab1", form.SSTab1},
                                                         {"Option10", form.Option10},
                                                         {"Option11", form.Option11},
                                                         {"ipBox1", form.ipBox1}};
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
