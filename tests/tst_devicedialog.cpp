// SPDX-License-Identifier: MIT
// "Serial devices…": choosing which device a COM port opens, from the window.

#include "colorbutton.h"
#include "devicedialog.h"
#include "form1.h"
#include "messageboxwatcher.h"
#include "mscomm.h"
#include "programrun.h"
#include "ptypair.h"
#include "serialdevices.h"
#include "usersettings.h"
#include "windowcontrols.h"
#include "windowonline.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

void clickSave(DeviceDialog *dialog)
{
    dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Save)->click();
}

// Runs check on the modal dialog that open() brings up, once it is up.
template <typename Open, typename Check> bool withDialog(Open &&open, Check &&check)
{
    bool seen = false;
    QTimer::singleShot(0, qApp, [&] {
        auto *dialog = qobject_cast<DeviceDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        seen = true;
        check(dialog);
        if (dialog->isVisible())
            dialog->reject();
    });
    open();
    return seen;
}

// What a route or mode report changes: out2's colour, the route on the Out2 row, the mode.
QString reportedState(Form1 &form)
{
    const WindowControls w = controls(form);
    QString state = QString::number(w.Command8[1]->BackColor(), 16) + u' ';
    for (const ControlArray<QRadioButton> *group : {&w.Option4, &w.Option2}) {
        for (const auto &[index, option] : *group)
            state += option->isChecked() ? u'x' : u'.';
    }
    return state;
}

} // namespace

class tst_DeviceDialog : public QObject
{
    Q_OBJECT

private slots:
    void stablePathIsTheLinkToTheDevice();
    void chooseSaveAndConnect();
    void portListContextMenuOffersIt_data();
    void portListContextMenuOffersIt();
    void typedPathIsCheckedBeforeSaving_data();
    void typedPathIsCheckedBeforeSaving();
    void repliesWaitWhileItIsOpen_data();
    void repliesWaitWhileItIsOpen();
};

void tst_DeviceDialog::stablePathIsTheLinkToTheDevice()
{
    PtyPair linked;
    PtyPair unlinked;
    QTemporaryDir byId;
    QVERIFY(QFile::link(u"/dev/null"_s, byId.filePath(u"usb-Other_B2-if00"_s)));
    QVERIFY(QFile::link(linked.slavePath(), byId.filePath(u"usb-Maker_A1-if00"_s)));
    QCOMPARE(stablePathOf(linked.slavePath(), byId.path()), byId.filePath(u"usb-Maker_A1-if00"_s));
    QCOMPARE(stablePathOf(unlinked.slavePath(), byId.path()), QString());
    QCOMPARE(stablePathOf(linked.slavePath(), u"/nonexistent"_s), QString());
}

void tst_DeviceDialog::chooseSaveAndConnect()
{
    QTemporaryDir config;
    const QByteArray previous = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    const auto restore = qScopeGuard([&] { qputenv("XDG_CONFIG_HOME", previous); });

    PtyPair adapter;               // the device found now, to be chosen for COM3
    WindowOnLine::Options options; // COM1 on the line the test holds, connected at start
    options.ports.map(2, u"/dev/velquor-from-command-line"_s); // as --port gives it, for this run
    WindowOnLine window(options);
    window.start();
    PtyPair &first = window.device();
    Form1 &form = window.form();
    MessageBoxWatcher &boxes = window.boxes();
    controls(form).findDevices = [&] {
        return QList<SerialDevice>{
            {QString(), adapter.slavePath(), u"Matrix adapter"_s, u"Maker"_s, u"A1"_s}};
    };
    QVERIFY(form.MSComm1->PortOpen());

    const bool shown = withDialog(
        [&] { QTest::keyClick(&form, Qt::Key_D, Qt::ControlModifier); },
        [&](DeviceDialog *dialog) {
            QCOMPARE(dialog->windowTitle(), u"Serial devices"_s);
            QCOMPARE(dialog->field(1)->currentText(), first.slavePath());
            QCOMPARE(dialog->field(3)->currentText(), QString());
            QCOMPARE(dialog->field(3)->lineEdit()->placeholderText(), u"/dev/ttyS2"_s);
            QCOMPARE(dialog->field(3)->count(), 1);
            const QString offered = dialog->field(3)->itemText(0);
            for (const QString &part :
                 {adapter.slavePath(), u"Matrix adapter"_s, u"Maker"_s, u"A1"_s})
                QVERIFY2(offered.contains(part), qPrintable(offered));
            // The operator picks the adapter; the field keeps its path alone.
            dialog->field(3)->setCurrentIndex(0);
            emit dialog->field(3)->activated(0);
            QCOMPARE(dialog->field(3)->currentText(), adapter.slavePath());
            dialog->grab().save(QStringLiteral(VELQUOR_TEST_OUTPUT_DIR "/serial-devices.png"));
            clickSave(dialog);
        });
    QVERIFY(shown);
    QCOMPARE(boxes.count(), 0);

    // Saved, without the command line's entry; the open port stayed open; the tooltip follows.
    UserSettings saved;
    saved.load();
    QCOMPARE(saved.path(), config.filePath(u"velquor/velquor.conf"_s));
    QVERIFY(saved.ports().isMapped(3));
    QCOMPARE(saved.ports().deviceFor(3), adapter.slavePath());
    QVERIFY(!saved.ports().isMapped(1) && !saved.ports().isMapped(2));
    QVERIFY(form.MSComm1->PortOpen());
    QVERIFY(flockHeldElsewhere(first.slavePath()));
    QCOMPARE(controls(form).Combo1->itemData(2, Qt::ToolTipRole).toString(), adapter.slavePath());

    // The next Connect on COM3 opens the chosen device.
    window.choosePort(2);
    QVERIFY(!form.MSComm1->PortOpen());
    controls(form).Command7->click();
    QCOMPARE(adapter.read(4), QByteArray::fromHex("04552077"));
    QVERIFY(form.MSComm1->PortOpen());
    QCOMPARE(controls(form).Command7->text(), u"Disconnect"_s);
}

void tst_DeviceDialog::portListContextMenuOffersIt_data()
{
    QTest::addColumn<bool>("overTextField");
    QTest::newRow("over the list's button") << false;
    QTest::newRow("over its text field") << true;
}

void tst_DeviceDialog::portListContextMenuOffersIt()
{
    QFETCH(bool, overTextField);
    WindowOnLine::Options options; // no line: the platform's own ports
    options.device = WindowOnLine::Device::None;
    options.startUp = WindowOnLine::StartUp::AsItComes;
    WindowOnLine window(options);
    window.start();
    Form1 &form = window.form();
    controls(form).findDevices = [] { return QList<SerialDevice>{}; };
    QWidget *target = overTextField ? static_cast<QWidget *>(controls(form).Combo1->lineEdit())
                                    : static_cast<QWidget *>(controls(form).Combo1);

    QStringList entries;
    QTimer::singleShot(0, qApp, [&] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu)
            return;
        for (QAction *action : menu->actions()) {
            if (action == controls(form).serialDevicesAction)
                entries.append(action->text());
        }
        menu->close();
    });
    const QPoint at(5, 5);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, target->mapToGlobal(at));
    QApplication::sendEvent(target, &event);
    // The window's own action, the one Ctrl+D triggers.
    QCOMPARE(entries, QStringList{u"Serial devices\u2026"_s});
    QCOMPARE(controls(form).serialDevicesAction->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_D));
}

void tst_DeviceDialog::typedPathIsCheckedBeforeSaving_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("problemSays");
    QTest::newRow("a relative path") << u"ttyUSB7"_s << u"COM4: \"ttyUSB7\" is not a device path"_s;
    QTest::newRow("a path past the system's limit")
        << u"/dev/"_s + QString(5000, u'x') << u"longer than the system's limit"_s;
}

void tst_DeviceDialog::typedPathIsCheckedBeforeSaving()
{
    QFETCH(QString, typed);
    QFETCH(QString, problemSays);
    PortMap ports;
    ports.map(1, u"/dev/ttyUSB0"_s);
    DeviceDialog dialog(ports, {});
    dialog.show();
    dialog.field(4)->setEditText(typed);
    clickSave(&dialog);
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QVERIFY(dialog.isVisible());
    auto *problem = dialog.findChild<QLabel *>(u"problem"_s);
    QVERIFY2(problem->isVisible() && problem->text().contains(problemSays),
             qPrintable(problem->text().left(300)));
    QVERIFY2(problem->text().size() < 200, qPrintable(problem->text().left(300)));

    dialog.field(4)->setEditText(u" /dev/ttyUSB7 "_s);
    dialog.field(1)->setEditText(QString()); // back to the default device
    clickSave(&dialog);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    const std::map<int, QString> expected{{1, QString()}, {4, u"/dev/ttyUSB7"_s}};
    QCOMPARE(dialog.changes(), expected);
}

void tst_DeviceDialog::repliesWaitWhileItIsOpen_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("echo"); // what the decoded reply sends back
    QTest::addColumn<bool>("saveFails");  // the reply comes while the warning box waits
    const QByteArray route = QByteArray::fromHex("0555191177");
    const QByteArray mode = QByteArray::fromHex("0555210177");
    QTest::newRow("route report while the dialog waits") << "s21\r\n"_ba << route << false;
    QTest::newRow("mode report while the dialog waits") << "MD1\r\n"_ba << mode << false;
    QTest::newRow("route report while \"could not be saved\" waits")
        << "s21\r\n"_ba << route << true;
}

void tst_DeviceDialog::repliesWaitWhileItIsOpen()
{
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, echo);
    QFETCH(bool, saveFails);
    // A plain file where the settings' folder would be: nothing can be saved under it.
    QTemporaryDir config;
    QFile blocker(config.filePath(u"file"_s));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    const QByteArray previous = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(saveFails ? blocker.fileName() : config.path()));
    const auto restore = qScopeGuard([&] { qputenv("XDG_CONFIG_HOME", previous); });

    WindowOnLine window;
    window.start();
    if (QTest::currentTestFailed())
        return;
    Form1 &form = window.form();
    controls(form).findDevices = [] { return QList<SerialDevice>{}; };
    window.sent(0);
    const QString before = reportedState(form);

    QByteArray sentMeanwhile;
    QString stateMeanwhile;
    const auto deviceReplies = [&] {
        QVERIFY(window.device().write(reply));
        sentMeanwhile = window.sent(0); // events run for a while, far past the settle time
        stateMeanwhile = reportedState(form);
    };
    if (saveFails) {
        window.boxes().setOperator([&](QMessageBox *box) {
            deviceReplies();
            box->button(QMessageBox::Ok)->click();
        });
    }
    const bool shown = withDialog([&] { controls(form).serialDevicesAction->trigger(); },
                                  [&](DeviceDialog *dialog) {
                                      if (!saveFails) {
                                          deviceReplies();
                                          return;
                                      }
                                      dialog->field(3)->setEditText(u"/dev/ttyUSB7"_s);
                                      clickSave(dialog);
                                  });
    QVERIFY(shown);
    QCOMPARE(window.boxes().count(), saveFails ? 1 : 0);
    QVERIFY(!stateMeanwhile.isNull());
    QCOMPARE(sentMeanwhile.toHex(' '), QByteArray());
    QCOMPARE(stateMeanwhile, before);

    // Closed: the reply is decoded now, and its echo goes out once.
    QCOMPARE(window.sent(echo.size()).toHex(' '), echo.toHex(' '));
    QVERIFY(reportedState(form) != before);
}

QTEST_MAIN(tst_DeviceDialog)
#include "tst_devicedialog.moc"
