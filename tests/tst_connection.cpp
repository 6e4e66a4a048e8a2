// SPDX-License-Identifier: MIT
#include "form1.h"
#include "lamp.h"
#include "messageboxwatcher.h"
#include "mscomm.h"
#include "portmap.h"
#include "ptypair.h"
#include "scratchdir.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

const QString failureText = u"open serial port fail\uFF01 "_s;
const QByteArray statusRequest = QByteArray::fromHex("04552077");

} // namespace

// One window started in a scratch directory, COM1 on a pseudo-terminal whose master is the
// device, COM2 on a second one, every other port absent.
class Bench
{
public:
    Bench()
    {
        for (int port = 1; port <= 10; ++port)
            ports.map(port, u"/dev/velquor-absent-%1"_s.arg(port));
        ports.map(1, device.slavePath());
        ports.map(2, second.slavePath());
        form = std::make_unique<Form1>(ports);
        boxes.setWindow(form.get());
        form->Form_Load();
        form->show();
    }

    bool connected() const
    {
        return form->MSComm1->PortOpen() && form->Command7->text() == u"Disconnect" &&
               form->Shape15->FillStyle() == 1 && form->Shape16->FillStyle() == 0;
    }
    bool showsDisconnected() const
    {
        return form->Command7->text() == u"Connect" && form->Shape15->FillStyle() == 0 &&
               form->Shape16->FillStyle() == 1;
    }
    // The operator picks entry index from the list's popup.
    void choose(int index)
    {
        form->Combo1->setCurrentIndex(index);
        emit form->Combo1->activated(index);
    }

    ScratchDir dir;
    PtyPair device;
    PtyPair second;
    PortMap ports;
    MessageBoxWatcher boxes;
    std::unique_ptr<Form1> form;
};

class tst_Connection : public QObject
{
    Q_OBJECT

private slots:
    void disconnectSendsNothing();
    void connectSendsStatusRequest();
    void choosingAnotherPortWhileConnectedCloses();
    void choosingWhileDisconnectedChangesOnlyPortAndFile();
    void keyboardSelectionRunsTheHandler();
    void typedTextChangesNothing();
    void absentPortReportsEveryPress();
    void portHeldByAnotherHandle();
    void hangUpShowsDisconnectedWithoutMessage();
    void writeFailureAfterOpenClosesAgain();
    void unwritableFileIsIgnored();
    void timerTickOnlyStopsTheTimer();
};

void tst_Connection::disconnectSendsNothing()
{
    Bench bench;
    QVERIFY(bench.connected());
    bench.form->Command7->click();
    QVERIFY(!bench.form->MSComm1->PortOpen());
    QVERIFY(bench.showsDisconnected());
    QCOMPARE(bench.device.readFor(50), QByteArray());
    QCOMPARE(bench.boxes.count(), 0);
}

void tst_Connection::connectSendsStatusRequest()
{
    Bench bench;
    bench.form->Command7->click(); // disconnect
    bench.form->Command7->click(); // connect again
    QVERIFY(bench.connected());
    QCOMPARE(bench.device.read(statusRequest.size()), statusRequest);
    QCOMPARE(bench.device.readFor(50), QByteArray()); // exactly one frame
    QCOMPARE(bench.boxes.count(), 0);
}

void tst_Connection::choosingAnotherPortWhileConnectedCloses()
{
    Bench bench;
    QVERIFY(bench.connected());
    bench.choose(2); // "COM3"
    QVERIFY(!bench.form->MSComm1->PortOpen());
    QVERIFY(bench.showsDisconnected());
    QCOMPARE(int(bench.form->portNumber), 3);
    QCOMPARE(bench.dir.read(u"COMPORT"_s), QByteArray::fromHex("2032200d0a"));
    QCOMPARE(bench.device.readFor(50), QByteArray());

    // The new port opens with the next press only (COM3 is absent here).
    bench.form->Command7->click();
    QCOMPARE(bench.boxes.count(), 1);
    QCOMPARE(bench.boxes.last().text, failureText);
}

void tst_Connection::choosingWhileDisconnectedChangesOnlyPortAndFile()
{
    Bench bench;
    bench.form->Command7->click();
    QVERIFY(bench.showsDisconnected());
    bench.choose(1); // "COM2"
    QVERIFY(bench.showsDisconnected());
    QVERIFY(!bench.form->MSComm1->PortOpen());
    QCOMPARE(int(bench.form->portNumber), 2);
    QCOMPARE(bench.dir.read(u"COMPORT"_s), QByteArray::fromHex("2031200d0a"));

    bench.form->Command7->click();
    QVERIFY(bench.connected());
    QCOMPARE(bench.second.read(statusRequest.size()), statusRequest);
    QCOMPARE(bench.device.readFor(50), QByteArray());
}

void tst_Connection::keyboardSelectionRunsTheHandler()
{
    Bench bench;
    bench.form->Combo1->setFocus();
    QTest::keyClick(bench.form->Combo1, Qt::Key_Down);
    QCOMPARE(bench.form->Combo1->currentIndex(), 1);
    QCOMPARE(int(bench.form->portNumber), 2);
    QVERIFY(bench.showsDisconnected());
    QCOMPARE(bench.dir.read(u"COMPORT"_s), QByteArray::fromHex("2031200d0a"));
}

void tst_Connection::typedTextChangesNothing()
{
    Bench bench;
    QLineEdit *field = bench.form->Combo1->lineEdit();
    QVERIFY(field);
    field->selectAll();
    QTest::keyClicks(field, u"COM17"_s);
    QTest::keyClick(field, Qt::Key_Return);
    QCOMPARE(int(bench.form->portNumber), 1);
    // Not even the name of an entry: only a selection from the list chooses a port.
    field->selectAll();
    QTest::keyClicks(field, u"COM3"_s);
    QTest::keyClick(field, Qt::Key_Return);
    QCOMPARE(int(bench.form->portNumber), 1);
    QVERIFY(bench.connected());
    QCOMPARE(bench.dir.read(u"COMPORT"_s), QByteArray::fromHex("2030200d0a"));
}

void tst_Connection::absentPortReportsEveryPress()
{
    Bench bench;
    bench.choose(4); // COM5, absent
    for (int press = 1; press <= 2; ++press) {
        bench.form->Command7->click();
        QCOMPARE(bench.boxes.count(), press);
        const ShownMessageBox box = bench.boxes.last();
        QCOMPARE(box.text, failureText);
        QCOMPARE(box.title, u"ERROR"_s);
        QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(box.icon, QMessageBox::NoIcon);
        QVERIFY(box.windowVisible);
        QVERIFY(bench.showsDisconnected());
        QVERIFY(!bench.form->MSComm1->PortOpen());
    }
    QCOMPARE(bench.device.readFor(50), QByteArray());
}

void tst_Connection::portHeldByAnotherHandle()
{
    Bench bench;
    bench.form->Command7->click(); // release COM1
    QSerialPort holder(bench.device.slavePath());
    QVERIFY2(holder.open(QIODevice::ReadWrite), qPrintable(holder.errorString()));
    bench.form->Command7->click();
    QCOMPARE(bench.boxes.count(), 1);
    QCOMPARE(bench.boxes.last().text, failureText);
    QVERIFY(!bench.form->MSComm1->PortOpen());
    QVERIFY(bench.showsDisconnected());
    QCOMPARE(bench.device.readFor(50), QByteArray());
}

void tst_Connection::hangUpShowsDisconnectedWithoutMessage()
{
    Bench bench;
    QVERIFY(bench.connected());
    QSignalSpy lost(bench.form->MSComm1, &MSComm::linkLost);
    auto *port = bench.form->MSComm1->findChild<QSerialPort *>();
    QVERIFY(port);
    QSignalSpy errors(port, &QSerialPort::errorOccurred);

    bench.device.closeMaster();
    QTRY_VERIFY_WITH_TIMEOUT(bench.showsDisconnected(), 100);
    QVERIFY(!bench.form->MSComm1->PortOpen());
    QTest::qWait(300);
    QCOMPARE(lost.count(), 1);
    QVERIFY2(errors.count() < 20, qPrintable(QString::number(errors.count())));
    QCOMPARE(bench.boxes.count(), 0);
    QVERIFY(bench.showsDisconnected());
}

void tst_Connection::writeFailureAfterOpenClosesAgain()
{
    Bench bench;
    bench.form->Command7->click(); // disconnect
    // The line drops the moment the port has opened, before the frame is written.
    connect(bench.form->MSComm1, &MSComm::portOpenChanged, this, [&](bool open) {
        if (open)
            bench.device.closeMaster();
    });
    bench.form->Command7->click();
    QCOMPARE(bench.boxes.count(), 1);
    QCOMPARE(bench.boxes.last().text, failureText);
    QCOMPARE(bench.boxes.last().title, u"ERROR"_s);
    QVERIFY(!bench.form->MSComm1->PortOpen());
    QVERIFY(bench.showsDisconnected());
    QTest::qWait(100);
    QVERIFY(bench.showsDisconnected());
}

void tst_Connection::unwritableFileIsIgnored()
{
    Bench bench;
    bench.form->Command7->click(); // disconnected, so that the port is not released unprivileged
    QVERIFY(bench.dir.write(u"COMPORT"_s, " 0 \r\n"_ba));
    QVERIFY(makeDirectoryReadOnly(bench.dir.path(), true));
    {
        UnprivilegedFileAccess unprivileged;
        if (!unprivileged.isActive())
            QSKIP("cannot drop file access rights here");
        bench.choose(1);
    }
    QCOMPARE(int(bench.form->portNumber), 2);
    QVERIFY(bench.showsDisconnected());
    QCOMPARE(bench.boxes.count(), 0);
    QCOMPARE(bench.dir.read(u"COMPORT"_s), " 0 \r\n"_ba);
}

void tst_Connection::timerTickOnlyStopsTheTimer()
{
    Bench bench;
    QVERIFY(!bench.form->Timer2->isActive());
    bench.form->Timer2->start();
    QTRY_VERIFY(!bench.form->Timer2->isActive());
    QVERIFY(bench.connected());
    QCOMPARE(bench.device.readFor(20), QByteArray());
}

QTEST_MAIN(tst_Connection)
#include "tst_connection.moc"
