// SPDX-License-Identifier: MIT
// The window without a mouse: Tab and Shift+Tab on each page, arrow keys in the option groups,
// Return on the push buttons. Every key goes to the focused widget of the shown, active window,
// as the keyboard delivers it; the window's port is a pseudo-terminal, so what a key sends is
// read from the line.

#include "appearance.h"
#include "form1.h"
#include "messageboxwatcher.h"
#include "mscomm.h"
#include "namedcontrols.h"
#include "ptypair.h"
#include "windowcontrols.h"
#include "windowonline.h"

#include <QApplication>
#include <QButtonGroup>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QtTest>

#include <memory>

namespace {

QByteArray hex(const char *bytes)
{
    return QByteArray::fromHex(bytes);
}

QStringList names(std::initializer_list<const char *> list)
{
    QStringList result;
    for (const char *name : list)
        result << QLatin1String(name);
    return result;
}

const QStringList outside = names({"Command7", "Combo1", "Command6", "SSTab1"});

// The Tab stops of each page in the window's tab order, from Command7 round to it again. An
// option group inside a frame is one stop (its arrow keys move within it); the four options
// standing directly on the tab control are each a stop of their own.
QStringList switchStops()
{
    return outside + names({"Option2(0)", "Option2(1)", "Option9(0)", "Option7(0)", "Option6(0)",
                            "Option5(0)", "Option4(0)", "Option3(0)", "Command8(0)", "Command8(1)",
                            "Command8(2)", "Command8(3)"});
}

QStringList resolutionStops()
{
    return outside +
           names({"Option1(0)", "Command1", "Command3", "Command4", "Command5", "Command9"});
}

QStringList addressStops(bool fixed)
{
    QStringList stops = outside + names({"Option10", "Option11", "Command2"});
    if (fixed)
        stops.insert(stops.indexOf(QStringLiteral("Option11")), QStringLiteral("ipBox1"));
    return stops;
}

} // namespace

class tst_Keyboard : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void tabReachesEveryStopOfThePage_data();
    void tabReachesEveryStopOfThePage();
    void arrowKeysStayOnTheShownPage_data();
    void arrowKeysStayOnTheShownPage();
    void arrowKeysInTheTabControlsOptions_data();
    void arrowKeysInTheTabControlsOptions();
    void returnPressesTheFocusedButton_data();
    void returnPressesTheFocusedButton();
    void returnOnConnectDisconnectsAndConnectsAgain();
    void returnOnAnOptionSelectsNothing();

private:
    QWidget *named(const QString &name) const { return namedControls(*m_form).value(name); }
    QString focused() const { return controlName(*m_form, QApplication::focusWidget()); }
    void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    QStringList walk(Qt::Key key);
    int pageOf(const QWidget *control) const;
    void tabTo(const QString &name);
    void goToPage(int page);
    void chooseFixedAddress();
    QByteArray sent(qsizetype expected) const { return m_window->sent(expected); }

    std::unique_ptr<WindowOnLine> m_window;
    Form1 *m_form = nullptr;
};

void tst_Keyboard::initTestCase()
{
    setUpPanelAppearance();
}

void tst_Keyboard::init()
{
    m_window = std::make_unique<WindowOnLine>();
    m_window->start();
    m_form = &m_window->form();
    QCOMPARE(focused(), QStringLiteral("Command7"));
}

void tst_Keyboard::cleanup()
{
    QCOMPARE(m_window->boxes().count(), 0);
    m_form = nullptr;
    m_window.reset();
}

void tst_Keyboard::press(Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    QWidget *target = QApplication::focusWidget();
    QVERIFY(target);
    QTest::keyClick(target, key, modifiers);
}

// Presses key until the focus is back where it started; returns the stops on the way,
// starting with the one the focus started on.
QStringList tst_Keyboard::walk(Qt::Key key)
{
    const QWidget *start = QApplication::focusWidget();
    QStringList stops{focused()};
    for (int presses = 0; presses < 60; ++presses) {
        press(key);
        if (QApplication::focusWidget() == start)
            return stops;
        stops << focused();
    }
    return stops << QStringLiteral("... never back");
}

void tst_Keyboard::tabTo(const QString &name)
{
    for (int presses = 0; presses < 60 && focused() != name; ++presses)
        press(Qt::Key_Tab);
    QCOMPARE(focused(), name);
}

// The tab page a control stands on, -1 for the controls outside the tab control.
int tst_Keyboard::pageOf(const QWidget *control) const
{
    for (int page = 0; page < controls(m_form).SSTab1->count(); ++page) {
        if (controls(m_form).SSTab1->widget(page)->isAncestorOf(control))
            return page;
    }
    return -1;
}

// Changes the page as the operator does without a mouse: Tab to the tab strip, then arrows.
void tst_Keyboard::goToPage(int page)
{
    tabTo(QStringLiteral("SSTab1"));
    while (!QTest::currentTestFailed() && controls(m_form).SSTab1->currentIndex() != page)
        press(page > controls(m_form).SSTab1->currentIndex() ? Qt::Key_Right : Qt::Key_Left);
}

// On the "IP Setting" page: Down from the selected automatic option selects the fixed one.
void tst_Keyboard::chooseFixedAddress()
{
    tabTo(QStringLiteral("Option10"));
    press(Qt::Key_Down);
    QVERIFY(controls(m_form).Option11->isChecked());
    QVERIFY(controls(m_form).Frame1->isVisible());
}

void tst_Keyboard::tabReachesEveryStopOfThePage_data()
{
    QTest::addColumn<QList<int>>("before"); // pages walked first, each giving focus around
    QTest::addColumn<int>("page");
    QTest::addColumn<bool>("fixedAddress");
    QTest::addColumn<QStringList>("stops");

    QTest::newRow("Switch") << QList<int>{} << 0 << false << switchStops();
    QTest::newRow("Resolution") << QList<int>{} << 1 << false << resolutionStops();
    QTest::newRow("IP Setting, automatic address")
        << QList<int>{} << 2 << false << addressStops(false);
    QTest::newRow("IP Setting, fixed address shown")
        << QList<int>{} << 2 << true << addressStops(true);
    QTest::newRow("Switch after the address options had focus")
        << QList<int>{2} << 0 << false << switchStops();
    QTest::newRow("IP Setting after the mode options had focus")
        << QList<int>{0} << 2 << false << addressStops(false);
    QTest::newRow("Switch after every page") << QList<int>{0, 1, 2} << 0 << false << switchStops();
}

void tst_Keyboard::tabReachesEveryStopOfThePage()
{
    QFETCH(QList<int>, before);
    QFETCH(int, page);
    QFETCH(bool, fixedAddress);
    QFETCH(QStringList, stops);

    for (int earlier : before) {
        goToPage(earlier);
        walk(Qt::Key_Tab);
        walk(Qt::Key_Backtab);
    }
    goToPage(page);
    if (fixedAddress)
        chooseFixedAddress();
    tabTo(QStringLiteral("Command7"));
    if (QTest::currentTestFailed())
        return;

    QCOMPARE(walk(Qt::Key_Tab).join(u' '), stops.join(u' '));
    QStringList backwards = walk(Qt::Key_Backtab);
    std::reverse(backwards.begin() + 1, backwards.end());
    QCOMPARE(backwards.join(u' '), stops.join(u' '));
    QCOMPARE(controls(m_form).SSTab1->currentIndex(), page);
    QCOMPARE(sent(0), QByteArray()); // moving the focus sends nothing
}

void tst_Keyboard::arrowKeysStayOnTheShownPage_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<bool>("fixedAddress");
    QTest::newRow("Switch") << 0 << false;
    QTest::newRow("Resolution") << 1 << false;
    QTest::newRow("IP Setting, automatic address") << 2 << false;
    QTest::newRow("IP Setting, fixed address shown") << 2 << true;
}

// Every arrow key on every stop of the page, except on the tab strip (its arrows choose the
// page) and the port list (its arrows choose the port): the focus stays on a shown control and
// no control of another page changes its selection.
void tst_Keyboard::arrowKeysStayOnTheShownPage()
{
    QFETCH(int, page);
    QFETCH(bool, fixedAddress);
    goToPage(page);
    if (fixedAddress)
        chooseFixedAddress();
    tabTo(QStringLiteral("Command7"));
    if (QTest::currentTestFailed())
        return;
    const QStringList stops = walk(Qt::Key_Tab);
    QWidget *shownPage = controls(m_form).SSTab1->currentWidget();
    auto hiddenSelection = [&] {
        QStringList selected;
        for (QRadioButton *option : m_form->findChildren<QRadioButton *>()) {
            if (option->isChecked() && !shownPage->isAncestorOf(option))
                selected << controlName(*m_form, option);
        }
        return selected;
    };
    const QStringList hiddenBefore = hiddenSelection();

    for (const QString &stop : stops) {
        if (stop == QLatin1String("SSTab1") || stop == QLatin1String("Combo1"))
            continue;
        for (Qt::Key key : {Qt::Key_Up, Qt::Key_Down, Qt::Key_Left, Qt::Key_Right}) {
            named(stop)->setFocus(Qt::TabFocusReason);
            QCOMPARE(focused(), stop);
            press(key);
            const QString where =
                stop +
                QStringLiteral(" then key 0x%1: focus on %2").arg(int(key), 0, 16).arg(focused());
            QVERIFY2(QApplication::focusWidget()->isVisible(), qPrintable(where));
            QCOMPARE(controls(m_form).SSTab1->currentIndex(), page);
            QVERIFY2(hiddenSelection() == hiddenBefore, qPrintable(where));
        }
    }
    sent(0); // selections moved inside a frame group send their frames; not counted here
}

void tst_Keyboard::arrowKeysInTheTabControlsOptions_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<bool>("selectFirst"); // Space on the start option before the arrow key
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("focus");    // afterwards
    QTest::addColumn<QString>("selected"); // the group's selected option afterwards
    QTest::addColumn<QByteArray>("frame");

    const QString martix = QStringLiteral("Option2(0)");
    const QString wall = QStringLiteral("Option2(1)");
    const QString automatic = QStringLiteral("Option10");
    const QString fixed = QStringLiteral("Option11");
    const QByteArray none;
    QTest::newRow("Video wall selected, Up selects Martix")
        << wall << true << int(Qt::Key_Up) << martix << martix << hex("0555210077");
    QTest::newRow("Video wall selected, Down stays")
        << wall << true << int(Qt::Key_Down) << wall << wall << none;
    QTest::newRow("Martix selected, Right selects Video wall")
        << martix << true << int(Qt::Key_Right) << wall << wall << hex("0555210177");
    QTest::newRow("Martix selected, Up stays")
        << martix << true << int(Qt::Key_Up) << martix << martix << none;
    QTest::newRow("nothing selected, Down moves the focus only")
        << martix << false << int(Qt::Key_Down) << wall << automatic << none;
    QTest::newRow("automatic selected, Down selects the fixed address")
        << automatic << false << int(Qt::Key_Down) << fixed << fixed << none;
    QTest::newRow("automatic selected, Up stays")
        << automatic << false << int(Qt::Key_Up) << automatic << automatic << none;
    QTest::newRow("fixed selected, Left selects automatic")
        << fixed << true << int(Qt::Key_Left) << automatic << automatic << none;
}

void tst_Keyboard::arrowKeysInTheTabControlsOptions()
{
    QFETCH(QString, start);
    QFETCH(bool, selectFirst);
    QFETCH(int, key);
    QFETCH(QString, focus);
    QFETCH(QString, selected);
    QFETCH(QByteArray, frame);

    goToPage(pageOf(named(start)));
    tabTo(start);
    if (selectFirst) {
        press(Qt::Key_Space);
        QVERIFY(qobject_cast<QRadioButton *>(named(start))->isChecked());
    }
    sent(0);
    press(Qt::Key(key));
    QCOMPARE(focused(), focus);
    QCOMPARE(controlName(*m_form, controls(m_form).SSTab1Options->checkedButton()), selected);
    QCOMPARE(sent(frame.size()).toHex(' '), frame.toHex(' '));
    QCOMPARE(controls(m_form).Frame1->isVisible(), selected == QLatin1String("Option11"));
}

void tst_Keyboard::returnPressesTheFocusedButton_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("key");
    QTest::addColumn<QByteArray>("frame");

    auto row = [](const char *name, const char *button, int key, const QByteArray &frame) {
        QTest::newRow(name) << QString::fromLatin1(button) << key << frame;
    };
    const int enter = Qt::Key_Return;
    row("Update", "Command6", enter, hex("04552077"));
    row("border vertical in", "Command1", enter, hex("04550577"));
    row("border horizontal out", "Command3", enter, hex("04550877"));
    row("border vertical out", "Command4", enter, hex("04550677"));
    row("border horizontal in", "Command5", enter, hex("04550777"));
    row("RESET", "Command9", enter, hex("05550477"));
    row("OK, automatic address", "Command2", enter, hex("04553077"));
    row("out1", "Command8(0)", enter, hex("0555020077"));
    row("out2", "Command8(1)", enter, hex("0555020177"));
    row("out3", "Command8(2)", enter, hex("0555020277"));
    row("out4", "Command8(3)", enter, hex("0555020377"));
    row("Enter on the keypad, Update", "Command6", Qt::Key_Enter, hex("04552077"));
    row("Space as before, RESET", "Command9", Qt::Key_Space, hex("05550477"));
}

void tst_Keyboard::returnPressesTheFocusedButton()
{
    QFETCH(QString, button);
    QFETCH(int, key);
    QFETCH(QByteArray, frame);

    if (const int page = pageOf(named(button)); page >= 0)
        goToPage(page);
    tabTo(button);
    const Qt::KeyboardModifiers keypad = key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier;
    press(Qt::Key(key), keypad);
    QCOMPARE(sent(frame.size()).toHex(' '), frame.toHex(' '));
    QCOMPARE(focused(), button);
}

void tst_Keyboard::returnOnConnectDisconnectsAndConnectsAgain()
{
    press(Qt::Key_Return);
    QVERIFY(!m_form->MSComm1->PortOpen());
    QCOMPARE(controls(m_form).Command7->text(), QStringLiteral("Connect"));
    QCOMPARE(sent(0), QByteArray());
    press(Qt::Key_Return);
    QVERIFY(m_form->MSComm1->PortOpen());
    QCOMPARE(controls(m_form).Command7->text(), QStringLiteral("Disconnect"));
    QCOMPARE(sent(4).toHex(' '), hex("04552077").toHex(' ')); // the status request
}

// Return on anything but a push button does what it did before: nothing.
void tst_Keyboard::returnOnAnOptionSelectsNothing()
{
    tabTo(QStringLiteral("Option9(0)"));
    press(Qt::Key_Return);
    QVERIFY(!controls(m_form).Option9[0]->isChecked());
    goToPage(2);
    tabTo(QStringLiteral("Option11"));
    press(Qt::Key_Return);
    QVERIFY(!controls(m_form).Option11->isChecked());
    QVERIFY(controls(m_form).Frame1->isHidden());
    QCOMPARE(sent(0), QByteArray());
}

QTEST_MAIN(tst_Keyboard)
#include "tst_keyboard.moc"
