// SPDX-License-Identifier: MIT
// Names and presets in the real window, against the emulated matrix on a real pseudo-terminal:
// what a recall puts on the line and when, what ends it, names in the window and in "state",
// the control socket's commands and errors, and the settings file they are kept in.

#include "colorbutton.h"
#include "console.h"
#include "controlclient.h"
#include "controlserver.h"
#include "form1.h"
#include "frames.h"
#include "messageboxwatcher.h"
#include "operatorclick.h"
#include "presetbook.h"
#include "presetdialog.h"
#include "ptyhost.h"
#include "scratchdir.h"
#include "usersettings.h"
#include "windowcontrols.h"
#include "windowonline.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>
#include <utility>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(Side)

namespace {

constexpr int gap = 300; // ms, as the file below sets it

// A file as the operator writes it, with a group and keys this program does not know.
const QByteArray handWritten = "; the lecture hall\n"
                               "[names]\n"
                               "in1=Camera\n"
                               "in2=Blu-ray\n"
                               "out1=Projector\n"
                               "out3=Stage left\n"
                               "[presets]\n"
                               "gap=300\n"
                               "preset1=Lecture, 1, 2, 4, 3\n"
                               "preset2=Even, 1, 2, 3, 4\n"
                               "colour=blue\n"
                               "[lights]\n"
                               "dimmer=40\n"_ba;

QByteArray routeFrame(int output, int input)
{
    return frames::Route(vocabulary::routeRow(output), vocabulary::inputIndex(input));
}

} // namespace

class tst_PresetsEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void recallSendsOneFramePerOutputThatDiffersTheGapApart();
    void recallEndsAtARouteSetMeanwhile_data();
    void recallEndsAtARouteSetMeanwhile();
    void routeChangedAtTheDeviceDuringARecallIsAnsweredOnce();
    void namesShowInStateTooltipsAndDescriptions();
    void routeByName();
    void velquorCtlSendsEachArgumentAsOneWord();
    void socketErrors_data();
    void socketErrors();
    void namesReadAsSomethingElseAreRefusedEverywhere_data();
    void namesReadAsSomethingElseAreRefusedEverywhere();
    void changesAreSavedAndTheUnknownKept();
    void fileThatCannotBeWrittenChangesNothing();
    void dialogIsReachedByKeyboardAndNamed();

private:
    QJsonObject state();
    // The frames the device receives from now on, with the time each came.
    void recordFrames();
    QAction *menuEntry(QMenu &menu, const QString &text);

    std::unique_ptr<WindowOnLine> m_window;
    PtyHost *m_host = nullptr;
    Form1 *m_form = nullptr;
    ControlClient *m_client = nullptr;
    QList<QByteArray> m_frames;
    QList<qint64> m_frameTimes;
    QElapsedTimer m_clock;
};

void tst_PresetsEndToEnd::init()
{
    WindowOnLine::Options options;
    options.device = WindowOnLine::Device::Emulator;
    options.control = WindowOnLine::Control::Tcp;
    options.settings = handWritten;
    m_window = std::make_unique<WindowOnLine>(options);
    m_window->start();
    m_host = &m_window->host();
    m_form = &m_window->form();
    m_client = &m_window->client();
    m_frames.clear();
    m_frameTimes.clear();

    // The device holds IN1..IN4 on out1..out4: "Even" is active once it has said so.
    QCOMPARE(m_client->ask("update"), QByteArray("ok"));
    QTRY_COMPARE(m_form->model().presets().activeName(), u"Even"_s);
    QTRY_VERIFY(m_host->isIdle());
    QTest::qWait(200);
}

void tst_PresetsEndToEnd::cleanup()
{
    m_window.reset();
}

QJsonObject tst_PresetsEndToEnd::state()
{
    return QJsonDocument::fromJson(m_client->ask("state")).object();
}

void tst_PresetsEndToEnd::recordFrames()
{
    m_clock.start();
    connect(m_host, &PtyHost::frameReceived, this, [this](const QByteArray &frame) {
        m_frames.append(frame);
        m_frameTimes.append(m_clock.elapsed());
    });
}

QAction *tst_PresetsEndToEnd::menuEntry(QMenu &menu, const QString &text)
{
    for (QAction *action : menu.actions()) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

void tst_PresetsEndToEnd::recallSendsOneFramePerOutputThatDiffersTheGapApart()
{
    // The menu opens over a control of the "Switch" page that has no menu of its own.
    QStringList entries;
    QTimer::singleShot(0, this, [&] {
        if (auto *popup = qobject_cast<QMenu *>(QApplication::activePopupWidget())) {
            for (QAction *action : popup->actions())
                entries.append(action->text());
            popup->close();
        }
    });
    const QPoint at(3, 3);
    QContextMenuEvent event(QContextMenuEvent::Keyboard, at,
                            controls(m_form).Option4[0]->mapToGlobal(at));
    QApplication::sendEvent(controls(m_form).Option4[0], &event);
    QCOMPARE(entries,
             (QStringList{u"Lecture"_s, u"Even"_s, QString(), u"Names and presets\u2026"_s}));

    QCOMPARE(m_client->ask("watch"), QByteArray("ok"));
    recordFrames();
    QMenu menu;
    m_form->addPresetEntries(menu);
    QAction *lecture = menuEntry(menu, u"Lecture"_s);
    QAction *even = menuEntry(menu, u"Even"_s);
    QVERIFY(lecture && even);
    QVERIFY(even->isChecked());
    QVERIFY(!lecture->isChecked());
    QVERIFY(menu.actions().contains(controls(m_form).namesAndPresetsAction));
    lecture->trigger();

    // Lecture differs from what the window shows in out3 and out4 only.
    QTRY_COMPARE(m_frames.size(), 2);
    QCOMPARE(m_frames, (QList<QByteArray>{routeFrame(3, 4), routeFrame(4, 3)}));
    // The host notes a frame when it reads it: allow for the pty's scheduling.
    QVERIFY2(m_frameTimes[1] - m_frameTimes[0] >= gap - 15,
             qPrintable(u"%1 ms apart"_s.arg(m_frameTimes[1] - m_frameTimes[0])));
    QTRY_COMPARE(m_host->model().route(2), 3);
    QTRY_COMPARE(m_host->model().route(3), 2);

    QByteArray watched;
    QTRY_VERIFY((watched += m_client->takeLines().join()).contains(R"("preset":"Lecture")"));
    QCOMPARE(state().value(u"preset"_s).toString(), u"Lecture"_s);
    QTest::qWait(2 * gap);
    QCOMPARE(m_frames.size(), 2); // the reports matched the rows: nothing went back
    QMenu after;
    m_form->addPresetEntries(after);
    QVERIFY(menuEntry(after, u"Lecture"_s)->isChecked());
    QVERIFY(!menuEntry(after, u"Even"_s)->isChecked());
    QCOMPARE(m_window->boxes().count(), 0);
}

void tst_PresetsEndToEnd::recallEndsAtARouteSetMeanwhile_data()
{
    QTest::addColumn<QByteArray>("meanwhile"); // a socket command; empty: the operator clicks
    QTest::addColumn<QByteArray>("secondFrame");
    QTest::newRow("the operator clicks out1 IN2") << QByteArray() << routeFrame(1, 2);
    QTest::newRow("a remote route") << QByteArray("route 1 2") << routeFrame(1, 2);
    // Even brings out3 back; out4 matches Even already.
    QTest::newRow("a new recall") << QByteArray("preset recall even") << routeFrame(3, 3);
}

void tst_PresetsEndToEnd::recallEndsAtARouteSetMeanwhile()
{
    QFETCH(QByteArray, meanwhile);
    QFETCH(QByteArray, secondFrame);
    recordFrames();
    QCOMPARE(m_client->ask("preset recall Lecture"), QByteArray("ok"));
    QTRY_COMPARE(m_frames.size(), 1);
    QCOMPARE(m_frames[0], routeFrame(3, 4));
    // Meanwhile, but after the device has reported the first frame's route: two routes of
    // one output within a reply's time set the rows and the device echoing each other.
    QTRY_COMPARE(m_host->model().route(2), 3);
    QTRY_VERIFY(m_host->isIdle());
    QTest::qWait(50);
    if (meanwhile.isEmpty())
        clickAsOperator(controls(m_form).Option3[1]);
    else
        QCOMPARE(m_client->ask(meanwhile), QByteArray("ok"));
    QTRY_COMPARE(m_frames.size(), 2);
    QCOMPARE(m_frames[1], secondFrame);
    QTest::qWait(3 * gap);
    QCOMPARE(m_frames.size(), 2); // the rest of Lecture, out4 onto IN3, never went
    QCOMPARE(m_host->model().route(3), 3);
}

// The device's own change differs from the window and from every frame in flight: it is
// answered once, as ever, and the recall goes on.
void tst_PresetsEndToEnd::routeChangedAtTheDeviceDuringARecallIsAnsweredOnce()
{
    recordFrames();
    QCOMPARE(m_client->ask("preset recall Lecture"), QByteArray("ok"));
    QTRY_COMPARE(m_frames.size(), 1);
    QString error;
    const auto command = parseConsoleCommand(u"route 1 3"_s, &error);
    QVERIFY2(command, qPrintable(error));
    m_host->carryOut(*command);

    QTRY_COMPARE(m_frames.size(), 3);
    QTest::qWait(3 * gap);
    QCOMPARE(m_frames, (QList<QByteArray>{routeFrame(3, 4), routeFrame(1, 3), routeFrame(4, 3)}));
    QVERIFY(controls(m_form).Option3[2]->isChecked());
    QCOMPARE(m_host->model().route(3), 2);
}

void tst_PresetsEndToEnd::namesShowInStateTooltipsAndDescriptions()
{
    const QJsonObject json = state();
    const QJsonArray inputs = json.value(u"inputs"_s).toArray();
    QCOMPARE(inputs.size(), 4);
    QCOMPARE(inputs[1].toObject().value(u"name"_s).toString(), u"Blu-ray"_s);
    QCOMPARE(inputs[1].toObject().value(u"input"_s).toInt(), 2);
    QVERIFY(inputs[2].toObject().value(u"name"_s).isNull());
    const QJsonArray outputs = json.value(u"outputs"_s).toArray();
    QCOMPARE(outputs[0].toObject().value(u"name"_s).toString(), u"Projector"_s);
    QCOMPARE(outputs[2].toObject().value(u"name"_s).toString(), u"Stage left"_s);
    QVERIFY(outputs[1].toObject().value(u"name"_s).isNull());
    QCOMPARE(json.value(u"preset"_s).toString(), u"Even"_s);

    // Every row's IN2, the video-wall IN2, the out1 button and out1's row; captions unchanged.
    // A screen reader hears the row with the input: "Out1 Projector: IN2 Blu-ray".
    const std::pair<QRadioButton *, QString> in2s[] = {
        {controls(m_form).Option3[1], u"Out1 Projector: IN2 Blu-ray"_s},
        {controls(m_form).Option6[1], u"Out4: IN2 Blu-ray"_s},
        {controls(m_form).Option7[1], u"ALL: IN2 Blu-ray"_s},
        {controls(m_form).Option9[1], u"Video wall input: IN2 Blu-ray"_s}};
    for (const auto &[in2, description] : in2s) {
        QCOMPARE(in2->toolTip(), u"IN2: Blu-ray"_s);
        QCOMPARE(in2->accessibleDescription(), description);
        QVERIFY(!in2->text().contains(u"Blu-ray"_s));
    }
    QCOMPARE(controls(m_form).Option3[2]->toolTip(), QString());
    QCOMPARE(controls(m_form).Command8[0]->toolTip(), u"Out1: Projector"_s);
    QCOMPARE(controls(m_form).Command8[0]->accessibleDescription(),
             u"Out1 Projector: display attached"_s);
    QCOMPARE(controls(m_form).Command8[0]->text(), u"out1"_s);
    const QWidget *out3Row = controls(m_form).Option5[0]->parentWidget();
    QCOMPARE(out3Row->toolTip(), u"Out3: Stage left"_s);

    // A name set through the socket shows at once.
    QCOMPARE(m_client->ask("name in 3 \"<b>DVD</b>\""), QByteArray("ok"));
    QCOMPARE(controls(m_form).Option4[2]->accessibleDescription(), u"Out2: IN3 <b>DVD</b>"_s);
    QVERIFY(controls(m_form).Option4[2]->toolTip().contains(u"&lt;b&gt;"_s)); // shown, not rendered
}

void tst_PresetsEndToEnd::routeByName()
{
    recordFrames();
    QCOMPARE(m_client->ask("route Projector \"Blu-ray\""), QByteArray("ok"));
    QCOMPARE(m_client->ask("route \"stage LEFT\" camera"), QByteArray("ok"));
    QCOMPARE(m_client->ask("route all Blu-ray"), QByteArray("ok"));
    QTRY_COMPARE(m_frames.size(), 3);
    QCOMPARE(m_frames, (QList<QByteArray>{routeFrame(1, 2), routeFrame(3, 1),
                                          routeFrame(vocabulary::allOutputs, 2)}));
}

void tst_PresetsEndToEnd::velquorCtlSendsEachArgumentAsOneWord()
{
    recordFrames();
    const QString address = u"127.0.0.1:%1"_s.arg(m_window->controlServer().address().port);
    // In its own turns of the event loop: the panel in this process must answer.
    const auto ctl = [&](const QStringList &command) {
        QProcess process;
        process.start(QStringLiteral(VELQUOR_CTL_PROGRAM),
                      QStringList{u"--control"_s, address} + command);
        QElapsedTimer waited;
        waited.start();
        while (process.state() != QProcess::NotRunning && waited.elapsed() < 15000)
            QTest::qWait(5);
        return process.exitCode();
    };
    QCOMPARE(ctl({u"route"_s, u"Stage left"_s, u"Blu-ray"_s}), 0);
    QCOMPARE(ctl({u"preset"_s, u"save"_s, u"All on \"2\""_s}), 0);
    QCOMPARE(ctl({u"route Projector Camera"_s}), 0); // one argument: sent as it is
    QTRY_COMPARE(m_frames.size(), 2);
    QCOMPARE(m_frames, (QList<QByteArray>{routeFrame(3, 2), routeFrame(1, 1)}));
    QCOMPARE(m_form->model().presets().presets().last().name, u"All on \"2\""_s);
}

void tst_PresetsEndToEnd::socketErrors_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("answer");
    QTest::newRow("an unknown output") << "route Screen 1"_ba
                                       << R"(error no output is called "Screen")"_ba;
    QTest::newRow("an unknown input") << "wall DVD"_ba
                                      << R"(error no input is called "DVD")"_ba;
    QTest::newRow("an input's name for an output") << "route Camera 1"_ba
                                                   << R"(error no output is called "Camera")"_ba;
    QTest::newRow("a duplicate") << "name in 4 blu-ray"_ba
                                 << R"(error IN4: "blu-ray" is the name of IN2 already)"_ba;
    QTest::newRow("too long") << "name out 2 Projector on the north wall"_ba
                              << "error the name is longer than 24 characters (27)"_ba;
    QTest::newRow("a control character in quotes")
        << "name out 2 \"a\x1b[31m\""_ba
        << "error not a text command (only UTF-8 text without control characters)"_ba;
    QTest::newRow("an unknown preset") << "preset recall Concert"_ba
                                       << R"(error no preset is called "Concert")"_ba;
    QTest::newRow("delete an unknown preset") << "preset delete Concert"_ba
                                              << R"(error no preset is called "Concert")"_ba;
    QTest::newRow("a number as a name")
        << "name out 2 7"_ba
        << R"(error Out2: "7" cannot be a name: commands read it as )"
           R"(a number or as all)"_ba;
}

void tst_PresetsEndToEnd::socketErrors()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, answer);
    recordFrames();
    const QByteArray before = m_window->dir().read(u"velquor.conf"_s);
    QCOMPARE(m_client->ask(line), answer);
    QTest::qWait(100);
    QCOMPARE(m_frames.size(), 0);
    QCOMPARE(m_window->dir().read(u"velquor.conf"_s), before);
}

// One rule set: the dialog and the control socket refuse the same names, and so do MQTT's
// <base>/command and the page, which hand the same lines to the same adapter.
void tst_PresetsEndToEnd::namesReadAsSomethingElseAreRefusedEverywhere_data()
{
    QTest::addColumn<Side>("side");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("problem");

    QTest::newRow("another input's caption") << Side::Input << 4 << u"IN1"_s << u"caption of IN1"_s;
    QTest::newRow("its own caption, lower case") << Side::Input << 3 << u"in3"_s << u"caption"_s;
    QTest::newRow("an output's caption on an input")
        << Side::Input << 3 << u"OUT4"_s << u"caption of Out4"_s;
    QTest::newRow("None in any case") << Side::Input << 3 << u"nONe"_s << u"no state"_s;
    QTest::newRow("an entity's name") << Side::Output << 2 << u"Mode"_s << u"its mode"_s;
    QTest::newRow("the video-wall entity")
        << Side::Output << 4 << u"video-wall INPUT"_s << u"video-wall input"_s;
    QTest::newRow("the link entity") << Side::Output << 2 << u"link"_s << u"its link"_s;
}

void tst_PresetsEndToEnd::namesReadAsSomethingElseAreRefusedEverywhere()
{
    QFETCH(Side, side);
    QFETCH(int, number);
    QFETCH(QString, name);
    QFETCH(QString, problem);
    const NamesAndPresets before = m_form->model().presets().content();
    const QByteArray line = (side == Side::Input ? "name in " : "name out ") +
                            QByteArray::number(number) + " \"" + name.toUtf8() + '"';
    const QByteArray answer = m_client->ask(line);
    QVERIFY2(answer.startsWith("error") && answer.contains(problem.toUtf8()), answer.constData());
    // A preset may not take it either.
    QVERIFY(m_client->ask("preset save \"" + name.toUtf8() + '"').startsWith("error"));

    PresetDialog dialog(
        m_form->model().presets(), [this] { return m_form->shownRoutes(); }, [](int) {}, m_form);
    dialog.show();
    dialog.nameField(side, number)->setText(name);
    dialog.findChild<QPushButton *>(u"saveNames"_s)->click();
    const QString said = dialog.findChild<QLabel *>(u"problem"_s)->text();
    QVERIFY2(said.contains(problem), qPrintable(said));
    QCOMPARE(m_form->model().presets().content(), before);
}

// The 33rd preset is refused; each change is in the file at once, and what this program does
// not know of the file stays.
void tst_PresetsEndToEnd::changesAreSavedAndTheUnknownKept()
{
    QCOMPARE(m_client->ask("name out 2 Screen"), QByteArray("ok"));
    QCOMPARE(m_client->ask("name in 1"), QByteArray("ok")); // cleared
    QCOMPARE(m_client->ask("preset delete lecture"), QByteArray("ok"));
    for (int i = 3; i <= 32; ++i)
        QCOMPARE(m_client->ask("preset save P" + QByteArray::number(i)), QByteArray("ok"));
    QCOMPARE(m_client->ask("preset save \"All on \\\"2\\\"\""), QByteArray("ok"));
    QCOMPARE(m_client->ask("preset save P33"),
             QByteArray("error there are 32 presets, the most there can be: delete one first"));

    const QByteArray file = m_window->dir().read(u"velquor.conf"_s);
    for (const QByteArray &kept : {"[lights]"_ba, "dimmer=40"_ba, "colour=blue"_ba,
                                   "in2=Blu-ray"_ba, "out2=Screen"_ba, "gap=300"_ba})
        QVERIFY2(file.contains(kept), file.constData());
    QVERIFY(!file.contains("Camera"));
    QVERIFY(!file.contains("Lecture"));

    UserSettings again(m_window->settingsPath());
    again.load();
    QCOMPARE(again.warnings().size(), 2); // [presets] colour and [lights] dimmer, as before
    QCOMPARE(again.namesAndPresets(), m_form->model().presets().content());
    QCOMPARE(again.namesAndPresets().presets.size(), 32);
    QCOMPARE(again.namesAndPresets().presets.last().name, u"All on \"2\""_s);
    const QJsonObject list = QJsonDocument::fromJson(m_client->ask("preset list")).object();
    QCOMPARE(list.value(u"presets"_s).toArray().size(), 32);
    QCOMPARE(list.value(u"active"_s).toString(), u"Even"_s);
}

void tst_PresetsEndToEnd::fileThatCannotBeWrittenChangesNothing()
{
    const NamesAndPresets before = m_form->model().presets().content();
    const QByteArray file = m_window->dir().read(u"velquor.conf"_s);
    QVERIFY(makeDirectoryReadOnly(m_window->dir().path()));
    UnprivilegedFileAccess asUser;
    QVERIFY(asUser.isActive());

    const QByteArray answer = m_client->ask("name out 2 Screen");
    QVERIFY2(answer.startsWith("error not saved: cannot write ") &&
                 answer.contains(m_window->settingsPath().toUtf8()),
             answer.constData());
    QVERIFY(m_client->ask("preset save Now").startsWith("error not saved: "));
    QCOMPARE(m_form->model().presets().content(), before);
    QVERIFY(state().value(u"outputs"_s).toArray()[1].toObject().value(u"name"_s).isNull());

    // In the window: the dialog says so in a box, and its fields show the names in use.
    PresetDialog dialog(
        m_form->model().presets(), [this] { return m_form->shownRoutes(); }, [](int) {}, m_form);
    dialog.show();
    dialog.nameField(Side::Output, 2)->setText(u"Screen"_s);
    dialog.findChild<QPushButton *>(u"saveNames"_s)->click();
    QCOMPARE(m_window->boxes().count(), 1);
    QVERIFY(m_window->boxes().last().text.contains(u"could not be saved"_s));
    QCOMPARE(m_form->model().presets().content(), before);
    QCOMPARE(m_window->dir().read(u"velquor.conf"_s), file);
}

// Ctrl+P opens the dialog; every control in it has a name a screen reader says, and Tab
// reaches each of them; a preset saved, moved and recalled from it.
void tst_PresetsEndToEnd::dialogIsReachedByKeyboardAndNamed()
{
    recordFrames();
    QPointer<PresetDialog> opened;
    bool active = false;
    QStringList unnamed;
    int reached = 0;
    int focusable = 0;
    QTimer::singleShot(0, this, [&] {
        opened = qobject_cast<PresetDialog *>(QApplication::activeModalWidget());
        if (!opened)
            return;
        // The offscreen platform does not activate a window that opens, as a desktop does.
        opened->activateWindow();
        if (!QTest::qWaitFor([&] { return opened->isActiveWindow(); }))
            return;
        active = true;
        QSet<QWidget *> seen;
        for (QWidget *w : opened->findChildren<QWidget *>()) {
            if (!(w->focusPolicy() & Qt::TabFocus) || !w->isVisible() || !w->isEnabled())
                continue;
            ++focusable;
            QAccessibleInterface *a = QAccessible::queryAccessibleInterface(w);
            if (!a || a->text(QAccessible::Name).isEmpty())
                unnamed.append(w->objectName() + u"/"_s +
                               QLatin1String(w->metaObject()->className()));
        }
        for (int i = 0; i < 3 * focusable && seen.size() < focusable; ++i) {
            seen.insert(QApplication::focusWidget());
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        reached = int(seen.size());

        // Save the routes shown as "Now", then put it first and recall Lecture from the list.
        auto *name = opened->findChild<QLineEdit *>(u"presetName"_s);
        name->setText(u"Now"_s);
        QTest::keyClick(name, Qt::Key_Return);
        // A button with the focus is pressed with Space.
        const auto press = [&](const char *name) {
            auto *button = opened->findChild<QPushButton *>(QLatin1String(name));
            button->setFocus(Qt::TabFocusReason);
            QTest::keyClick(button, Qt::Key_Space);
        };
        press("up");
        press("up");
        opened->findChild<QListWidget *>(u"presets"_s)->setCurrentRow(1);
        press("recall");
        opened->reject();
    });
    QTest::keyClick(m_form, Qt::Key_P, Qt::ControlModifier);
    QVERIFY(active);
    QVERIFY(opened.isNull()); // closed and gone
    QVERIFY2(focusable >= 13, qPrintable(QString::number(focusable)));
    QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(u", "_s)));
    QCOMPARE(reached, focusable);

    QStringList names;
    for (const Preset &preset : m_form->model().presets().presets())
        names.append(preset.name);
    QCOMPARE(names, (QStringList{u"Now"_s, u"Lecture"_s, u"Even"_s}));
    QCOMPARE(m_form->model().presets().presets().first().routes, (Routes{1, 2, 3, 4}));
    QCOMPARE(m_form->model().presets().presets()[1].name, u"Lecture"_s);
    QTRY_COMPARE(m_frames.size(), 2);
    QTRY_COMPARE(m_form->model().presets().activeName(), u"Lecture"_s);
}

QTEST_MAIN(tst_PresetsEndToEnd)
#include "tst_presetsendtoend.moc"
