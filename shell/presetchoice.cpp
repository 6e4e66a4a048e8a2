// SPDX-License-Identifier: MIT
#include "form1.h"

#include "colorbutton.h"
#include "mscomm.h"
#include "pagemenu.h"
#include "presetbook.h"
#include "presetdialog.h"
#include "presetrecall.h"
#include "usersettings.h"

#include <QAction>
#include <QGroupBox>
#include <QMenu>
#include <QRadioButton>
#include <QTabWidget>
#include <QTextDocument>

namespace {

// "IN2: Blu-ray", or nothing without a name. A tooltip that looks like markup is shown as
// rich text; a name is shown as it is written.
QString namedCaption(Side side, int number, const QString &name)
{
    return name.isEmpty() ? QString()
                          : QStringLiteral("%1: %2").arg(sideCaption(side, number), name);
}

QString plainToolTip(const QString &caption)
{
    return Qt::mightBeRichText(caption) ? QStringLiteral("<p>%1</p>").arg(caption.toHtmlEscaped())
                                        : caption;
}

// What a screen reader says for an input or output: "IN3 Camera", or "IN3" without a name.
QString spokenCaption(const QString &caption, const QString &name)
{
    return name.isEmpty() ? caption : caption + QLatin1Char(' ') + name;
}

void showNameOn(QWidget *control, const QString &toolTip, const QString &description)
{
    control->setToolTip(toolTip);
    control->setAccessibleDescription(description);
}

// A menu entry shows its text as it is: "&" would mark a shortcut key.
QString menuText(QString text)
{
    return text.replace(QLatin1Char('&'), QLatin1String("&&"));
}

} // namespace

void Form1::setUpPresetChoice()
{
    presetBook = &m_model->presets();
    presetRecall = &m_model->recall();

    namesAndPresetsAction = new QAction(QStringLiteral("Names and presets\u2026"), this);
    namesAndPresetsAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    namesAndPresetsAction->setShortcutContext(Qt::WindowShortcut);
    addAction(namesAndPresetsAction); // the shortcut works anywhere in the window
    connect(namesAndPresetsAction, &QAction::triggered, this, &Form1::showNamesAndPresets);

    // The presets come first in the "Switch" page's context menu.
    switchPageMenu->addEntries([this](QMenu &menu) { addPresetEntries(menu); });

    for (const int output : vocabulary::rows) {
        for (const auto &[index, option] : switchRow(output)) {
            // A route the operator sets ends a recall, even on the input shown already; one a
            // reply or the recall sets does not, as neither clicks.
            connect(option, &QRadioButton::clicked, presetRecall, &PresetRecall::cancel);
        }
    }
    connect(presetBook, &PresetBook::changed, this, &Form1::showNames);
    showNames(); // the rows' descriptions say their output before any name is given
}

void Form1::useNamesAndPresets(const UserSettings &settings)
{
    ::useNamesAndPresets(*presetBook, settings);
}

Routes Form1::shownRoutes() const
{
    return m_model->shownRoutes();
}

void Form1::recallPreset(int index)
{
    if (index < 0 || index >= presetBook->presets().size())
        return;
    if (!MSComm1->PortOpen()) {
        showWriteFailure();
        return;
    }
    presetRecall->start(presetBook->presets()[index].routes, presetBook->gap());
}

void Form1::showNamesAndPresets()
{
    // As behind every modal box: replies wait, undecoded and unanswered, until it is closed.
    const MSComm::ReplyHold hold(*MSComm1);
    PresetDialog dialog(
        *presetBook, [this] { return shownRoutes(); }, [this](int index) { recallPreset(index); },
        this);
    dialog.exec();
}

// In video-wall mode the rows are disabled, and so are the presets.
void Form1::addPresetEntries(QMenu &menu)
{
    const QList<Preset> &presets = presetBook->presets();
    if (presets.isEmpty())
        menu.addAction(QStringLiteral("No presets yet"))->setEnabled(false);
    for (int i = 0; i < presets.size(); ++i) {
        QAction *recall = menu.addAction(menuText(presets[i].name));
        recall->setCheckable(true);
        recall->setChecked(i == presetBook->active());
        recall->setEnabled(m_model->state().routesEnabled());
        connect(recall, &QAction::triggered, this, [this, i] { recallPreset(i); });
    }
    menu.addSeparator();
    menu.addAction(namesAndPresetsAction);
}

void Form1::showNames()
{
    const Names &names = presetBook->names();
    for (int k = 0; k < vocabulary::inputCount; ++k) {
        const int input = vocabulary::inputAt(k);
        const QString inputName = names.of(Side::Input, input);
        const QString tip = plainToolTip(namedCaption(Side::Input, input, inputName));
        const QString spokenInput = spokenCaption(sideCaption(Side::Input, input), inputName);
        for (const int output : vocabulary::rows) {
            const QString row = output == vocabulary::allOutputs
                                    ? QStringLiteral("ALL")
                                    : spokenCaption(sideCaption(Side::Output, output),
                                                    names.of(Side::Output, output));
            showNameOn(switchRow(output)[k], tip, row + QStringLiteral(": ") + spokenInput);
        }
        showNameOn(Option9[k], tip, QStringLiteral("Video wall input: ") + spokenInput);
    }
    for (int o = 0; o < vocabulary::outputCount; ++o) {
        const int output = vocabulary::outputAt(o);
        const QString name = names.of(Side::Output, output);
        const QString caption = namedCaption(Side::Output, output, name);
        showNameOn(Frame6[vocabulary::allRouteRow - vocabulary::routeRow(output)],
                   plainToolTip(caption), caption);
        // The out button's description says whether a display is attached too.
        Command8[o]->setToolTip(plainToolTip(caption));
        Command8[o]->setNote(spokenCaption(sideCaption(Side::Output, output), name));
    }
}
