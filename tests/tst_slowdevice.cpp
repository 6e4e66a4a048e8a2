// SPDX-License-Identifier: MIT
// A device that reads slower than the window and the control socket write to it: frames wait
// for it in order, the ones that do not fit are refused clearly, and none that was answered
// "ok" is lost.

#include "controlclient.h"
#include "errortrap.h"
#include "form1.h"
#include "hostilepeers.h"
#include "messageboxwatcher.h"
#include "mscomm.h"
#include "ptypair.h"
#include "windowcontrols.h"
#include "windowonline.h"

#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

class tst_SlowDevice : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void everyFrameAnsweredOkArrives();
    void refusedClickShowsTheBoxAndRepliesWait();

private:
    // Writes frames until the line refuses one: the device reads nothing meanwhile.
    QByteArray fillTheLine();

    std::unique_ptr<WindowOnLine> m_window;
};

// The window on COM1, a pseudo-terminal whose master the test reads (or not), with a client
// on the control socket.
void tst_SlowDevice::init()
{
    WindowOnLine::Options options;
    options.control = WindowOnLine::Control::Tcp;
    m_window = std::make_unique<WindowOnLine>(options);
    m_window->start();
}

void tst_SlowDevice::cleanup()
{
    m_window.reset();
}

QByteArray tst_SlowDevice::fillTheLine()
{
    MSComm &comm = *m_window->form().MSComm1;
    QByteArray taken;
    for (int i = 0; i < 20000; ++i) {
        ErrorTrap trap;
        trap.run([&] { comm.Output(QByteArray::fromHex("0555190077")); });
        if (trap.failed())
            break;
        taken += QByteArray::fromHex("0555190077");
    }
    return taken;
}

void tst_SlowDevice::everyFrameAnsweredOkArrives()
{
    // Faster than the matrix's 960 bytes a second, so that the test is short; still far
    // slower than the commands come.
    SlowDevice device(m_window->device(), 9600);
    ControlClient &client = m_window->client();
    QSignalSpy lost(m_window->form().MSComm1, &MSComm::linkLost);
    const int commands = 8000; // 40 KB of frames
    QByteArray burst;
    for (int i = 0; i < commands; ++i)
        burst += "route 1 2\n";
    client.send(burst);

    QList<QByteArray> answers;
    while (answers.size() < commands) {
        const std::optional<QByteArray> answer = client.nextLine(10000);
        QVERIFY2(answer, qPrintable(QString::number(answers.size())));
        answers.append(*answer);
    }
    const qsizetype ok = answers.count("ok"_ba);
    const qsizetype busy = answers.count("error line busy"_ba);
    QCOMPARE(ok + busy, qsizetype(commands));
    QVERIFY2(busy > 0, "the line never filled");
    QVERIFY(m_window->form().MSComm1->PortOpen());
    QCOMPARE(lost.count(), 0);

    // The device catches up: every frame answered ok has arrived, and nothing else.
    device.stop();
    const QByteArray expected = QByteArray::fromHex("0555190177").repeated(ok);
    QByteArray arrived = device.received();
    arrived += m_window->device().read(int(expected.size() - arrived.size()), 10000);
    QCOMPARE(arrived.size(), expected.size());
    QVERIFY(arrived == expected);
    QCOMPARE(m_window->device().readFor(100), QByteArray());
}

// A box from a click while the port is open, with a reply arriving meanwhile: the window
// changes nothing until the operator has closed it.
void tst_SlowDevice::refusedClickShowsTheBoxAndRepliesWait()
{
    Form1 &form = m_window->form();
    MessageBoxWatcher &boxes = m_window->boxes();
    ControlClient &client = m_window->client();
    const QByteArray taken = fillTheLine();
    QCOMPARE(client.ask("route 2 3"), "error line busy"_ba);
    QCOMPARE(boxes.count(), 0); // a command's refusal is its answer, not a box

    bool changedBehindTheBox = true;
    boxes.setOperator([&](QMessageBox *box) {
        QVERIFY(m_window->device().write("RS3\r\n"_ba));
        QTest::qWait(200);
        changedBehindTheBox = controls(form).Option1[3]->isChecked();
        m_window->device().read(int(taken.size()), 5000); // the device catches up
        box->button(QMessageBox::Ok)->click();
    });
    controls(form).Option3[1]->click(); // "IN2" in row "Out1"
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.last().text, u"open serial port fail\uFF01 "_s);
    QCOMPARE(boxes.last().title, u"ERROR"_s);
    QVERIFY(form.MSComm1->PortOpen());
    QVERIFY(m_window->showsConnected());
    QVERIFY(!changedBehindTheBox);

    // Once it is closed the reply is shown; the window follows it with its own frame.
    QTRY_VERIFY(controls(form).Option1[3]->isChecked());
    QCOMPARE(m_window->device().read(5), QByteArray::fromHex("0555220377"));
    QCOMPARE(boxes.count(), 1);
}

QTEST_MAIN(tst_SlowDevice)
#include "tst_slowdevice.moc"
