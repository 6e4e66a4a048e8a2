// SPDX-License-Identifier: MIT
// What a screen reader is told about the window: every control's name, the lamps' state, the
// out buttons' meaning, the address box's fields, and the events that announce a change. All
// of it is read through QAccessible, as a screen reader's bridge reads it; the device's replies
// come over a pseudo-terminal.

#include "accessibility.h"
#include "appearance.h"
#include "colorbutton.h"
#include "form1.h"
#include "ipaddressedit.h"
#include "ipbox.h"
#include "lamp.h"
#include "messageboxwatcher.h"
#include "mscomm.h"
#include "namedcontrols.h"
#include "ptypair.h"
#include "windowcontrols.h"
#include "windowonline.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QtTest>

#include <memory>

#include <private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>

namespace {

// One accessibility event as the bridge to a screen reader would have received it.
struct Announcement
{
    QAccessible::Event type;
    QObject *object;
    int child;
    QString value; // of a value change
};

QList<Announcement> announcements;

void recordAnnouncement(QAccessibleEvent *event)
{
    QString value;
    if (event->type() == QAccessible::ValueChanged)
        value = static_cast<QAccessibleValueChangeEvent *>(event)->value().toString();
    announcements.append({event->type(), event->object(), event->child(), value});
}

bool announced(QAccessible::Event type, QObject *object, const QString &value = {})
{
    for (const Announcement &a : announcements) {
        if (a.type == type && a.object == object && (value.isEmpty() || a.value == value))
            return true;
    }
    return false;
}

QString accessibleText(QObject *object, QAccessible::Text text)
{
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(object);
    return iface ? iface->text(text) : QStringLiteral("<no interface>");
}

} // namespace

class tst_Accessibility : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void namesOfControlsWithoutCaption_data();
    void namesOfControlsWithoutCaption();
    void everyControlHasAName();
    void lampsTellTheirState();
    void outButtonsDescribeTheirColour_data();
    void outButtonsDescribeTheirColour();
    void out2TurningRedIsAnnounced();
    void connectionChangeIsAnnounced();
    void deviceChangesAreSpoken_data();
    void deviceChangesAreSpoken();
    void optionSelectedAtTheFocusIsNotSpokenAgain();
    void actionFromScreenReaderReturnsBeforeTheBox_data();
    void actionFromScreenReaderReturnsBeforeTheBox();
    void windowAndPages();
    void addressBoxHasNumberedFields();

private:
    std::unique_ptr<WindowOnLine> m_window;
    Form1 *m_form = nullptr;
};

void tst_Accessibility::initTestCase()
{
    setUpPanelAppearance();
    // Events reach an update handler only while the platform's accessibility is active, which
    // a screen reader switches on; here the test does. The handler then gets every event
    // instead of the platform bridge.
    QPlatformAccessibility *platform =
        QGuiApplicationPrivate::platformIntegration()->accessibility();
    QVERIFY(platform);
    platform->setActive(true);
    QVERIFY(QAccessible::isActive());
    QAccessible::installUpdateHandler(recordAnnouncement);
}

void tst_Accessibility::init()
{
    m_window = std::make_unique<WindowOnLine>();
    m_window->start();
    m_form = &m_window->form();
    announcements.clear();
}

void tst_Accessibility::cleanup()
{
    QCOMPARE(m_window->boxes().count(), 0);
    m_form = nullptr;
    m_window.reset();
}

void tst_Accessibility::namesOfControlsWithoutCaption_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("name");
    auto row = [](const char *control, const char *name) {
        QTest::newRow(control) << QString::fromLatin1(control) << QString::fromLatin1(name);
    };
    row("Shape15", "Connected: lit"); // connected at start-up
    row("Shape16", "Disconnected: dark");
    row("ipBox1", "IP address");
    row("Combo1", "COM port");
    row("Command1", "Border vertical in");
    row("Form1", "Velquor");
}

void tst_Accessibility::namesOfControlsWithoutCaption()
{
    QFETCH(QString, control);
    QFETCH(QString, name);
    QWidget *widget = namedControls(*m_form).value(control);
    QVERIFY(widget);
#ifdef Q_OS_UNIX
    // Qt names a combo box by its text on Linux, where a label relation names the box; the
    // name given is what other platforms report.
    if (qobject_cast<QComboBox *>(widget)) {
        QCOMPARE(widget->accessibleName(), name);
        return;
    }
#endif
    QCOMPARE(accessibleText(widget, QAccessible::Name), name);
}

// Every control the window names is named to a screen reader too, by its caption where it
// has one.
void tst_Accessibility::everyControlHasAName()
{
    const QMap<QString, QWidget *> controls = namedControls(*m_form);
    QVERIFY(controls.size() > 70);
    for (auto it = controls.begin(); it != controls.end(); ++it) {
        const QString name = accessibleText(it.value(), QAccessible::Name);
        QVERIFY2(!name.isEmpty(), qPrintable(it.key()));
        // A combo box is named for what it chooses, not for its current text.
        const QString caption = captionOf(it.value());
        if (!caption.isEmpty() && !qobject_cast<QComboBox *>(it.value()))
            QCOMPARE(name, caption);
    }
}

void tst_Accessibility::lampsTellTheirState()
{
    QAccessibleInterface *green = QAccessible::queryAccessibleInterface(controls(m_form).Shape15);
    QAccessibleInterface *red = QAccessible::queryAccessibleInterface(controls(m_form).Shape16);
    QVERIFY(green && red);
    QCOMPARE(green->role(), QAccessible::StaticText);
    QCOMPARE(green->text(QAccessible::Value), QStringLiteral("lit")); // connected at start-up
    QCOMPARE(red->text(QAccessible::Value), QStringLiteral("dark"));
    controls(m_form).Command7->click(); // disconnect
    QCOMPARE(green->text(QAccessible::Name), QStringLiteral("Connected: dark"));
    QCOMPARE(red->text(QAccessible::Name), QStringLiteral("Disconnected: lit"));
}

void tst_Accessibility::outButtonsDescribeTheirColour_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QStringList>("descriptions"); // out1 .. out4
    const QString on = QStringLiteral("display attached");
    const QString off = QStringLiteral("no display");
    const QString none = QStringLiteral("not reported yet");
    QTest::newRow("before any reply") << QByteArray() << QStringList{none, none, none, none};
    QTest::newRow("out2 with a display")
        << QByteArray("s21\r\n") << QStringList{none, on, none, none};
    QTest::newRow("out2 without a display")
        << QByteArray("p20\r\n") << QStringList{none, off, none, none};
    QTest::newRow("all four reported")
        << QByteArray("s10\r\ns21\r\np30\r\np40\r\n") << QStringList{on, on, off, off};
}

void tst_Accessibility::outButtonsDescribeTheirColour()
{
    QFETCH(QByteArray, reply);
    QFETCH(QStringList, descriptions);
    if (!reply.isEmpty())
        QVERIFY(m_window->device().write(reply));
    for (int k = 0; k < 4; ++k)
        QTRY_COMPARE(accessibleText(controls(m_form).Command8[k], QAccessible::Description),
                     QStringLiteral("Out%1: ").arg(k + 1) + descriptions[k]);
}

void tst_Accessibility::out2TurningRedIsAnnounced()
{
    QVERIFY(m_window->device().write("p20\r\n"));
    QTRY_COMPARE(controls(m_form).Command8[1]->BackColor(), ColorButton::red);
    QVERIFY(announced(QAccessible::DescriptionChanged, controls(m_form).Command8[1]));
    QCOMPARE(accessibleText(controls(m_form).Command8[1], QAccessible::Description),
             QStringLiteral("Out2: no display"));
    for (int k : {0, 2, 3})
        QVERIFY(!announced(QAccessible::DescriptionChanged, controls(m_form).Command8[k]));

    // The same report again changes nothing, so nothing is announced.
    announcements.clear();
    QVERIFY(m_window->device().write("p20\r\n"));
    m_window->device().readFor(300); // the window has read and decoded it meanwhile
    QVERIFY(!announced(QAccessible::DescriptionChanged, controls(m_form).Command8[1]));
}

void tst_Accessibility::connectionChangeIsAnnounced()
{
    auto *news = m_form->findChild<ChangeAnnouncer *>();
    QVERIFY(news);
    QSignalSpy spoken(news, &ChangeAnnouncer::announced);
    controls(m_form).Command7->click(); // disconnect
    for (QObject *lamp : {controls(m_form).Shape15, controls(m_form).Shape16})
        QVERIFY(announced(QAccessible::NameChanged, lamp));
    QVERIFY(announced(QAccessible::NameChanged, controls(m_form).Command7)); // "Connect"
    QTRY_COMPARE(spoken.count(), 1);
    QCOMPARE(spoken.last().at(0).toString(), QStringLiteral("Disconnected: lit"));
    announcements.clear();
    controls(m_form).Command7->click(); // connect again
    QVERIFY(announced(QAccessible::NameChanged, controls(m_form).Shape15));
    QVERIFY(announced(QAccessible::NameChanged, controls(m_form).Command7));
    QTRY_COMPARE(spoken.count(), 2);
    QCOMPARE(spoken.last().at(0).toString(), QStringLiteral("Connected: lit"));
}

// What the device reports is spoken as one notice that shows, whatever has the focus.
void tst_Accessibility::deviceChangesAreSpoken_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("notice");
    QTest::newRow("out2 routed to IN3 by another controller")
        << QByteArray("s22\r\n") << QStringLiteral("Out2: display attached. Out2: IN3");
    QTest::newRow("display detached from out3")
        << QByteArray("p30\r\n") << QStringLiteral("Out3: no display");
    QTest::newRow("video-wall mode") << QByteArray("MD1\r\n") << QStringLiteral("Mode: Video wall");
    QTest::newRow("resolution") << QByteArray("RS8\r\n")
                                << QStringLiteral("Resolution Set: 1920X1200");
}

void tst_Accessibility::deviceChangesAreSpoken()
{
    QFETCH(QByteArray, reply);
    QFETCH(QString, notice);
    auto *news = m_form->findChild<ChangeAnnouncer *>();
    QSignalSpy spoken(news, &ChangeAnnouncer::announced);
    QVERIFY(m_window->device().write(reply));
    QTRY_COMPARE(spoken.count(), 1);
    QCOMPARE(news->notice(), notice);
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(news);
    QCOMPARE(iface->role(), QAccessible::Notification);
    QCOMPARE(iface->text(QAccessible::Name), notice);
    QVERIFY(announced(QAccessible::ObjectShow, news));
    QVERIFY(news->isHidden()); // nothing of it is seen
}

// The screen reader speaks the focused option as it becomes selected; the notice would repeat it.
void tst_Accessibility::optionSelectedAtTheFocusIsNotSpokenAgain()
{
    auto *news = m_form->findChild<ChangeAnnouncer *>();
    QSignalSpy spoken(news, &ChangeAnnouncer::announced);
    controls(m_form).Option4[2]->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(controls(m_form).Option4[2]->hasFocus());
    controls(m_form).Option4[2]->click();
    QCOMPARE(m_window->device().readFor(300), QByteArray::fromHex("0555191277"));
    QCOMPARE(spoken.count(), 0);
    controls(m_form).Option4[3]->setChecked(true); // as a reply selects it, away from the focus
    QTRY_COMPARE(spoken.count(), 1);
    QCOMPARE(news->notice(), QStringLiteral("Out2: IN4"));
}

// The click runs after the screen reader's request has returned, so the modal box it opens
// (the port is closed) does not hold the request.
void tst_Accessibility::actionFromScreenReaderReturnsBeforeTheBox_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("action");
    QTest::newRow("IN3 in the Out2 row")
        << QStringLiteral("Option4(2)") << QAccessibleActionInterface::toggleAction();
    QTest::newRow("Update") << QStringLiteral("Command6")
                            << QAccessibleActionInterface::pressAction();
}

void tst_Accessibility::actionFromScreenReaderReturnsBeforeTheBox()
{
    QFETCH(QString, control);
    QFETCH(QString, action);
    auto *button = qobject_cast<QAbstractButton *>(namedControls(*m_form).value(control));
    QVERIFY(button);
    controls(m_form).Command7->click(); // disconnect
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(button);
    QVERIFY(iface->actionInterface());
    QVERIFY(iface->actionInterface()->actionNames().contains(action));
    QSignalSpy clicked(button, &QAbstractButton::clicked);
    iface->actionInterface()->doAction(action);
    QCOMPARE(clicked.count(), 0);
    QCOMPARE(m_window->boxes().count(), 0);
    QTRY_COMPARE(m_window->boxes().count(), 1);
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(m_window->boxes().last().text, QStringLiteral("open serial port fail\uFF01 "));
    m_window->boxes().clear();
}

void tst_Accessibility::windowAndPages()
{
    QCOMPARE(QAccessible::queryAccessibleInterface(m_form)->role(), QAccessible::Window);
    const QStringList pages{QStringLiteral("Switch"), QStringLiteral("Resolution"),
                            QStringLiteral("IP Setting")};
    for (int k = 0; k < 3; ++k)
        QCOMPARE(accessibleText(controls(m_form).SSTab1->widget(k), QAccessible::Name), pages[k]);
    QWidget *stack = controls(m_form).SSTab1->widget(0)->parentWidget(); // named as the page shown

    // The tab of the page shown is the selected one; pressing a tab shows its page.
    QAccessibleInterface *bar =
        QAccessible::queryAccessibleInterface(controls(m_form).SSTab1->findChild<QTabBar *>());
    QCOMPARE(bar->role(), QAccessible::PageTabList);
    QCOMPARE(bar->childCount(), 3);
    auto selectedTabs = [bar] {
        QStringList names;
        for (int k = 0; k < bar->childCount(); ++k) {
            QAccessibleInterface *tab = bar->child(k);
            if (tab->state().selected)
                names << tab->text(QAccessible::Name);
            if (tab->role() != QAccessible::PageTab || bar->indexOfChild(tab) != k)
                return QStringList{QStringLiteral("<wrong tab>")};
        }
        return names;
    };
    QCOMPARE(selectedTabs(), QStringList{QStringLiteral("Switch")});
    bar->child(2)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QTRY_COMPARE(controls(m_form).SSTab1->currentIndex(), 2);
    QCOMPARE(selectedTabs(), QStringList{QStringLiteral("IP Setting")});
    QCOMPARE(accessibleText(stack, QAccessible::Name), QStringLiteral("IP Setting"));
}

void tst_Accessibility::addressBoxHasNumberedFields()
{
    controls(m_form).SSTab1->setCurrentIndex(2);
    controls(m_form).Option11->click();
    controls(m_form).ipBox1->setAddress(QStringLiteral("10.85.119.1"));
    IpAddressEdit *edit = controls(m_form).ipBox1->editor();
    QAccessibleInterface *box = QAccessible::queryAccessibleInterface(edit);
    QVERIFY(box);
    QCOMPARE(box->text(QAccessible::Name), QStringLiteral("IP address"));
    QCOMPARE(box->text(QAccessible::Value), QStringLiteral("10.85.119.1"));
    QCOMPARE(box->childCount(), 4);
    const char *values[4] = {"10", "85", "119", "1"};
    for (int k = 0; k < 4; ++k) {
        QAccessibleInterface *field = box->child(k);
        QVERIFY(field);
        QCOMPARE(field->text(QAccessible::Name), QStringLiteral("IP address field %1").arg(k + 1));
        QCOMPARE(field->text(QAccessible::Value), QLatin1String(values[k]));
        QCOMPARE(field->role(), QAccessible::EditableText);
        QVERIFY(field->state().editable);
        QVERIFY(field->textInterface());
        QCOMPARE(field->textInterface()->text(0, -1), QLatin1String(values[k]));
        QCOMPARE(field->parent(), box);
        QCOMPARE(box->indexOfChild(field), k);
        QCOMPARE(box->childAt(field->rect().center().x(), field->rect().center().y()), field);
    }

    // The caret going into another field is announced as that field taking the focus.
    edit->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(edit->hasFocus());
    QVERIFY(box->child(0)->state().focused);
    announcements.clear();
    QTest::keyClicks(edit, QStringLiteral("10."));
    QVERIFY(box->child(1)->state().focused);
    QVERIFY(!box->child(0)->state().focused);
    const bool toField2 = std::any_of(announcements.begin(), announcements.end(), [&](auto &a) {
        return a.type == QAccessible::Focus && a.object == edit && a.child == 1;
    });
    QVERIFY(toField2);

    // Typed, the address is the box's value and its description, and each field's new digits
    // are told as a text change.
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    announcements.clear();
    QTest::keyClicks(edit, QStringLiteral("192.168.1.100"));
    QCOMPARE(box->text(QAccessible::Description), QStringLiteral("192.168.1.100"));
    QCOMPARE(box->child(3)->textInterface()->text(0, -1), QStringLiteral("100"));
    QVERIFY(announced(QAccessible::DescriptionChanged, edit));
    const auto textChanges = std::count_if(announcements.begin(), announcements.end(), [](auto &a) {
        return a.type == QAccessible::TextUpdated;
    });
    QVERIFY(textChanges >= 4);
}

QTEST_MAIN(tst_Accessibility)
#include "tst_accessibility.moc"
