// SPDX-License-Identifier: MIT
#include "errortrap.h"
#include "mscomm.h"
#include "portmap.h"
#include "ptypair.h"
#include "serialsettings.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// The error number a call throws, or 0.
template <typename Call> int errorOf(Call &&call)
{
    ErrorTrap trap;
    trap.run(call);
    return trap.error();
}

QStringList traced;

void collectTrace(QtMsgType, const QMessageLogContext &context, const QString &message)
{
    if (context.category && QByteArrayView(context.category) == "velquor.serial")
        traced.append(message);
}

} // namespace

class tst_MSComm : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void parseSettings_data();
    void parseSettings();
    void commPortRange_data();
    void commPortRange();
    void settingsRejectMalformedText();
    void closedPortRefusesInputAndOutput();
    void outputGoesOutRawAndAtOnce();
    void closeSendsNothingAndReleasesThePort();
    void openTwiceFails();
    void absentDeviceFailsToOpen();
    void portHeldByAnotherHandleFailsToOpen();
    void replyInPiecesIsCutAtLineEnds();
    void separateRepliesStaySeparate();
    void repliesAsTheLineDeliversThem_data();
    void repliesAsTheLineDeliversThem();
    void textWithoutLineEndWaitsForTheSettleTime();
    void heldRepliesWaitAndComeInOrder();
    void linkLostWhileHeldIsNoticed();
    void floodIsHandedOverInTime();
    void inputLenLimitsOneRead();
    void hangUpClosesOnceWithoutStorm();
    void writeAfterHangUpFailsAndCloses();
    void deviceThatReadsNothingHoldsFramesBack();
    void traceShowsTrafficAsHex();

private:
    std::unique_ptr<PtyPair> m_pty;
    PortMap m_ports;
};

void tst_MSComm::init()
{
    m_pty = std::make_unique<PtyPair>();
    QVERIFY2(m_pty->isValid(), qPrintable(m_pty->errorString()));
    m_ports = PortMap();
    QVERIFY(m_ports.addMapping(u"COM1="_s + m_pty->slavePath()));
}

void tst_MSComm::parseSettings_data()
{
    using P = SerialSettings::Parity;
    using S = SerialSettings::StopBits;
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<SerialSettings>("settings");
    QTest::newRow("the panel's line")
        << u"9600,N,8,1"_s << true << SerialSettings{9600, P::None, 8, S::One};
    QTest::newRow("lower-case parity, two stop bits")
        << u"115200,e,7,2"_s << true << SerialSettings{115200, P::Even, 7, S::Two};
    QTest::newRow("one and a half stop bits")
        << u"300,O,5,1.5"_s << true << SerialSettings{300, P::Odd, 5, S::OneAndHalf};
    QTest::newRow("mark parity") << u"1200,M,8,1"_s << true
                                 << SerialSettings{1200, P::Mark, 8, S::One};
    QTest::newRow("space parity") << u"1200,S,6,1"_s << true
                                  << SerialSettings{1200, P::Space, 6, S::One};
    QTest::newRow("blanks around fields") << u" 9600 , N , 8 , 1 "_s << true << SerialSettings{};
    for (const char *bad :
         {"", "9600", "9600,N,8", "9600,N,8,1,", "abc,N,8,1", "0,N,8,1", "-9600,N,8,1",
          "99999999,N,8,1", "9600,X,8,1", "9600,NN,8,1", "9600,,8,1", "9600,N,9,1", "9600,N,4,1",
          "9600,N,8,3", "9600,N,8,1.0", "9600;N;8;1"})
        QTest::addRow("malformed \"%s\"", bad)
            << QString::fromLatin1(bad) << false << SerialSettings{};
}

void tst_MSComm::parseSettings()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(SerialSettings, settings);
    const std::optional<SerialSettings> parsed = parseSerialSettings(text);
    QCOMPARE(parsed.has_value(), valid);
    if (valid)
        QVERIFY(*parsed == settings);
}

void tst_MSComm::commPortRange_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("error");
    QTest::newRow("0") << 0 << int(MSComm::InvalidPortNumber);
    QTest::newRow("negative") << -1 << int(MSComm::InvalidPortNumber);
    QTest::newRow("256") << 256 << int(MSComm::InvalidPortNumber);
    QTest::newRow("1") << 1 << 0;
    QTest::newRow("255") << 255 << 0;
}

void tst_MSComm::commPortRange()
{
    QFETCH(int, port);
    QFETCH(int, error);
    MSComm comm(m_ports);
    comm.setCommPort(7);
    QCOMPARE(errorOf([&] { comm.setCommPort(port); }), error);
    QCOMPARE(comm.CommPort(), error ? 7 : port);
}

void tst_MSComm::settingsRejectMalformedText()
{
    MSComm comm(m_ports);
    QCOMPARE(errorOf([&] { comm.setSettings(u"19200,E,7,2"_s); }), 0);
    QCOMPARE(errorOf([&] { comm.setSettings(u"9600,N,8"_s); }), int(MSComm::InvalidPropertyValue));
    QCOMPARE(comm.Settings(), u"19200,E,7,2"_s);
    QCOMPARE(errorOf([&] { comm.setInputLen(-1); }), int(MSComm::InvalidPropertyValue));
}

void tst_MSComm::closedPortRefusesInputAndOutput()
{
    MSComm comm(m_ports);
    QVERIFY(!comm.PortOpen());
    QCOMPARE(errorOf([&] { comm.Output(QByteArray::fromHex("04552077")); }),
             int(MSComm::PortNotOpen));
    QCOMPARE(errorOf([&] { comm.Input(); }), int(MSComm::PortNotOpen));
    QCOMPARE(errorOf([&] { comm.setPortOpen(false); }), 0);
    QCOMPARE(m_pty->readFor(50), QByteArray());
}

void tst_MSComm::outputGoesOutRawAndAtOnce()
{
    MSComm comm(m_ports);
    comm.setCommPort(1);
    comm.setPortOpen(true);
    QVERIFY(comm.PortOpen());
    // Bytes the line discipline would otherwise translate or act on: CR, LF, XOFF, ^C, 0xFF.
    const QByteArray frame = QByteArray::fromHex("08553113110a0dff77") + QByteArray::fromHex("03");
    comm.Output(frame);
    comm.setPortOpen(false); // closing right after the write must not lose it
    QCOMPARE(m_pty->read(frame.size()), frame);
}

void tst_MSComm::closeSendsNothingAndReleasesThePort()
{
    MSComm comm(m_ports);
    QSignalSpy changes(&comm, &MSComm::portOpenChanged);
    comm.setPortOpen(true);
    comm.setPortOpen(false);
    QVERIFY(!comm.PortOpen());
    QCOMPARE(m_pty->readFor(50), QByteArray());
    QCOMPARE(changes.count(), 2);
    // Released: another handle can take it at once.
    QSerialPort other(m_pty->slavePath());
    QVERIFY2(other.open(QIODevice::ReadWrite), qPrintable(other.errorString()));
}

void tst_MSComm::openTwiceFails()
{
    MSComm comm(m_ports);
    comm.setPortOpen(true);
    QCOMPARE(errorOf([&] { comm.setPortOpen(true); }), int(MSComm::PortAlreadyOpen));
    QCOMPARE(errorOf([&] { comm.setCommPort(2); }), int(MSComm::PortAlreadyOpen));
    QVERIFY(comm.PortOpen());
}

void tst_MSComm::absentDeviceFailsToOpen()
{
    PortMap ports;
    QVERIFY(ports.addMapping(u"COM1=/dev/velquor-no-such-device"_s));
    MSComm comm(ports);
    QCOMPARE(errorOf([&] { comm.setPortOpen(true); }), int(MSComm::InvalidPortNumber));
    QVERIFY(!comm.PortOpen());
}

void tst_MSComm::portHeldByAnotherHandleFailsToOpen()
{
    QSerialPort holder(m_pty->slavePath());
    QVERIFY2(holder.open(QIODevice::ReadWrite), qPrintable(holder.errorString()));
    MSComm comm(m_ports);
    QCOMPARE(errorOf([&] { comm.setPortOpen(true); }), int(MSComm::PortAlreadyOpen));
    QVERIFY(!comm.PortOpen());
    holder.close();
    QCOMPARE(errorOf([&] { comm.setPortOpen(true); }), 0);
}

void tst_MSComm::replyInPiecesIsCutAtLineEnds()
{
    MSComm comm(m_ports);
    QList<QByteArray> lines;
    connect(&comm, &MSComm::OnComm, this, [&] { lines.append(comm.Input()); });
    comm.setPortOpen(true);
    // A status reply arriving as a UART delivers it: a few bytes at a time, close together.
    for (const QByteArray &piece : {"s11\r\n"_ba, "s2"_ba, "2\r\ns33\r"_ba, "\ns40\r\n"_ba}) {
        QVERIFY(m_pty->write(piece));
        QTest::qWait(5);
    }
    QTRY_COMPARE(lines.size(), 4);
    QTest::qWait(3 * MSComm::settleMs);
    QCOMPARE(lines, (QList<QByteArray>{"s11"_ba, "s22"_ba, "s33"_ba, "s40"_ba}));
}

void tst_MSComm::separateRepliesStaySeparate()
{
    MSComm comm(m_ports);
    QList<QByteArray> lines;
    connect(&comm, &MSComm::OnComm, this, [&] { lines.append(comm.Input()); });
    comm.setPortOpen(true);
    QVERIFY(m_pty->write("MD1\r\n"_ba));
    QTRY_COMPARE(lines.size(), 1);
    QTest::qWait(4 * MSComm::settleMs);
    QVERIFY(m_pty->write("RS3\r\n"_ba));
    QTRY_COMPARE(lines.size(), 2);
    QCOMPARE(lines, (QList<QByteArray>{"MD1"_ba, "RS3"_ba}));
}

void tst_MSComm::repliesAsTheLineDeliversThem_data()
{
    QTest::addColumn<QList<QByteArray>>("pieces"); // written pauseMs apart
    QTest::addColumn<int>("pauseMs");
    QTest::addColumn<QList<QByteArray>>("lines");

    using L = QList<QByteArray>;
    QTest::newRow("two replies in one write") << L{"MD1\r\nRS3\r\n"} << 0 << L{"MD1", "RS3"};
    QTest::newRow("two replies 10 ms apart") << L{"MD1\r\n", "RS3\r\n"} << 10 << L{"MD1", "RS3"};
    QTest::newRow("status answer back to back")
        << L{"s10\r\ns21\r\ns32\r\ns43\r\nMD1\r\nRS3\r\nMP2\r\n"} << 0
        << L{"s10", "s21", "s32", "s43", "MD1", "RS3", "MP2"};
    QTest::newRow("status answer in 16 ms chunks")
        << L{"s10\r\ns21\r\ns32\r\n", "s43\r\nMD1\r\nRS3\r\nM", "P2\r\n"} << 16
        << L{"s10", "s21", "s32", "s43", "MD1", "RS3", "MP2"};
    QTest::newRow("record cut inside, 20 ms apart, joined") << L{"s1", "2\r\n"} << 20 << L{"s12"};
    QTest::newRow("CR LF cut, 40 ms apart: one line end")
        << L{"MD1\r", "\nRS3\r\n"} << 40 << L{"MD1", "RS3"};
    QTest::newRow("text without line end, then a reply after the settle time")
        << L{"xyz", "s31\r\n"} << 3 * MSComm::settleMs << L{"xyz", "s31"};
}

void tst_MSComm::repliesAsTheLineDeliversThem()
{
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(int, pauseMs);
    QFETCH(QList<QByteArray>, lines);

    MSComm comm(m_ports);
    QList<QByteArray> received;
    connect(&comm, &MSComm::OnComm, this, [&] { received.append(comm.Input()); });
    comm.setPortOpen(true);
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        if (i > 0)
            QTest::qWait(pauseMs);
        QVERIFY(m_pty->write(pieces.at(i)));
    }
    QTRY_COMPARE(received, lines);
    QTest::qWait(2 * MSComm::settleMs);
    QCOMPARE(received, lines); // and nothing more
}

void tst_MSComm::textWithoutLineEndWaitsForTheSettleTime()
{
    MSComm comm(m_ports);
    QElapsedTimer clock;
    qint64 handedAt = -1;
    QByteArray line;
    connect(&comm, &MSComm::OnComm, this, [&] {
        handedAt = clock.elapsed();
        line = comm.Input();
    });
    comm.setPortOpen(true);
    clock.start();
    QVERIFY(m_pty->write("MD1"_ba));
    QTRY_COMPARE(line, "MD1"_ba);
    QVERIFY2(handedAt >= MSComm::settleMs, qPrintable(QString::number(handedAt)));
}

void tst_MSComm::heldRepliesWaitAndComeInOrder()
{
    MSComm comm(m_ports);
    QList<QByteArray> received;
    connect(&comm, &MSComm::OnComm, this, [&] { received.append(comm.Input()); });
    comm.setPortOpen(true);
    {
        const MSComm::ReplyHold box(comm);
        {
            const MSComm::ReplyHold nested(comm);
            QVERIFY(m_pty->write("MD1\r\nRS"_ba));
            QTest::qWait(20);
            QVERIFY(m_pty->write("3\r\nMP2"_ba)); // MP2 ends with the settle time
            QTest::qWait(3 * MSComm::settleMs);
        }
        QTest::qWait(20);
        QVERIFY(received.isEmpty()); // still held by the outer hold
    }
    QVERIFY(received.isEmpty()); // handed over from the event loop, not inside the release
    QTRY_COMPARE(received, (QList<QByteArray>{"MD1"_ba, "RS3"_ba, "MP2"_ba}));
}

void tst_MSComm::linkLostWhileHeldIsNoticed()
{
    MSComm comm(m_ports);
    QSignalSpy onComm(&comm, &MSComm::OnComm);
    QSignalSpy lost(&comm, &MSComm::linkLost);
    comm.setPortOpen(true);
    const MSComm::ReplyHold box(comm);
    QVERIFY(m_pty->write("MD1\r\n"_ba));
    QTest::qWait(20);
    m_pty->closeMaster();
    QTRY_COMPARE(lost.count(), 1);
    QVERIFY(!comm.PortOpen());
    QCOMPARE(onComm.count(), 0);
}

void tst_MSComm::floodIsHandedOverInTime()
{
    MSComm comm(m_ports);
    QByteArray received;
    int events = 0;
    connect(&comm, &MSComm::OnComm, this, [&] {
        ++events;
        received += comm.Input();
    });
    comm.setPortOpen(true);
    // A byte every few milliseconds never lets the line settle; the window must still be
    // handed the data piece by piece while the flood lasts, not once at its end.
    QByteArray sent;
    for (int i = 0; i < 150; ++i) {
        const QByteArray byte(1, char('a' + i % 26));
        QVERIFY(m_pty->write(byte));
        sent += byte;
        QTest::qWait(5);
    }
    const int eventsDuringFlood = events;
    QTRY_COMPARE(received, sent);
    QVERIFY2(eventsDuringFlood >= 2, qPrintable(QString::number(eventsDuringFlood)));
}

void tst_MSComm::inputLenLimitsOneRead()
{
    MSComm comm(m_ports);
    comm.setPortOpen(true);
    QSignalSpy onComm(&comm, &MSComm::OnComm);
    QVERIFY(m_pty->write("abcdef"_ba));
    QTRY_COMPARE(onComm.count(), 1);
    comm.setInputLen(4);
    QCOMPARE(comm.Input(), "abcd"_ba);
    comm.setInputLen(0);
    QCOMPARE(comm.Input(), "ef"_ba);
    QCOMPARE(comm.Input(), QByteArray());
}

void tst_MSComm::hangUpClosesOnceWithoutStorm()
{
    MSComm comm(m_ports);
    comm.setPortOpen(true);
    auto *port = comm.findChild<QSerialPort *>();
    QVERIFY(port);
    QSignalSpy lost(&comm, &MSComm::linkLost);
    QSignalSpy errors(port, &QSerialPort::errorOccurred);
    QSignalSpy onComm(&comm, &MSComm::OnComm);

    m_pty->closeMaster();
    QTRY_COMPARE_WITH_TIMEOUT(lost.count(), 1, 100);
    QVERIFY(!comm.PortOpen());
    // Once closed, nothing keeps firing: the error is reported a handful of times at most.
    QTest::qWait(300);
    QCOMPARE(lost.count(), 1);
    QVERIFY2(errors.count() < 20, qPrintable(QString::number(errors.count())));
    QCOMPARE(onComm.count(), 0);
}

void tst_MSComm::writeAfterHangUpFailsAndCloses()
{
    MSComm comm(m_ports);
    comm.setPortOpen(true);
    QSignalSpy lost(&comm, &MSComm::linkLost);
    m_pty->closeMaster();
    // Written before the event loop noticed the hang-up.
    QCOMPARE(errorOf([&] { comm.Output(QByteArray::fromHex("04552077")); }),
             int(MSComm::WriteFailed));
    QVERIFY(!comm.PortOpen());
    QCOMPARE(lost.count(), 1);
    QTest::qWait(100);
    QCOMPARE(lost.count(), 1);
}

// The system takes no more while the device reads nothing: that is no lost line. Frames wait
// in order up to a bound, later ones are refused, and every frame that was taken reaches the
// device once it reads.
void tst_MSComm::deviceThatReadsNothingHoldsFramesBack()
{
    MSComm comm(m_ports);
    comm.setPortOpen(true);
    QSignalSpy lost(&comm, &MSComm::linkLost);
    QByteArray taken;
    int refused = 0;
    for (int i = 0; i < 20000 && refused < 3; ++i) {
        if (i % 100 == 0)
            QTest::qWait(1); // the event loop notices what the line does meanwhile
        const QByteArray frame = QByteArray::fromHex("055519") + char(i) + '\x77';
        const int error = errorOf([&] { comm.Output(frame); });
        if (error == 0) {
            taken += frame;
            continue;
        }
        QCOMPARE(error, int(MSComm::LineBusy));
        ++refused;
    }
    QCOMPARE(refused, 3);
    QVERIFY(comm.PortOpen());
    QCOMPARE(lost.count(), 0);

    // The device reads again: everything taken arrives, in order, and the line takes more.
    QByteArray arrived;
    QElapsedTimer waited;
    waited.start();
    while (arrived.size() < taken.size() && waited.elapsed() < 10000)
        arrived += m_pty->read(int(taken.size() - arrived.size()), 100);
    QCOMPARE(arrived.size(), taken.size());
    QVERIFY(arrived == taken);
    QCOMPARE(errorOf([&] { comm.Output(QByteArray::fromHex("04552077")); }), 0);
    QCOMPARE(m_pty->read(4), QByteArray::fromHex("04552077"));
    QCOMPARE(lost.count(), 0);
}

void tst_MSComm::traceShowsTrafficAsHex()
{
    QVERIFY(!lcSerial().isDebugEnabled()); // silent unless switched on
    QLoggingCategory::setFilterRules(u"velquor.serial.debug=true"_s);
    traced.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collectTrace);
    {
        MSComm comm(m_ports);
        connect(&comm, &MSComm::OnComm, this, [&] { comm.Input(); });
        comm.setPortOpen(true);
        comm.Output(QByteArray::fromHex("04552077"));
        QVERIFY(m_pty->write("s12\r\n"_ba));
        QTRY_VERIFY(traced.join(u'\n').contains(u"read 73 31 32"_s));
    }
    qInstallMessageHandler(previous);
    QLoggingCategory::setFilterRules(QString());
    // The meaning beside the hex.
    QVERIFY2(traced.contains(u"write 04 55 20 77  StatusRequest: asks the device for its state"_s),
             qPrintable(traced.join(u'\n')));
    QVERIFY2(traced.contains(u"read 73 31 32  s12: output 1 shows IN3"_s),
             qPrintable(traced.join(u'\n')));
    QVERIFY(!lcSerial().isDebugEnabled());
}

QTEST_GUILESS_MAIN(tst_MSComm)
#include "tst_mscomm.moc"
