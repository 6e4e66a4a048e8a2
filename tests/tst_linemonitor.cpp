// SPDX-License-Identifier: MIT
// The line monitor: every frame written and every reply read, with its meaning and its time,
// in a window of its own and on the control socket; the hints it gives; the bound it keeps.

#include "console.h"
#include "controlserver.h"
#include "form1.h"
#include "lineentrymodel.h"
#include "linehints.h"
#include "linelog.h"
#include "linemonitor.h"
#include "messageboxwatcher.h"
#include "monitorwindow.h"
#include "ptyhost.h"
#include "scratchdir.h"
#include "windowcontrols.h"
#include "windowonline.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// The entries as "direction words", the way the monitor lists them.
QStringList listed(const LineEntryModel &model)
{
    QStringList lines;
    for (int row = 0; row < model.rowCount(); ++row)
        lines.append(model.entry(row).directionText() + u' ' + model.entry(row).words());
    return lines;
}

// What the window shows of the routes, the mode, the wall input and the resolution.
QString windowState(Form1 &form)
{
    const WindowControls w = controls(form);
    QString state;
    for (const ControlArray<QRadioButton> *group :
         {&w.Option3, &w.Option4, &w.Option5, &w.Option6, &w.Option2, &w.Option9, &w.Option1}) {
        for (const auto &[index, option] : *group)
            state += option->isChecked() ? u'x' : u'.';
        state += u' ';
    }
    return state;
}

} // namespace

class tst_LineMonitor : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void logKeepsTheLastEntries();
    void opensFromTheSwitchPage_data();
    void opensFromTheSwitchPage();
    void showsAChangeAtTheDeviceAsAReplyAndItsEcho();
    void hints_data();
    void hints();
    void pauseClearSaveAndCopy();
    void ctlMonitorStreamsTheEntries();

private:
    // The console of the emulator, as a person types at it.
    void typeAtConsole(const QString &line);
    MonitorWindow &openMonitor();

    std::unique_ptr<WindowOnLine> m_window;
    Form1 *m_form = nullptr;
    PtyHost *m_host = nullptr;
    LineMonitor *m_monitor = nullptr;
};

void tst_LineMonitor::init()
{
    WindowOnLine::Options options;
    options.device = WindowOnLine::Device::Emulator;
    options.startUp = WindowOnLine::StartUp::Reconnects; // Connect sends the status request
    options.lineMonitor = true;
    options.control = WindowOnLine::Control::Local;
    m_window = std::make_unique<WindowOnLine>(options);
    m_window->start();
    m_form = &m_window->form();
    m_host = &m_window->host();
    m_monitor = &m_window->monitor();
    // The answer to Connect's request, and the device's answers to the window's echoes.
    QTRY_VERIFY(m_host->isIdle() && m_monitor->log().size() >= 15);
    QTest::qWait(300);
}

void tst_LineMonitor::cleanup()
{
    m_window.reset();
}

void tst_LineMonitor::typeAtConsole(const QString &line)
{
    QString error;
    const std::optional<ConsoleCommand> command = parseConsoleCommand(line, &error);
    QVERIFY2(command, qPrintable(error));
    m_host->carryOut(*command);
}

MonitorWindow &tst_LineMonitor::openMonitor()
{
    m_monitor->openAction()->trigger();
    MonitorWindow *window = m_monitor->window();
    if (!QTest::qWaitForWindowExposed(window))
        qWarning("the line monitor was not shown");
    return *window;
}

void tst_LineMonitor::logKeepsTheLastEntries()
{
    LineLog log;
    LineEntryModel model(log);
    const qsizetype capacity = LineLog::capacity;
    QCOMPARE(capacity, 10000);
    const auto add = [&](qint64 count) {
        for (qint64 i = 0; i < count; ++i)
            log.append({qint64(log.endNumber()), LineEntry::Direction::In, "s21"_ba});
    };
    add(capacity + 50);
    model.refresh();
    QCOMPARE(log.size(), capacity);
    QCOMPARE(log.at(0).ms, 50);
    QCOMPARE(model.rowCount(), int(capacity));
    QCOMPARE(model.entry(0).ms, 50);

    // A pause keeps what the list shows; going on takes what the log still holds.
    model.setPaused(true);
    add(7);
    QCOMPARE(model.rowCount(), int(capacity));
    QCOMPARE(model.unseen(), 7u);
    model.setPaused(false);
    QCOMPARE(model.rowCount(), int(capacity));
    QCOMPARE(model.entry(0).ms, 57);
    QCOMPARE(model.entry(int(capacity) - 1).ms, qint64(capacity) + 56);

    // More than the bound while paused: the list starts again from what the log keeps.
    model.setPaused(true);
    add(capacity + 3);
    model.setPaused(false);
    QCOMPARE(model.rowCount(), int(capacity));
    QCOMPARE(model.entry(0).ms, log.at(0).ms);

    log.clear();
    QCOMPARE(model.rowCount(), 0);
    add(2);
    model.refresh();
    QCOMPARE(model.rowCount(), 2);
}

void tst_LineMonitor::opensFromTheSwitchPage_data()
{
    QTest::addColumn<bool>("byMenu");
    QTest::newRow("the page's context menu, over a route option") << true;
    QTest::newRow("Ctrl+L") << false;
}

void tst_LineMonitor::opensFromTheSwitchPage()
{
    QFETCH(bool, byMenu);
    QWidget *page = controls(m_form).SSTab1->widget(0);
    QRadioButton *over = controls(m_form).Option4[2];
    QVERIFY(page->isAncestorOf(over));
    if (byMenu) {
        QStringList entries;
        QTimer::singleShot(0, qApp, [&] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            if (!menu)
                return;
            for (QAction *action : menu->actions())
                entries.append(action->text());
            menu->close();
            m_monitor->openAction()->trigger(); // the operator's choice
        });
        const QPoint at(3, 3);
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, over->mapToGlobal(at));
        QApplication::sendEvent(over, &event);
        // Behind the presets' entries, after a line.
        QCOMPARE(entries.mid(entries.size() - 2),
                 (QStringList{QString(), u"Line monitor\u2026"_s}));
    } else {
        QTest::keyClick(m_form, Qt::Key_L, Qt::ControlModifier);
    }
    QVERIFY(m_monitor->window());
    QVERIFY(QTest::qWaitForWindowExposed(m_monitor->window()));
    // Its own window: the panel's window is neither covered by a modal box nor disabled.
    QVERIFY(!QApplication::activeModalWidget());
    QVERIFY(m_form->isEnabled());
    // What happened before it was opened is there.
    QTRY_VERIFY(m_monitor->window()->model().rowCount() >= 15);
}

void tst_LineMonitor::showsAChangeAtTheDeviceAsAReplyAndItsEcho()
{
    MonitorWindow &window = openMonitor();
    // The window's answers to the connect's report have gone out.
    QTRY_VERIFY(
        listed(window.model()).contains(u"echo Route: IN4 \u2192 Out4 (from the Out4 row)"_s));
    controls(m_form).Command6->click(); // Update
    QTRY_VERIFY(m_host->isIdle());
    QTest::qWait(100);
    typeAtConsole(u"route 2 3"_s);
    QTRY_VERIFY(listed(window.model()).contains(u"in s22: output 2 shows IN3"_s));
    QTRY_VERIFY(m_host->isIdle());
    QTest::qWait(300);
    QTRY_COMPARE(window.model().rowCount(), int(m_monitor->log().size()));

    const QStringList lines = listed(window.model());
    const QString request = u"out StatusRequest: asks the device for its state"_s;
    // Connect: the request, the report, each route the window did not show yet sent back.
    QCOMPARE(lines.first(), request);
    QCOMPARE(lines.mid(1, 2), (QStringList{u"in s10: output 1 shows IN1"_s,
                                           u"echo Route: IN1 \u2192 Out1 (from the Out1 row)"_s}));
    // Update: the report again, nothing to send back.
    const qsizetype update = lines.lastIndexOf(request);
    QVERIFY(update > 0);
    QCOMPARE(lines.mid(update + 1, 7),
             (QStringList{u"in s10: output 1 shows IN1"_s, u"in s21: output 2 shows IN2"_s,
                          u"in s32: output 3 shows IN3"_s, u"in s43: output 4 shows IN4"_s,
                          u"in MD0: matrix mode"_s, u"in RS1: resolution 1080P@60"_s,
                          u"in MP0: video-wall input IN1"_s}));
    // The console's change: the report, and right behind it the window's echo.
    const qsizetype change = lines.indexOf(u"in s22: output 2 shows IN3"_s);
    QVERIFY(change > update);
    QCOMPARE(lines.value(change + 1), u"echo Route: IN3 \u2192 Out2 (from the Out2 row)"_s);
    QCOMPARE(window.hintLine()->text(),
             u"Hint: Out2 now shows IN3: changed at the device or by another controller"_s);

    // Times count from the open, in order; the hex is the bytes on the line.
    qint64 before = 0;
    for (int row = 0; row < window.model().rowCount(); ++row) {
        const LineEntry &entry = window.model().entry(row);
        QVERIFY2(entry.ms >= before && entry.ms < 60000, qPrintable(entry.text()));
        before = entry.ms;
    }
    QCOMPARE(window.model().entry(int(change + 1)).hex(), u"05 55 19 12 77"_s);
    QCOMPARE(window.model().data(window.model().index(int(change), LineEntryModel::Hex),
                                 Qt::DisplayRole),
             QVariant(u"73 32 32"_s));
    QCOMPARE(m_window->boxes().count(), 0);

    window.view()->scrollToBottom();
    QTest::qWait(50);
    QVERIFY(window.grab().save(QStringLiteral(VELQUOR_TEST_OUTPUT_DIR "/line-monitor.png")));
}

void tst_LineMonitor::hints_data()
{
    QTest::addColumn<QString>("console");
    QTest::addColumn<bool>("update");
    QTest::addColumn<int>("notBeforeMs");
    QTest::addColumn<QString>("hint");

    QTest::newRow("noise instead of replies: baud rate")
        << u"junk on"_s << true << 1500
        << u"bytes arrive but none is a reply: baud rate or device?"_s;
    QTest::newRow("noise on its own, no request")
        << u"junk 7"_s << false << 1500
        << u"bytes arrive but none is a reply: baud rate or device?"_s;
    QTest::newRow("nothing comes back: cable")
        << u"silence on"_s << true << 700 << u"no answer: cable, adapter, or TX/RX swapped?"_s;
    QTest::newRow("a route changed at the device")
        << u"route 2 3"_s << false << 0
        << u"Out2 now shows IN3: changed at the device or by another controller"_s;
}

void tst_LineMonitor::hints()
{
    QFETCH(QString, console);
    QFETCH(bool, update);
    QFETCH(int, notBeforeMs);
    QFETCH(QString, hint);
    MonitorWindow &window = openMonitor();
    QVERIFY(window.hintLine()->isHidden());
    const QString shownBefore = windowState(*m_form);

    typeAtConsole(console);
    if (update)
        controls(m_form).Command6->click();
    if (notBeforeMs > 0) {
        QTest::qWait(notBeforeMs);
        QCOMPARE(m_monitor->hints().hint(), QString());
    }
    QTRY_COMPARE_WITH_TIMEOUT(m_monitor->hints().hint(), hint, 4000);
    QVERIFY(window.hintLine()->isVisible());
    QCOMPARE(window.hintLine()->text(), u"Hint: "_s + hint);

    // Nothing else: no box, and the window shows what the device reported, nothing more.
    QCOMPARE(m_window->boxes().count(), 0);
    if (!console.startsWith(u"route"_s))
        QCOMPARE(windowState(*m_form), shownBefore);
    else
        QVERIFY(controls(m_form).Option4[2]->isChecked());

    // A line that answers again ends the first two cases.
    if (console != u"route 2 3"_s) {
        typeAtConsole(console.startsWith(u"silence"_s) ? u"silence off"_s : u"junk off"_s);
        controls(m_form).Command6->click();
        QTRY_COMPARE(m_monitor->hints().hint(), QString());
        QVERIFY(window.hintLine()->isHidden());
    }
}

void tst_LineMonitor::pauseClearSaveAndCopy()
{
    MonitorWindow &window = openMonitor();
    QTRY_COMPARE(window.model().rowCount(), int(m_monitor->log().size()));
    const int shown = window.model().rowCount();

    window.pauseButton()->click();
    controls(m_form).Command6->click();
    QTRY_VERIFY(m_monitor->log().size() >= shown + 8);
    QTest::qWait(3 * MonitorWindow::refreshMs);
    QCOMPARE(window.model().rowCount(), shown);
    QVERIFY2(window.findChild<QLabel *>(u"count"_s)->text().contains(u"paused"_s),
             qPrintable(window.findChild<QLabel *>(u"count"_s)->text()));
    window.pauseButton()->click();
    QTRY_COMPARE(window.model().rowCount(), int(m_monitor->log().size()));

    // Two lines selected, copied as Save writes them.
    window.view()->selectRow(2);
    window.view()->selectionModel()->select(
        window.model().index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    window.copyButton()->click();
    const QString copied = QGuiApplication::clipboard()->text();
    QCOMPARE(copied,
             window.model().entry(0).text() + u'\n' + window.model().entry(2).text() + u'\n');
    QVERIFY2(
        copied.contains(u"\tout\t04 55 20 77\tStatusRequest: asks the device for its state\n"_s),
        qPrintable(copied));

    const QString path = m_window->dir().filePath(u"line.txt"_s);
    QString why;
    QVERIFY2(window.saveAs(path, &why), qPrintable(why));
    const QList<QByteArray> saved = m_window->dir().read(u"line.txt"_s).split('\n');
    QCOMPARE(saved.size(), window.model().rowCount() + 1); // and the last line's end
    QCOMPARE(QString::fromUtf8(saved.at(2)), window.model().entry(2).text());
    QVERIFY(!window.saveAs(m_window->dir().filePath(u"no/such/folder/line.txt"_s), &why));
    QVERIFY(!why.isEmpty());

    window.clearButton()->click();
    QCOMPARE(window.model().rowCount(), 0);
    QCOMPARE(m_monitor->log().size(), 0);
}

void tst_LineMonitor::ctlMonitorStreamsTheEntries()
{
    QProcess ctl;
    ctl.start(
        QStringLiteral(VELQUOR_CTL_PROGRAM),
        {u"--control"_s, u"unix:"_s + m_window->dir().filePath(u"velquor.sock"_s), u"monitor"_s});
    QVERIFY(ctl.waitForStarted());
    // The panel streams once it has read the request, which nothing outside shows: Update is
    // pressed until its request comes through. The presses before it may still be on the line
    // when the route below goes out, so their answers can come between the route and its report.
    QByteArray out;
    QTRY_VERIFY(m_window->controlServer().clientCount() == 2);
    QTRY_VERIFY((controls(m_form).Command6->click(), out += ctl.readAllStandardOutput())
                    .contains("\tout\t04 55 20 77\tStatusRequest"));
    QTRY_VERIFY(m_host->isIdle());

    controls(m_form).Option5[0]->click(); // IN1 to out3, as the operator would
    const QByteArray route =
        "\tout\t05 55 19 20 77\tRoute: IN1 \xe2\x86\x92 Out3 (from the Out3 row)";
    const QByteArray report = "\tin\t73 33 30\ts30: output 3 shows IN1";
    QTRY_VERIFY((out += ctl.readAllStandardOutput()).endsWith(report + '\n'));
    // Every line printed is the monitor's entry, in the monitor's order, with none left out,
    // up to its last one; and the route is among them before its report.
    const QList<QByteArray> lines = out.trimmed().split('\n');
    const LineLog &log = m_monitor->log();
    QVERIFY2(lines.size() <= log.size(), out.constData());
    const qsizetype first = log.size() - lines.size();
    for (qsizetype i = 0; i < lines.size(); ++i)
        QCOMPARE(QString::fromUtf8(lines.at(i)), log.at(first + i).text());
    QVERIFY2(std::any_of(lines.cbegin(), lines.cend() - 1,
                         [&route](const QByteArray &line) { return line.endsWith(route); }),
             out.constData());
    ctl.kill();
    ctl.waitForFinished();
}

QTEST_MAIN(tst_LineMonitor)
#include "tst_linemonitor.moc"
