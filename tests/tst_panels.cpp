// SPDX-License-Identifier: MIT
// The tab pages and the maintenance buttons, used as the operator uses them, over a
// pseudo-terminal that stands in for the matrix: every control sends exactly its one frame
// and changes nothing else in the window; with the port closed every one reports the failed
// write once and keeps its selection.

#include "appearance.h"
#include "colorbutton.h"
#include "form1.h"
#include "ipaddressedit.h"
#include "ipbox.h"
#include "lamp.h"
#include "messageboxwatcher.h"
#include "mscomm.h"
#include "operatorclick.h"
#include "windowcontrols.h"
#include "windowonline.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QtTest>

#include <memory>

namespace {

// What the operator can see of one control.
struct ControlState
{
    bool hidden = false;
    bool enabled = false;
    bool checked = false;
    QString value; // caption, text, back colour, lamp fill, address, current page
    bool operator==(const ControlState &) const = default;
};
using Snapshot = QMap<QWidget *, ControlState>;

QString valueOf(Form1 &form, QWidget *widget)
{
    if (widget == &form)
        return QStringLiteral("ipMode %1").arg(form.ipMode);
    if (auto *color = qobject_cast<ColorButton *>(widget))
        return color->text() + QStringLiteral(" back colour %1").arg(color->BackColor(), 6, 16);
    if (auto *button = qobject_cast<QAbstractButton *>(widget))
        return button->text();
    if (auto *lamp = qobject_cast<Lamp *>(widget))
        return QStringLiteral("fill %1").arg(lamp->FillStyle());
    if (auto *box = qobject_cast<ipBox *>(widget))
        return box->Address();
    if (auto *edit = qobject_cast<QLineEdit *>(widget))
        return edit->text();
    if (auto *combo = qobject_cast<QComboBox *>(widget))
        return QStringLiteral("%1 %2").arg(combo->currentIndex()).arg(combo->currentText());
    if (auto *tabs = qobject_cast<QTabWidget *>(widget))
        return QStringLiteral("page %1").arg(tabs->currentIndex());
    return {};
}

Snapshot snapshot(Form1 &form)
{
    Snapshot shot;
    QList<QWidget *> widgets = form.findChildren<QWidget *>();
    widgets.prepend(&form);
    for (QWidget *widget : widgets) {
        auto *button = qobject_cast<QAbstractButton *>(widget);
        shot.insert(widget, {widget->isHidden(), widget->isEnabled(), button && button->isChecked(),
                             valueOf(form, widget)});
    }
    return shot;
}

// The window's buttons under their names: "Command6", "Option4(2)".
QMap<QString, QAbstractButton *> namedButtons(Form1 &form)
{
    const WindowControls w = controls(form);
    QMap<QString, QAbstractButton *> named;
    const std::pair<const char *, const ControlArray<QRadioButton> *> arrays[] = {
        {"Option1", &w.Option1}, {"Option2", &w.Option2}, {"Option3", &w.Option3},
        {"Option4", &w.Option4}, {"Option5", &w.Option5}, {"Option6", &w.Option6},
        {"Option7", &w.Option7}, {"Option9", &w.Option9}};
    for (const auto &[arrayName, members] : arrays) {
        for (const auto &[index, option] : *members)
            named.insert(QStringLiteral("%1(%2)").arg(QLatin1String(arrayName)).arg(index), option);
    }
    for (const auto &[index, button] : w.Command8)
        named.insert(QStringLiteral("Command8(%1)").arg(index), button);
    const std::pair<const char *, QAbstractButton *> single[] = {
        {"Command1", w.Command1}, {"Command2", w.Command2}, {"Command3", w.Command3},
        {"Command4", w.Command4}, {"Command5", w.Command5}, {"Command6", w.Command6},
        {"Command7", w.Command7}, {"Command9", w.Command9}, {"Option10", w.Option10},
        {"Option11", w.Option11}};
    for (const auto &[name, button] : single)
        named.insert(QLatin1String(name), button);
    return named;
}

QString describe(Form1 &form, QWidget *widget)
{
    QString name = QString::fromLatin1(widget->metaObject()->className());
    if (auto *button = qobject_cast<QAbstractButton *>(widget))
        name = namedButtons(form).key(button, name) + QStringLiteral(" \"%1\"").arg(button->text());
    return name;
}

QString toString(const ControlState &state)
{
    return QStringLiteral("hidden %1 enabled %2 checked %3 \"%4\"")
        .arg(state.hidden)
        .arg(state.enabled)
        .arg(state.checked)
        .arg(state.value);
}

// Lists every control whose state differs, for the failure message; empty when equal.
QString differences(Form1 &form, const Snapshot &expected, const Snapshot &actual)
{
    QStringList lines;
    for (auto it = expected.begin(); it != expected.end(); ++it) {
        if (actual.value(it.key()) != it.value())
            lines << describe(form, it.key()) + QStringLiteral(": was ") + toString(it.value()) +
                         QStringLiteral(", now ") + toString(actual.value(it.key()));
    }
    if (actual.keys() != expected.keys())
        lines << QStringLiteral("controls were created or destroyed");
    return lines.join(u'\n');
}

// The buttons that clear each other: the four on the tab control form one group across the
// pages, every other option button is grouped with the options of its own frame.
QList<QRadioButton *> groupOf(Form1 &form, QRadioButton *option)
{
    if (controls(form).SSTab1Options->buttons().contains(option)) {
        QList<QRadioButton *> group;
        for (QAbstractButton *member : controls(form).SSTab1Options->buttons())
            group << qobject_cast<QRadioButton *>(member);
        return group;
    }
    return option->parentWidget()->findChildren<QRadioButton *>(Qt::FindDirectChildrenOnly);
}

// The option arrays whose selection stands for a device setting (the cross-page group aside).
QList<const ControlArray<QRadioButton> *> settingArrays(Form1 &form)
{
    const WindowControls w = controls(form);
    return {&w.Option1, &w.Option3, &w.Option4, &w.Option5, &w.Option6, &w.Option7, &w.Option9};
}

QByteArray hex(const char *bytes)
{
    return QByteArray::fromHex(bytes);
}

// 05 55 cc pp 77, the frame of a command with one parameter byte.
QByteArray frame5(int command, int parameter)
{
    return QByteArray::fromHex("0555").append(char(command)).append(char(parameter)).append('\x77');
}

} // namespace

class tst_Panels : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void controlSendsItsFrame_data();
    void controlSendsItsFrame();
    void closedPortReportsEveryClickOnce_data();
    void closedPortReportsEveryClickOnce();
    void borderButtonSendsOneFramePerClick_data();
    void borderButtonSendsOneFramePerClick();
    void modeChoiceEnablesNothing_data();
    void modeChoiceEnablesNothing();
    void addressOptionsOnlyShowOrHideTheAddress();
    void modeChoiceKeepsTheAddressMode_data();
    void modeChoiceKeepsTheAddressMode();

private:
    QAbstractButton *control(const QString &name);
    void showPageOf(QWidget *widget);
    void click(const QString &name);
    QByteArray sent(qsizetype expected) const { return m_window->sent(expected); }
    void prepare(const QString &target, bool fixed, const QString &address);
    void checkWriteFailureShownOnce();
    void checkOnlySelectionChanged(const Snapshot &before, QAbstractButton *target);

    std::unique_ptr<WindowOnLine> m_window;
    Form1 *m_form = nullptr;
    MessageBoxWatcher *m_boxes = nullptr;
};

void tst_Panels::initTestCase()
{
    setUpPanelAppearance();
}

void tst_Panels::init()
{
    m_window = std::make_unique<WindowOnLine>();
    m_window->start();
    m_form = &m_window->form();
    m_boxes = &m_window->boxes();
    QCOMPARE(m_boxes->count(), 0);
    QCOMPARE(sent(0), QByteArray());
}

void tst_Panels::cleanup()
{
    m_window.reset();
}

QAbstractButton *tst_Panels::control(const QString &name)
{
    QAbstractButton *found = namedButtons(*m_form).value(name);
    if (!found)
        qFatal("no control %s", qPrintable(name));
    return found;
}

// The operator sees a control only on its tab page.
void tst_Panels::showPageOf(QWidget *widget)
{
    for (int page = 0; page < controls(m_form).SSTab1->count(); ++page) {
        if (controls(m_form).SSTab1->widget(page)->isAncestorOf(widget))
            controls(m_form).SSTab1->setCurrentIndex(page);
    }
    QVERIFY2(widget->isVisible(), qPrintable(describe(*m_form, widget)));
}

void tst_Panels::click(const QString &name)
{
    QAbstractButton *target = control(name);
    showPageOf(target);
    if (!QTest::currentTestFailed())
        clickAsOperator(target);
}

// Gives every other setting group a selection, so that a click that clears or moves one
// shows; for "OK", chooses the address mode and address first, as the operator would.
void tst_Panels::prepare(const QString &target, bool fixed, const QString &address)
{
    QAbstractButton *clicked = control(target);
    qsizetype frames = 0;
    for (const ControlArray<QRadioButton> *options : settingArrays(*m_form)) {
        if (!groupOf(*m_form, (*options)[0]).contains(clicked)) {
            (*options)[options->count() - 1]->setChecked(true); // as the device's report does
            ++frames;
        }
    }
    QCOMPARE(sent(5 * frames).size(), 5 * frames);

    if (clicked == controls(m_form).Command2 && fixed) {
        click(QStringLiteral("Option11"));
        ipBox *box = controls(m_form).ipBox1;
        box->editor()->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(box->editor()->hasFocus());
        QTest::keyClicks(box->editor(), address);
        QCOMPARE(box->Address(), address);
    } else if (clicked == controls(m_form).Command2 && !address.isEmpty()) {
        click(QStringLiteral("Option11"));
        controls(m_form).ipBox1->setAddress(address);
        click(QStringLiteral("Option10"));
    }
    QCOMPARE(sent(0), QByteArray()); // the address options send nothing
}

void tst_Panels::checkWriteFailureShownOnce()
{
    QCOMPARE(m_boxes->count(), 1);
    const ShownMessageBox box = m_boxes->last();
    QCOMPARE(box.text, QStringLiteral("open serial port fail！ "));
    QCOMPARE(box.title, QStringLiteral("ERROR"));
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(box.icon, QMessageBox::NoIcon);
    QVERIFY(box.modal);
}

// The window is as before, except that a clicked option button is now the selected one of
// its group.
void tst_Panels::checkOnlySelectionChanged(const Snapshot &before, QAbstractButton *target)
{
    Snapshot expected = before;
    if (auto *option = qobject_cast<QRadioButton *>(target)) {
        for (QRadioButton *member : groupOf(*m_form, option))
            expected[member].checked = member == option;
    }
    const QString changed = differences(*m_form, expected, snapshot(*m_form));
    QVERIFY2(changed.isEmpty(), qPrintable(changed));
}

void tst_Panels::controlSendsItsFrame_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<bool>("fixed");      // "OK": fixed address chosen
    QTest::addColumn<QString>("address"); // "OK": typed (fixed) or set (automatic)
    QTest::addColumn<QByteArray>("frame");
    auto add = [](const QString &row, const QString &name, const QByteArray &frame,
                  bool fixed = false, const QString &address = {}) {
        QTest::newRow(qPrintable(row)) << name << fixed << address << frame;
    };
    const char *rows[] = {"Option3", "Option4", "Option5", "Option6", "Option7"};
    for (int row = 0; row < 5; ++row) {
        for (int k = 0; k < 4; ++k)
            add(QStringLiteral("%1 IN%2")
                    .arg(row < 4 ? QStringLiteral("Out%1").arg(row + 1) : QStringLiteral("ALL"))
                    .arg(k + 1),
                QStringLiteral("%1(%2)").arg(QLatin1String(rows[row])).arg(k),
                frame5(0x19, row * 16 + k));
    }
    for (int k = 0; k < 4; ++k) {
        add(QStringLiteral("Input: IN%1").arg(k + 1), QStringLiteral("Option9(%1)").arg(k),
            frame5(0x23, k));
        add(QStringLiteral("out%1").arg(k + 1), QStringLiteral("Command8(%1)").arg(k),
            frame5(0x02, k));
    }
    add(QStringLiteral("Martix"), QStringLiteral("Option2(0)"), hex("0555210077"));
    add(QStringLiteral("Video wall"), QStringLiteral("Option2(1)"), hex("0555210177"));
    const char *resolutions[] = {"720P@60",  "1080P@60",  "1024X768",  "1280X1024", "1360X768",
                                 "1440X900", "1600X1200", "1680X1050", "1920X1200"};
    for (int k = 0; k < 9; ++k)
        add(QLatin1String(resolutions[k]), QStringLiteral("Option1(%1)").arg(k), frame5(0x22, k));

    add(QStringLiteral("Update"), QStringLiteral("Command6"), hex("04552077"));
    add(QStringLiteral("border vertical in"), QStringLiteral("Command1"), hex("04550577"));
    add(QStringLiteral("border vertical out"), QStringLiteral("Command4"), hex("04550677"));
    add(QStringLiteral("border horizontal in"), QStringLiteral("Command5"), hex("04550777"));
    add(QStringLiteral("border horizontal out"), QStringLiteral("Command3"), hex("04550877"));
    add(QStringLiteral("RESET, four bytes"), QStringLiteral("Command9"), hex("05550477"));

    const QString ok = QStringLiteral("Command2");
    add(QStringLiteral("OK right after start-up"), ok, hex("04553077"));
    for (const char *address : {"0.0.0.1", "192.168.1.100", "10.85.119.1"})
        add(QStringLiteral("OK automatic, %1 in the box").arg(QLatin1String(address)), ok,
            hex("04553077"), false, QLatin1String(address));
    add(QStringLiteral("OK fixed 0.0.0.1"), ok, hex("0855310000000177"), true,
        QStringLiteral("0.0.0.1"));
    add(QStringLiteral("OK fixed 192.168.1.100"), ok, hex("085531C0A8016477"), true,
        QStringLiteral("192.168.1.100"));
    add(QStringLiteral("OK fixed 10.85.119.1, marker octets unescaped"), ok,
        hex("0855310A55770177"), true, QStringLiteral("10.85.119.1"));
}

void tst_Panels::controlSendsItsFrame()
{
    QFETCH(QString, control);
    QFETCH(bool, fixed);
    QFETCH(QString, address);
    QFETCH(QByteArray, frame);
    prepare(control, fixed, address);
    if (QTest::currentTestFailed())
        return;
    QAbstractButton *target = this->control(control);
    showPageOf(target);
    const Snapshot before = snapshot(*m_form);

    clickAsOperator(target);
    QCOMPARE(sent(frame.size()).toHex(' '), frame.toHex(' '));
    QCOMPARE(m_boxes->count(), 0);
    checkOnlySelectionChanged(before, target);

    if (qobject_cast<QRadioButton *>(target)) { // the selected one again: no change, no frame
        clickAsOperator(target);
        QCOMPARE(sent(0).toHex(' '), QByteArray());
        checkOnlySelectionChanged(before, target);
    }
}

void tst_Panels::closedPortReportsEveryClickOnce_data()
{
    controlSendsItsFrame_data();
}

void tst_Panels::closedPortReportsEveryClickOnce()
{
    QFETCH(QString, control);
    QFETCH(bool, fixed);
    QFETCH(QString, address);
    prepare(control, fixed, address);
    if (QTest::currentTestFailed())
        return;
    click(QStringLiteral("Command7")); // the operator disconnects
    QVERIFY(!m_form->MSComm1->PortOpen());
    QAbstractButton *target = this->control(control);
    showPageOf(target);
    const Snapshot before = snapshot(*m_form);

    clickAsOperator(target);
    checkWriteFailureShownOnce();
    if (QTest::currentTestFailed())
        return;
    checkOnlySelectionChanged(before, target);

    // Nothing was kept for later: reconnecting sends only its own status request.
    click(QStringLiteral("Command7"));
    QVERIFY(m_form->MSComm1->PortOpen());
    QCOMPARE(sent(4).toHex(' '), hex("04552077").toHex(' '));
    QCOMPARE(m_boxes->count(), 1);
}

void tst_Panels::borderButtonSendsOneFramePerClick_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("vertical in") << QStringLiteral("Command1") << hex("04550577");
    QTest::newRow("horizontal out") << QStringLiteral("Command3") << hex("04550877");
    QTest::newRow("vertical out") << QStringLiteral("Command4") << hex("04550677");
    QTest::newRow("horizontal in") << QStringLiteral("Command5") << hex("04550777");
    QTest::newRow("RESET") << QStringLiteral("Command9") << hex("05550477");
}

void tst_Panels::borderButtonSendsOneFramePerClick()
{
    QFETCH(QString, control);
    QFETCH(QByteArray, frame);
    for (int i = 0; i < 3; ++i)
        click(control);
    QCOMPARE(sent(3 * frame.size()).toHex(' '), frame.repeated(3).toHex(' '));
}

void tst_Panels::modeChoiceEnablesNothing_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("matrixUsable"); // as the device's last mode reply left the areas
    QTest::newRow("Martix while the matrix rows are disabled") << 0 << false;
    QTest::newRow("Martix while the video-wall inputs are disabled") << 0 << true;
    QTest::newRow("Video wall while the video-wall inputs are disabled") << 1 << true;
    QTest::newRow("Video wall while the matrix rows are disabled") << 1 << false;
}

void tst_Panels::modeChoiceEnablesNothing()
{
    QFETCH(int, mode);
    QFETCH(bool, matrixUsable);
    for (const ControlArray<QRadioButton> *options : settingArrays(*m_form)) {
        const bool wall = options == &controls(m_form).Option9;
        for (const auto &[index, option] : *options)
            option->setEnabled(options == &controls(m_form).Option1 || wall != matrixUsable);
    }
    QAbstractButton *target = controls(m_form).Option2[mode];
    showPageOf(target);
    const Snapshot before = snapshot(*m_form);
    clickAsOperator(target);
    QCOMPARE(sent(5).toHex(' '), frame5(0x21, mode).toHex(' '));
    checkOnlySelectionChanged(before, target);
}

void tst_Panels::addressOptionsOnlyShowOrHideTheAddress()
{
    QVERIFY(controls(m_form).Option10->isChecked());
    QVERIFY(controls(m_form).Frame1->isHidden());
    QCOMPARE(m_form->ipMode, 1);
    const struct
    {
        const char *option;
        bool shown;
        int ipMode;
    } steps[] = {{"Option11", true, 0}, {"Option10", false, 1}, {"Option11", true, 0}};
    for (const auto &step : steps) {
        click(QLatin1String(step.option));
        QVERIFY(control(QLatin1String(step.option))->isChecked());
        QCOMPARE(controls(m_form).Frame1->isVisible(), step.shown);
        QCOMPARE(m_form->ipMode, step.ipMode);
        QCOMPARE(sent(0), QByteArray());
        if (&step == &steps[0])
            controls(m_form).ipBox1->setAddress(QStringLiteral("10.85.119.1"));
    }
    // Hiding the address kept it.
    QCOMPARE(controls(m_form).ipBox1->Address(), QStringLiteral("10.85.119.1"));
    QCOMPARE(m_boxes->count(), 0);
}

void tst_Panels::modeChoiceKeepsTheAddressMode_data()
{
    QTest::addColumn<QString>("addressOption");
    QTest::addColumn<QString>("modeOption");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("fixed, then Video wall")
        << QStringLiteral("Option11") << QStringLiteral("Option2(1)") << hex("085531C0A8016477");
    QTest::newRow("fixed, then Martix")
        << QStringLiteral("Option11") << QStringLiteral("Option2(0)") << hex("085531C0A8016477");
    QTest::newRow("automatic again, then Video wall")
        << QStringLiteral("Option10") << QStringLiteral("Option2(1)") << hex("04553077");
}

void tst_Panels::modeChoiceKeepsTheAddressMode()
{
    QFETCH(QString, addressOption);
    QFETCH(QString, modeOption);
    QFETCH(QByteArray, frame);
    const bool fixed = addressOption == QStringLiteral("Option11");
    click(QStringLiteral("Option11"));
    controls(m_form).ipBox1->setAddress(QStringLiteral("192.168.1.100"));
    click(addressOption);
    click(modeOption);
    QCOMPARE(sent(5).size(), 5); // its SetMode
    // Both address options are cleared, but the address mode and Frame1 stay as they were.
    QVERIFY(!controls(m_form).Option10->isChecked() && !controls(m_form).Option11->isChecked());
    QCOMPARE(controls(m_form).Frame1->isHidden(), !fixed);
    QCOMPARE(m_form->ipMode, fixed ? 0 : 1);
    click(QStringLiteral("Command2"));
    QCOMPARE(sent(frame.size()).toHex(' '), frame.toHex(' '));
    QVERIFY(controls(m_form).Frame1->isVisible() == fixed);
}

QTEST_MAIN(tst_Panels)
#include "tst_panels.moc"
