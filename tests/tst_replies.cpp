#include "appearance.h"
#include "colorbutton.h"
#include "errortrap.h"
#include "form1.h"
#include "messageboxwatcher.h"
#include "mscomm.h"
#include "portmap.h"
#include "ptypair.h"
#include "scratchdir.h"

#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString confirmationText = u"Set IP address successfully\uFF01 "_s;

// The window on COM1, a pseudo-terminal whose master is the device, in a scratch directory.
// Replies are written to the master; every receive event the port raises is counted.
class Bench
{
public:
    Bench()
    {
        ports.map(1, device.slavePath());
        form = std::make_unique<Form1>(ports);
        boxes.setWindow(form.get());
        face = form->Command8[0]->BackColor();
        ErrorTrap trap;
        trap.run([this] {
            form->MSComm1->setCommPort(1);
            form->MSComm1->setPortOpen(true);
        });
        opened = trap.error() == 0;
        received = std::make_unique<QSignalSpy>(form->MSComm1, &MSComm::OnComm);
    }

    // "g" green, "r" red, "." the button face it started with, one letter per out button.
    QString colours() const
    {
        QString letters;
        for (const auto &[index, button] : form->Command8) {
            const quint32 colour = button->BackColor();
            letters += colour == ColorButton::green ? u'g'
                       : colour == ColorButton::red ? u'r'
                       : colour == face             ? u'.'
                                                    : u'?';
        }
        return letters;
    }

    // The selected member index of a group, "-" when none, "*" when several.
    static QString selected(const ControlArray<QRadioButton> &options)
    {
        QString member = u"-"_s;
        int checked = 0;
        for (const auto &[index, option] : options) {
            if (option->isChecked() && ++checked == 1)
                member = QString::number(index);
        }
        return checked > 1 ? u"*"_s : member;
    }

    // The switching rows Out1..Out4 (Option3..Option6), one character each.
    QString routes() const
    {
        return selected(form->Option3) + selected(form->Option4) + selected(form->Option5) +
               selected(form->Option6);
    }

    // "<enabled buttons of the twenty switching buttons>/<enabled of the four wall inputs>".
    QString enabled() const
    {
        int rows = 0;
        for (const auto *row :
             {&form->Option3, &form->Option4, &form->Option5, &form->Option6, &form->Option7}) {
            for (const auto &[index, option] : *row)
                rows += option->isEnabled();
        }
        int wall = 0;
        for (const auto &[index, option] : form->Option9)
            wall += option->isEnabled();
        return u"%1/%2"_s.arg(rows).arg(wall);
    }

    // "<colours> <routes> <selected Option9, Option2, Option1> <enabled>".
    QString state() const
    {
        const Form1 &f = *form;
        return u"%1 %2 %3 %4"_s.arg(colours(), routes(),
                                    selected(f.Option9) + selected(f.Option2) + selected(f.Option1),
                                    enabled());
    }

    // Everything the window has sent: the frames are flushed inside the handler, so once
    // the receive event is over they are on the line; count bytes are awaited, then any
    // surplus is taken as well.
    QByteArray sent(qsizetype count = 0)
    {
        QByteArray bytes = device.read(int(count));
        return bytes + device.readAvailable();
    }

    ScratchDir dir;
    PtyPair device;
    PortMap ports;
    MessageBoxWatcher boxes;
    std::unique_ptr<Form1> form;
    std::unique_ptr<QSignalSpy> received;
    quint32 face = 0;
    bool opened = false;
};

} // namespace

class tst_Replies : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void replyDrivesWindow_data();
    void replyDrivesWindow();
    void addressConfirmation_data();
    void addressConfirmation();
    void pieces_data();
    void pieces();
};

void tst_Replies::initTestCase()
{
    setUpPanelAppearance();
}

void tst_Replies::replyDrivesWindow_data()
{
    QTest::addColumn<QByteArray>("before"); // decoded first, its frames discarded
    QTest::addColumn<QByteArray>("reply");  // empty: a receive event with nothing pending
    // "<out1..out4> <Option3..Option6> <Option9 Option2 Option1> <enabled>": colours g green,
    // r red, . the button face; the selected member of each group, - none; the enabled
    // buttons of the twenty switching buttons / of the four wall inputs.
    QTest::addColumn<QString>("state");
    QTest::addColumn<QByteArray>("frames"); // what the window sent back

    const QByteArray none;
    const auto hex = [](const char *bytes) { return QByteArray::fromHex(bytes); };

    // clang-format off
    // Output status records.
    QTest::newRow("s12: out1 green, IN3 selected, its Route sent")
        << none << "s12\r\n"_ba << "g... 2--- --- 20/4" << hex("0555190277");
    QTest::newRow("s40: out4 green, IN1 selected")
        << none << "s40\r\n"_ba << "...g ---0 --- 20/4" << hex("0555193077");
    QTest::newRow("four records together update all four outputs in slot order")
        << none << "s10\r\ns21\r\ns32\r\ns43\r\n"_ba << "gggg 0123 --- 20/4"
        << hex("0555190077 0555191177 0555192277 0555193377");
    QTest::newRow("a fifth record from character 21 on is ignored")
        << none << "s10\r\ns21\r\ns32\r\ns43\r\ns13\r\n"_ba << "gggg 0123 --- 20/4"
        << hex("0555190077 0555191177 0555192277 0555193377");
    QTest::newRow("input digit 4 colours only")
        << none << "s14\r\n"_ba << "g... ---- --- 20/4" << none;
    QTest::newRow("input digit 9 keeps the route shown before")
        << "s12\r\n"_ba << "s19\r\n"_ba << "g... 2--- --- 20/4" << none;
    QTest::newRow("route equal to the selection sends nothing")
        << "s12\r\n"_ba << "s12\r\n"_ba << "g... 2--- --- 20/4" << none;
    QTest::newRow("route different from the selection sends its Route once")
        << "s12\r\n"_ba << "s10\r\n"_ba << "g... 0--- --- 20/4" << hex("0555190077");
    QTest::newRow("later slot wins for the same output")
        << none << "s10\r\ns13\r\n"_ba << "g... 3--- --- 20/4" << hex("0555190077 0555190377");
    QTest::newRow("p39: out3 red, any input digit")
        << none << "p39\r\n"_ba << "..r. ---- --- 20/4" << none;
    QTest::newRow("s then p for out2 in one read: red, route still shown")
        << none << "s21\r\np20\r\n"_ba << ".r.. -1-- --- 20/4" << hex("0555191177");
    QTest::newRow("p record turns a green button red, keeps its route")
        << "s12\r\n"_ba << "p10\r\n"_ba << "r... 2--- --- 20/4" << none;
    QTest::newRow("route reported while the rows are disabled is still shown and sent")
        << "MD1\r\n"_ba << "s23\r\n"_ba << ".g.. -3-- -1- 0/4" << hex("0555191377");

    // Tagged replies.
    QTest::newRow("MP2 selects wall input IN3 and sends it")
        << none << "MP2\r\n"_ba << ".... ---- 2-- 20/4" << hex("0555230277");
    QTest::newRow("MP2 again sends nothing")
        << "MP2\r\n"_ba << "MP2\r\n"_ba << ".... ---- 2-- 20/4" << none;
    QTest::newRow("MP0 after MP2 moves the selection")
        << "MP2\r\n"_ba << "MP0\r\n"_ba << ".... ---- 0-- 20/4" << hex("0555230077");
    QTest::newRow("MP7 changes nothing")
        << "MP2\r\n"_ba << "MP7\r\n"_ba << ".... ---- 2-- 20/4" << none;
    QTest::newRow("MPx changes nothing")
        << none << "MPx\r\n"_ba << ".... ---- --- 20/4" << none;
    QTest::newRow("MD0: Martix, twenty enabled, four wall inputs disabled")
        << none << "MD0\r\n"_ba << ".... ---- -0- 20/0" << hex("0555210077");
    QTest::newRow("MD1: Video wall, twenty disabled, four wall inputs enabled")
        << none << "MD1\r\n"_ba << ".... ---- -1- 0/4" << hex("0555210177");
    QTest::newRow("MD0 after MD1 reverses it")
        << "MD1\r\n"_ba << "MD0\r\n"_ba << ".... ---- -0- 20/0" << hex("0555210077");
    QTest::newRow("MD1 in video-wall mode already sends nothing")
        << "MD1\r\n"_ba << "MD1\r\n"_ba << ".... ---- -1- 0/4" << none;
    QTest::newRow("MD2 changes nothing")
        << "MD1\r\n"_ba << "MD2\r\n"_ba << ".... ---- -1- 0/4" << none;
    QTest::newRow("MD without its digit changes nothing")
        << "MD1\r\n"_ba << "MD\r\n"_ba << ".... ---- -1- 0/4" << none;
    QTest::newRow("MD1 and a record at 6: route first, then mode")
        << none << "MD1xxs23\r\n"_ba << ".g.. -3-- -1- 0/4" << hex("0555191377 0555210177");
    QTest::newRow("RS3 selects 1280X1024 and sends it")
        << none << "RS3\r\n"_ba << ".... ---- --3 20/4" << hex("0555220377");
    QTest::newRow("RS8 selects 1920X1200")
        << "RS3\r\n"_ba << "RS8\r\n"_ba << ".... ---- --8 20/4" << hex("0555220877");
    QTest::newRow("RS9 changes nothing")
        << "RS3\r\n"_ba << "RS9\r\n"_ba << ".... ---- --3 20/4" << none;

    // Anything else.
    QTest::newRow("empty read changes nothing")
        << none << none << ".... ---- --- 20/4" << none;
    QTest::newRow("NUL bytes change nothing")
        << none << QByteArray("\0\0\0\0\0s1\0\r\n", 10) << ".... ---- --- 20/4" << none;
    QTest::newRow("high bytes around a record: only the record counts")
        << none << "\xff\xfe\x80\x81\x82s23\xff\xff"_ba << ".g.. -3-- --- 20/4"
        << hex("0555191377");
    // clang-format on
}

void tst_Replies::replyDrivesWindow()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, reply);
    QFETCH(QString, state);
    QFETCH(QByteArray, frames);

    Bench bench;
    QVERIFY(bench.opened);
    if (!before.isEmpty()) {
        QVERIFY(bench.device.write(before));
        QTRY_COMPARE(bench.received->count(), 1);
        bench.sent();
        bench.received->clear();
    }

    if (reply.isEmpty()) {
        bench.form->MSComm1_OnComm(); // an event of another kind: nothing is pending
    } else {
        QVERIFY(bench.device.write(reply));
        QTRY_COMPARE(bench.received->count(), 1);
    }

    QCOMPARE(bench.state(), state);
    QCOMPARE(bench.sent(frames.size()).toHex(' '), frames.toHex(' '));
    QCOMPARE(Bench::selected(bench.form->Option7), u"-"_s); // "ALL" never follows a reply
    QCOMPARE(bench.boxes.count(), 0);
}

void tst_Replies::addressConfirmation_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("shown");

    QTest::newRow("IP OK") << "IP OK\r\n"_ba << true;
    QTest::newRow("DHCP OK") << "DHCP OK\r\n"_ba << true;
    QTest::newRow("ip ok in lower case") << "ip ok\r\n"_ba << false;
    QTest::newRow("dhcp ok in lower case") << "dhcp ok\r\n"_ba << false;
    QTest::newRow("IP at character 2") << " IP OK\r\n"_ba << false;
}

void tst_Replies::addressConfirmation()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, shown);

    Bench bench;
    QVERIFY(bench.opened);
    QVERIFY(bench.device.write(reply));
    QTRY_COMPARE(bench.received->count(), 1);

    QCOMPARE(bench.boxes.count(), shown ? 1 : 0);
    if (shown) {
        const ShownMessageBox box = bench.boxes.last();
        QCOMPARE(box.text, confirmationText);
        QCOMPARE(box.title, QString());
        QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(box.icon, QMessageBox::NoIcon);
        QVERIFY(box.modal);
    }
    QCOMPARE(bench.colours(), u"...."_s);
    QCOMPARE(bench.sent(), QByteArray());
}

void tst_Replies::pieces_data()
{
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QByteArray>("second"); // written pauseMs after the first
    QTest::addColumn<int>("pauseMs");
    QTest::addColumn<int>("events"); // receive events raised
    QTest::addColumn<QString>("state");
    QTest::addColumn<QByteArray>("frames");

    const auto hex = [](const char *bytes) { return QByteArray::fromHex(bytes); };

    // clang-format off
    QTest::newRow("record in two pieces 5 ms apart is decoded whole")
        << "s1"_ba << "2\r\n"_ba << 5 << 1 << "g... 2--- --- 20/4" << hex("0555190277");
    QTest::newRow("tag in two pieces 5 ms apart is decoded whole")
        << "M"_ba << "P2\r\n"_ba << 5 << 1 << ".... ---- 2-- 20/4" << hex("0555230277");
    QTest::newRow("record cut by a 300 ms pause is lost")
        << "s1"_ba << "2\r\n"_ba << 300 << 2 << ".... ---- --- 20/4" << QByteArray();
    QTest::newRow("reply after a 300 ms pause is tested from its own character 1")
        << "xyz"_ba << "s31\r\n"_ba << 300 << 2 << "..g. --1- --- 20/4" << hex("0555192177");
    // clang-format on
}

void tst_Replies::pieces()
{
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, second);
    QFETCH(int, pauseMs);
    QFETCH(int, events);
    QFETCH(QString, state);
    QFETCH(QByteArray, frames);

    Bench bench;
    QVERIFY(bench.opened);
    QVERIFY(bench.device.write(first));
    QTest::qWait(pauseMs);
    QVERIFY(bench.device.write(second));
    QTRY_COMPARE(bench.received->count(), events);

    QCOMPARE(bench.state(), state);
    QCOMPARE(bench.sent(frames.size()).toHex(' '), frames.toHex(' '));
}

QTEST_MAIN(tst_Replies)
#include "tst_replies.moc"
