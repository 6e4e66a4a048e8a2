// SPDX-License-Identifier: MIT
#include "appearance.h"
#include "colorbutton.h"
#include "errortrap.h"
#include "form1.h"
#include "messageboxwatcher.h"
#include "mscomm.h"
#include "ptypair.h"
#include "windowcontrols.h"
#include "windowonline.h"

#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString confirmationText = u"Set IP address successfully\uFF01 "_s;

// How many reply lines the text is: what stands between line ends, empty ones not counted.
int replyLines(const QByteArray &text)
{
    int lines = 0;
    for (const QByteArray &part : QByteArray(text).replace('\r', '\n').split('\n'))
        lines += !part.isEmpty();
    return lines;
}

// The window on COM1, a pseudo-terminal whose master is the device, in a scratch directory;
// start-up does not run, the port is opened as Connect opens it, and the window is not shown.
// Replies are written to the master; every receive event the port raises is counted.
class Bench
{
public:
    Bench()
    {
        window.options().startUp = WindowOnLine::StartUp::NotRun;
        window.options().show = false;
        window.start();
        if (QTest::currentTestFailed())
            return;
        form = &window.form();
        face = controls(form).Command8[0]->BackColor();
        ErrorTrap trap;
        trap.run([this] {
            form->MSComm1->setCommPort(1);
            form->MSComm1->setPortOpen(true);
        });
        opened = trap.error() == 0;
        received = std::make_unique<QSignalSpy>(form->MSComm1, &MSComm::OnComm);
    }

    PtyPair &device() const { return window.device(); }
    MessageBoxWatcher &boxes() const { return window.boxes(); }

    // "g" green, "r" red, "." the button face it started with, one letter per out button.
    QString colours() const
    {
        QString letters;
        for (const auto &[index, button] : controls(form).Command8) {
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
        return selected(controls(form).Option3) + selected(controls(form).Option4) +
               selected(controls(form).Option5) + selected(controls(form).Option6);
    }

    // "<enabled buttons of the twenty switching buttons>/<enabled of the four wall inputs>".
    QString enabled() const
    {
        const WindowControls w = controls(form);
        int rows = 0;
        for (const auto *row : {&w.Option3, &w.Option4, &w.Option5, &w.Option6, &w.Option7}) {
            for (const auto &[index, option] : *row)
                rows += option->isEnabled();
        }
        int wall = 0;
        for (const auto &[index, option] : w.Option9)
            wall += option->isEnabled();
        return u"%1/%2"_s.arg(rows).arg(wall);
    }

    // "<colours> <routes> <selected Option9, Option2, Option1> <enabled>".
    QString state() const
    {
        return u"%1 %2 %3 %4"_s.arg(colours(), routes(),
                                    selected(controls(form).Option9) +
                                        selected(controls(form).Option2) +
                                        selected(controls(form).Option1),
                                    enabled());
    }

    // Everything the window has sent: the frames are flushed inside the handler, so once
    // the receive event is over they are on the line; count bytes are awaited, then any
    // surplus is taken as well.
    QByteArray sent(qsizetype count = 0)
    {
        QByteArray bytes = device().read(int(count));
        return bytes + device().readAvailable();
    }

    WindowOnLine window;
    Form1 *form = nullptr;
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
    void nothingHappensBehindTheConfirmation();
    void randomRepliesInRandomChunks();
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
    QTest::newRow("four records, a line each, update all four outputs in order")
        << none << "s10\r\ns21\r\ns32\r\ns43\r\n"_ba << "gggg 0123 --- 20/4"
        << hex("0555190077 0555191177 0555192277 0555193377");
    QTest::newRow("four records in one line update all four outputs in slot order")
        << none << "s10  s21  s32  s43  \r\n"_ba << "gggg 0123 --- 20/4"
        << hex("0555190077 0555191177 0555192277 0555193377");
    QTest::newRow("in one line a fifth record from character 21 on is ignored")
        << none << "s10  s21  s32  s43  s13  \r\n"_ba << "gggg 0123 --- 20/4"
        << hex("0555190077 0555191177 0555192277 0555193377");
    QTest::newRow("a fifth record on a line of its own is decoded")
        << none << "s10\r\ns21\r\ns32\r\ns43\r\ns13\r\n"_ba << "gggg 3123 --- 20/4"
        << hex("0555190077 0555191177 0555192277 0555193377 0555190377");
    QTest::newRow("input digit 4 colours only")
        << none << "s14\r\n"_ba << "g... ---- --- 20/4" << none;
    QTest::newRow("input digit 9 keeps the route shown before")
        << "s12\r\n"_ba << "s19\r\n"_ba << "g... 2--- --- 20/4" << none;
    QTest::newRow("route equal to the selection sends nothing")
        << "s12\r\n"_ba << "s12\r\n"_ba << "g... 2--- --- 20/4" << none;
    QTest::newRow("route different from the selection sends its Route once")
        << "s12\r\n"_ba << "s10\r\n"_ba << "g... 0--- --- 20/4" << hex("0555190077");
    QTest::newRow("later slot wins for the same output")
        << none << "s10  s13  \r\n"_ba << "g... 3--- --- 20/4" << hex("0555190077 0555190377");
    QTest::newRow("later line wins for the same output")
        << none << "s10\r\ns13\r\n"_ba << "g... 3--- --- 20/4" << hex("0555190077 0555190377");
    QTest::newRow("p39: out3 red, any input digit")
        << none << "p39\r\n"_ba << "..r. ---- --- 20/4" << none;
    QTest::newRow("s then p for out2 in one read: red, route still shown")
        << none << "s21\r\np20\r\n"_ba << ".r.. -1-- --- 20/4" << hex("0555191177");
    QTest::newRow("p then s for out2 in one read: the later report, green")
        << none << "p20\r\ns21\r\n"_ba << ".g.. -1-- --- 20/4" << hex("0555191177");
    QTest::newRow("p and s for out2 in one line: s first, then p, red")
        << none << "p20  s21  \r\n"_ba << ".r.. -1-- --- 20/4" << hex("0555191177");
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

    // Replies back to back, as the device sends them.
    QTest::newRow("MD1 and RS3 in one write: both")
        << none << "MD1\r\nRS3\r\n"_ba << ".... ---- -13 0/4" << hex("0555210177 0555220377");
    QTest::newRow("status answer in one write: records, then MD, RS, MP")
        << none << "s10\r\ns21\r\ns32\r\ns43\r\nMD1\r\nRS3\r\nMP2\r\n"_ba << "gggg 0123 213 0/4"
        << hex("0555190077 0555191177 0555192277 0555193377 0555210177 0555220377 0555230277");
    QTest::newRow("a reply without line end after a complete one")
        << none << "MD0\r\nRS5"_ba << ".... ---- -05 20/0" << hex("0555210077 0555220577");

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
        QVERIFY(bench.device().write(before));
        QTRY_COMPARE(bench.received->count(), replyLines(before));
        bench.sent();
        bench.received->clear();
    }

    if (reply.isEmpty()) {
        bench.form->MSComm1_OnComm(); // an event of another kind: nothing is pending
    } else {
        QVERIFY(bench.device().write(reply));
        QTRY_COMPARE(bench.received->count(), replyLines(reply));
    }

    QCOMPARE(bench.state(), state);
    QCOMPARE(bench.sent(frames.size()).toHex(' '), frames.toHex(' '));
    QCOMPARE(Bench::selected(controls(bench.form).Option7), u"-"_s); // "ALL" never follows a reply
    QCOMPARE(bench.boxes().count(), 0);
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
    QVERIFY(bench.device().write(reply));
    QTRY_COMPARE(bench.received->count(), 1);

    QCOMPARE(bench.boxes().count(), shown ? 1 : 0);
    if (shown) {
        const ShownMessageBox box = bench.boxes().last();
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
    QTest::newRow("record cut inside, 20 ms apart, joined")
        << "s2"_ba << "3\r\n"_ba << 20 << 1 << ".g.. -3-- --- 20/4" << hex("0555191377");
    QTest::newRow("reply without line end, decoded after the settle time")
        << "MD"_ba << "1"_ba << 5 << 1 << ".... ---- -1- 0/4" << hex("0555210177");
    QTest::newRow("status answer in 16 ms chunks")
        << "s10\r\ns21\r\ns32\r\ns4"_ba << "3\r\nMD1\r\nRS3\r\nMP2\r\n"_ba << 16 << 7
        << "gggg 0123 213 0/4"
        << hex("0555190077 0555191177 0555192277 0555193377 0555210177 0555220377 0555230277");
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
    QVERIFY(bench.device().write(first));
    QTest::qWait(pauseMs);
    QVERIFY(bench.device().write(second));
    QTRY_COMPARE(bench.received->count(), events);

    QCOMPARE(bench.state(), state);
    QCOMPARE(bench.sent(frames.size()).toHex(' '), frames.toHex(' '));
}

// The address confirmation waits for the operator; replies that arrive meanwhile change
// nothing behind it, and are decoded in order once OK is pressed, the next "DHCP" included.
void tst_Replies::nothingHappensBehindTheConfirmation()
{
    Bench bench;
    QVERIFY(bench.opened);
    QStringList statesWhenShown;
    QByteArray sentBehindTheBox;
    bench.boxes().setOperator([&](QMessageBox *box) {
        if (bench.boxes().count() == 1) {
            bench.device().write("MD1\r\nDHCP OK\r\nRS3\r\n"_ba);
            QTest::qWait(3 * MSComm::settleMs);
            sentBehindTheBox = bench.device().readAvailable();
        }
        statesWhenShown << bench.state();
        box->button(QMessageBox::Ok)->click();
    });

    QVERIFY(bench.device().write("IP OK\r\n"_ba));
    QTRY_COMPARE(bench.received->count(), 4); // IP OK, MD1, DHCP OK, RS3
    QCOMPARE(bench.boxes().count(), 2);
    QCOMPARE(bench.boxes().last().text, confirmationText);
    QCOMPARE(statesWhenShown, (QStringList{u".... ---- --- 20/4"_s,   // IP: nothing yet
                                           u".... ---- -1- 0/4"_s})); // DHCP: after MD1 only
    QCOMPARE(sentBehindTheBox, QByteArray());
    QCOMPARE(bench.state(), u".... ---- -13 0/4"_s);
    QCOMPARE(bench.sent(10).toHex(' '), QByteArray::fromHex("0555210177 0555220377").toHex(' '));
}

// Ten thousand replies of every kind, back to back and cut into reads of random size: each is
// decoded once, whole, in order, and the window ends where the last of each kind puts it.
void tst_Replies::randomRepliesInRandomChunks()
{
    Bench bench;
    QVERIFY(bench.opened);
    QRandomGenerator random(20261209);

    char colour[4] = {'.', '.', '.', '.'};
    char route[4] = {'-', '-', '-', '-'};
    char selected[3] = {'-', '-', '-'}; // Option9, Option2, Option1
    char &wall = selected[0], &mode = selected[1], &resolution = selected[2];
    QByteArray stream;
    const int replies = 10000;
    for (int i = 0; i < replies; ++i) {
        const int kind = random.bounded(8);
        const int output = random.bounded(4);
        const int digit = random.bounded(10);
        QByteArray reply;
        switch (kind) {
        case 0:
        case 1:
            reply = "s" + QByteArray::number(output + 1) + QByteArray::number(digit);
            colour[output] = 'g';
            if (digit <= 3)
                route[output] = char('0' + digit);
            break;
        case 2:
            reply = "p" + QByteArray::number(output + 1) + QByteArray::number(digit);
            colour[output] = 'r';
            break;
        case 3:
            reply = "MD" + QByteArray::number(digit % 3); // MD2 changes nothing
            if (digit % 3 < 2)
                mode = char('0' + digit % 3);
            break;
        case 4:
            reply = "RS" + QByteArray::number(digit); // RS9 changes nothing
            if (digit <= 8)
                resolution = char('0' + digit);
            break;
        case 5:
            reply = "MP" + QByteArray::number(digit % 5); // MP4 changes nothing
            if (digit % 5 <= 3)
                wall = char('0' + digit % 5);
            break;
        case 6:
            reply = "S" + QByteArray::number(output + 1) + "0"; // upper case: no record
            break;
        default:
            reply = "x" + QByteArray::number(digit);
            break;
        }
        stream += reply + (i % 7 == 0 ? "\n" : "\r\n");
    }
    const QString enabled = mode == '1' ? u"0/4"_s : mode == '0' ? u"20/0"_s : u"20/4"_s;
    const QString expected =
        u"%1 %2 %3 %4"_s.arg(QString::fromLatin1(colour, 4), QString::fromLatin1(route, 4),
                             QString::fromLatin1(selected, 3), enabled);

    for (qsizetype at = 0; at < stream.size();) {
        const qsizetype size = std::min<qsizetype>(1 + random.bounded(40), stream.size() - at);
        QVERIFY(bench.device().write(stream.sliced(at, size)));
        at += size;
        QCoreApplication::processEvents();
        bench.device().readAvailable(); // the frames the window sends back
    }
    QTRY_COMPARE_WITH_TIMEOUT(bench.received->count(), replies, 20000);
    QCOMPARE(bench.state(), expected);
    QCOMPARE(bench.boxes().count(), 0);
}

QTEST_MAIN(tst_Replies)
#include "tst_replies.moc"
