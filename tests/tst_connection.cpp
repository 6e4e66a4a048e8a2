// SPDX-License-Identifier: MIT
#include "form1.h"
#include "messageboxwatcher.h"
#include "mscomm.h"
#include "ptypair.h"
#include "scratchdir.h"
#include "windowcontrols.h"
#include "windowonline.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString failureText = u"open serial port fail\uFF01 "_s;
const QByteArray statusRequest = QByteArray::fromHex("04552077");

} // namespace

class tst_Connection : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

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

private:
    Form1 &form() const { return m_window->form(); }
    PtyPair &device() const { return m_window->device(); }
    MessageBoxWatcher &boxes() const { return m_window->boxes(); }
    bool connected() const { return form().MSComm1->PortOpen() && m_window->showsConnected(); }
    bool showsDisconnected() const { return m_window->showsDisconnected(); }
    void choose(int index) { m_window->choosePort(index); }

    std::unique_ptr<PtyPair> m_second;
    std::unique_ptr<WindowOnLine> m_window;
};

// One window started in a scratch directory, COM1 on a pseudo-terminal whose master is the
// device, COM2 on a second one, every other port absent.
void tst_Connection::init()
{
    m_second = std::make_unique<PtyPair>();
    WindowOnLine::Options options;
    for (int port = 2; port <= 10; ++port)
        options.ports.map(port, u"/dev/velquor-absent-%1"_s.arg(port));
    options.ports.map(2, m_second->slavePath());
    m_window = std::make_unique<WindowOnLine>(options);
    m_window->start();
}

void tst_Connection::cleanup()
{
    m_window.reset();
    m_second.reset();
}

void tst_Connection::disconnectSendsNothing()
{
    QVERIFY(connected());
    controls(form()).Command7->click();
    QVERIFY(!form().MSComm1->PortOpen());
    QVERIFY(showsDisconnected());
    QCOMPARE(device().readFor(50), QByteArray());
    QCOMPARE(boxes().count(), 0);
}

void tst_Connection::connectSendsStatusRequest()
{
    controls(form()).Command7->click(); // disconnect
    controls(form()).Command7->click(); // connect again
    QVERIFY(connected());
    QCOMPARE(device().read(statusRequest.size()), statusRequest);
    QCOMPARE(device().readFor(50), QByteArray()); // exactly one frame
    QCOMPARE(boxes().count(), 0);
}

void tst_Connection::choosingAnotherPortWhileConnectedCloses()
{
    QVERIFY(connected());
    choose(2); // "COM3"
    QVERIFY(!form().MSComm1->PortOpen());
    QVERIFY(showsDisconnected());
    QCOMPARE(int(form().portNumber), 3);
    QCOMPARE(m_window->dir().read(u"COMPORT"_s), QByteArray::fromHex("2032200d0a"));
    QCOMPARE(device().readFor(50), QByteArray());

    // The new port opens with the next press only (COM3 is absent here).
    controls(form()).Command7->click();
    QCOMPARE(boxes().count(), 1);
    QCOMPARE(boxes().last().text, failureText);
}

void tst_Connection::choosingWhileDisconnectedChangesOnlyPortAndFile()
{
    controls(form()).Command7->click();
    QVERIFY(showsDisconnected());
    choose(1); // "COM2"
    QVERIFY(showsDisconnected());
    QVERIFY(!form().MSComm1->PortOpen());
    QCOMPARE(int(form().portNumber), 2);
    QCOMPARE(m_window->dir().read(u"COMPORT"_s), QByteArray::fromHex("2031200d0a"));

    controls(form()).Command7->click();
    QVERIFY(connected());
    QCOMPARE(m_second->read(statusRequest.size()), statusRequest);
    QCOMPARE(device().readFor(50), QByteArray());
}

void tst_Connection::keyboardSelectionRunsTheHandler()
{
    controls(form()).Combo1->setFocus();
    QTest::keyClick(controls(form()).Combo1, Qt::Key_Down);
    QCOMPARE(controls(form()).Combo1->currentIndex(), 1);
    QCOMPARE(int(form().portNumber), 2);
    QVERIFY(showsDisconnected());
    QCOMPARE(m_window->dir().read(u"COMPORT"_s), QByteArray::fromHex("2031200d0a"));
}

void tst_Connection::typedTextChangesNothing()
{
    QLineEdit *field = controls(form()).Combo1->lineEdit();
    QVERIFY(field);
    field->selectAll();
    QTest::keyClicks(field, u"COM17"_s);
    QTest::keyClick(field, Qt::Key_Return);
    QCOMPARE(int(form().portNumber), 1);
    // Not even the name of an entry: only a selection from the list chooses a port.
    field->selectAll();
    QTest::keyClicks(field, u"COM3"_s);
    QTest::keyClick(field, Qt::Key_Return);
    QCOMPARE(int(form().portNumber), 1);
    QVERIFY(connected());
    QCOMPARE(m_window->dir().read(u"COMPORT"_s), QByteArray::fromHex("2030200d0a"));
}

void tst_Connection::absentPortReportsEveryPress()
{
    choose(4); // COM5, absent
    for (int press = 1; press <= 2; ++press) {
        controls(form()).Command7->click();
        QCOMPARE(boxes().count(), press);
        const ShownMessageBox box = boxes().last();
        QCOMPARE(box.text, failureText);
        QCOMPARE(box.title, u"ERROR"_s);
        QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(box.icon, QMessageBox::NoIcon);
        QVERIFY(box.windowVisible);
        QVERIFY(showsDisconnected());
        QVERIFY(!form().MSComm1->PortOpen());
    }
    QCOMPARE(device().readFor(50), QByteArray());
}

void tst_Connection::portHeldByAnotherHandle()
{
    controls(form()).Command7->click(); // release COM1
    QSerialPort holder(device().slavePath());
    QVERIFY2(holder.open(QIODevice::ReadWrite), qPrintable(holder.errorString()));
    controls(form()).Command7->click();
    QCOMPARE(boxes().count(), 1);
    QCOMPARE(boxes().last().text, failureText);
    QVERIFY(!form().MSComm1->PortOpen());
    QVERIFY(showsDisconnected());
    QCOMPARE(device().readFor(50), QByteArray());
}

void tst_Connection::hangUpShowsDisconnectedWithoutMessage()
{
    QVERIFY(connected());
    QSignalSpy lost(form().MSComm1, &MSComm::linkLost);
    auto *port = form().MSComm1->findChild<QSerialPort *>();
    QVERIFY(port);
    QSignalSpy errors(port, &QSerialPort::errorOccurred);

    device().closeMaster();
    QTRY_VERIFY_WITH_TIMEOUT(showsDisconnected(), 100);
    QVERIFY(!form().MSComm1->PortOpen());
    QTest::qWait(300);
    QCOMPARE(lost.count(), 1);
    QVERIFY2(errors.count() < 20, qPrintable(QString::number(errors.count())));
    QCOMPARE(boxes().count(), 0);
    QVERIFY(showsDisconnected());
}

void tst_Connection::writeFailureAfterOpenClosesAgain()
{
    controls(form()).Command7->click(); // disconnect
    // The line drops the moment the port has opened, before the frame is written.
    connect(form().MSComm1, &MSComm::portOpenChanged, this, [&](bool open) {
        if (open)
            device().closeMaster();
    });
    controls(form()).Command7->click();
    QCOMPARE(boxes().count(), 1);
    QCOMPARE(boxes().last().text, failureText);
    QCOMPARE(boxes().last().title, u"ERROR"_s);
    QVERIFY(!form().MSComm1->PortOpen());
    QVERIFY(showsDisconnected());
    QTest::qWait(100);
    QVERIFY(showsDisconnected());
}

void tst_Connection::unwritableFileIsIgnored()
{
    // Disconnected, so that the port is not released unprivileged.
    controls(form()).Command7->click();
    QVERIFY(m_window->dir().write(u"COMPORT"_s, " 0 \r\n"_ba));
    QVERIFY(makeDirectoryReadOnly(m_window->dir().path(), true));
    {
        UnprivilegedFileAccess unprivileged;
        if (!unprivileged.isActive())
            QSKIP("cannot drop file access rights here");
        choose(1);
    }
    QCOMPARE(int(form().portNumber), 2);
    QVERIFY(showsDisconnected());
    QCOMPARE(boxes().count(), 0);
    QCOMPARE(m_window->dir().read(u"COMPORT"_s), " 0 \r\n"_ba);
}

void tst_Connection::timerTickOnlyStopsTheTimer()
{
    QVERIFY(!controls(form()).Timer2->isActive());
    controls(form()).Timer2->start();
    QTRY_VERIFY(!controls(form()).Timer2->isActive());
    QVERIFY(connected());
    QCOMPARE(device().readFor(20), QByteArray());
}

QTEST_MAIN(tst_Connection)
#include "tst_connection.moc"
