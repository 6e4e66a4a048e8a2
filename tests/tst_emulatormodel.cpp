// SPDX-License-Identifier: MIT
#include "console.h"
#include "framereader.h"
#include "frames.h"
#include "linenoise.h"
#include "matrixmodel.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

using Replies = QList<QByteArray>;
Q_DECLARE_METATYPE(ConsoleCommand::Action)

namespace {

// The model's state in one line, so a table row can say what a command leaves behind.
QByteArray stateOf(const MatrixModel &m)
{
    QByteArray s = "routes=";
    for (int o = 0; o < MatrixModel::outputCount; ++o)
        s += char('0' + m.route(o));
    s += " displays=";
    for (int o = 0; o < MatrixModel::outputCount; ++o)
        s += m.displayAttached(o) ? '1' : '0';
    const auto a = m.fixedAddress();
    s += " mode=" + QByteArray::number(m.mode()) + " res=" + QByteArray::number(m.resolution()) +
         " wall=" + QByteArray::number(m.wallInput()) +
         " out=" + QByteArray::number(m.selectedOutput()) +
         " addr=" + (m.addressMode() == MatrixModel::AddressMode::Automatic ? "auto" : "fixed") +
         ':' + QByteArray::number(a[0]) + '.' + QByteArray::number(a[1]) + '.' +
         QByteArray::number(a[2]) + '.' + QByteArray::number(a[3]) +
         " border=" + QByteArray::number(m.borderHorizontal()) + ',' +
         QByteArray::number(m.borderVertical());
    return s;
}

const QByteArray initialState =
    "routes=0123 displays=1111 mode=0 res=1 wall=0 out=0 addr=auto:192.168.0.10 border=0,0";
const QByteArray initialRecords = "s10\r\ns21\r\ns32\r\ns43\r\n";

QList<QByteArray> repeated(const QByteArray &frame, int times)
{
    return QList<QByteArray>(times, frame);
}

} // namespace

class tst_EmulatorModel : public QObject
{
    Q_OBJECT

private slots:
    void frameAnswers_data();
    void frameAnswers();
    void ignoredFrames_data();
    void ignoredFrames();
    void detachedDisplays();
    void everyBurstFitsTheReplyLine();

    void reader_data();
    void reader();
    void readerExpiresFalseStart();
    void readerBufferStaysBounded();

    void consoleCommands_data();
    void consoleCommands();
    void consoleDelivery();
    void noiseHoldsNoReply();
    void consoleErrors_data();
    void consoleErrors();
};

void tst_EmulatorModel::frameAnswers_data()
{
    QTest::addColumn<QList<QByteArray>>("before");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<Replies>("answer");
    QTest::addColumn<QByteArray>("state");

    const QList<QByteArray> none;
    QTest::newRow("StatusRequest: records, then MD, RS, MP")
        << none << frames::StatusRequest()
        << Replies{initialRecords, "MD0\r\n", "RS1\r\n", "MP0\r\n"} << initialState;
    QTest::newRow("StatusRequest after changes reports them")
        << QList<QByteArray>{frames::Route(1, 3), frames::SetMode(1), frames::SetResolution(8),
                             frames::VideoWallInput(2)}
        << frames::StatusRequest()
        << Replies{"s10\r\ns23\r\ns32\r\ns43\r\n", "MD1\r\n", "RS8\r\n", "MP2\r\n"}
        << QByteArray("routes=0323 displays=1111 mode=1 res=8 wall=2 out=0 addr=auto:192.168.0.10 "
                      "border=0,0");
    QTest::newRow("Route IN3 to out2 (05 55 19 12 77) reports out2 alone")
        << none << QByteArray::fromHex("0555191277") << Replies{"s22\r\n"}
        << QByteArray("routes=0223 displays=1111 mode=0 res=1 wall=0 out=0 addr=auto:192.168.0.10 "
                      "border=0,0");
    QTest::newRow("Route IN1 to out4")
        << none << frames::Route(3, 0) << Replies{"s40\r\n"}
        << QByteArray("routes=0120 displays=1111 mode=0 res=1 wall=0 out=0 addr=auto:192.168.0.10 "
                      "border=0,0");
    QTest::newRow("Route ALL to IN2 reports all four in one burst")
        << none << QByteArray::fromHex("0555194177") << Replies{"s11\r\ns21\r\ns31\r\ns41\r\n"}
        << QByteArray("routes=1111 displays=1111 mode=0 res=1 wall=0 out=0 addr=auto:192.168.0.10 "
                      "border=0,0");
    QTest::newRow("SetMode video wall")
        << none << frames::SetMode(1) << Replies{"MD1\r\n"}
        << QByteArray("routes=0123 displays=1111 mode=1 res=1 wall=0 out=0 addr=auto:192.168.0.10 "
                      "border=0,0");
    QTest::newRow("SetMode matrix") << QList<QByteArray>{frames::SetMode(1)} << frames::SetMode(0)
                                    << Replies{"MD0\r\n"} << initialState;
    QTest::newRow("SetResolution 720P@60")
        << none << frames::SetResolution(0) << Replies{"RS0\r\n"}
        << QByteArray("routes=0123 displays=1111 mode=0 res=0 wall=0 out=0 addr=auto:192.168.0.10 "
                      "border=0,0");
    QTest::newRow("SetResolution 1920X1200")
        << none << frames::SetResolution(8) << Replies{"RS8\r\n"}
        << QByteArray("routes=0123 displays=1111 mode=0 res=8 wall=0 out=0 addr=auto:192.168.0.10 "
                      "border=0,0");
    QTest::newRow("VideoWallInput IN4")
        << none << frames::VideoWallInput(3) << Replies{"MP3\r\n"}
        << QByteArray("routes=0123 displays=1111 mode=0 res=1 wall=3 out=0 addr=auto:192.168.0.10 "
                      "border=0,0");
    QTest::newRow("SetFixedAddress with marker-valued octets")
        << none << QByteArray::fromHex("0855310A55770177") << Replies{"IP OK\r\n"}
        << QByteArray("routes=0123 displays=1111 mode=0 res=1 wall=0 out=0 addr=fixed:10.85.119.1 "
                      "border=0,0");
    QTest::newRow("SetAutoAddress after a fixed one")
        << QList<QByteArray>{frames::SetFixedAddress({10, 0, 0, 7})} << frames::SetAutoAddress()
        << Replies{"DHCP OK\r\n"}
        << QByteArray(
               "routes=0123 displays=1111 mode=0 res=1 wall=0 out=0 addr=auto:10.0.0.7 border=0,0");
    QTest::newRow("OutputSelect out3 is silent")
        << none << frames::OutputSelect(2) << Replies{}
        << QByteArray("routes=0123 displays=1111 mode=0 res=1 wall=0 out=2 addr=auto:192.168.0.10 "
                      "border=0,0");
    QTest::newRow("BorderVerticalIn is silent")
        << none << frames::BorderVerticalIn() << Replies{}
        << QByteArray("routes=0123 displays=1111 mode=0 res=1 wall=0 out=0 addr=auto:192.168.0.10 "
                      "border=0,-1");
    QTest::newRow("BorderVerticalOut")
        << none << frames::BorderVerticalOut() << Replies{}
        << QByteArray("routes=0123 displays=1111 mode=0 res=1 wall=0 out=0 addr=auto:192.168.0.10 "
                      "border=0,1");
    QTest::newRow("BorderHorizontalIn")
        << none << frames::BorderHorizontalIn() << Replies{}
        << QByteArray("routes=0123 displays=1111 mode=0 res=1 wall=0 out=0 addr=auto:192.168.0.10 "
                      "border=-1,0");
    QTest::newRow("BorderHorizontalOut stops at the limit")
        << repeated(frames::BorderHorizontalOut(), 40) << frames::BorderHorizontalOut() << Replies{}
        << QByteArray("routes=0123 displays=1111 mode=0 res=1 wall=0 out=0 addr=auto:192.168.0.10 "
                      "border=16,0");
    QTest::newRow("BorderReset (05 55 04 77) centres both")
        << QList<QByteArray>{frames::BorderHorizontalIn(), frames::BorderVerticalOut()}
        << QByteArray::fromHex("05550477") << Replies{} << initialState;
}

void tst_EmulatorModel::frameAnswers()
{
    QFETCH(QList<QByteArray>, before);
    QFETCH(QByteArray, frame);
    QFETCH(Replies, answer);
    QFETCH(QByteArray, state);

    MatrixModel model;
    for (const QByteArray &earlier : before)
        model.handleFrame(earlier);
    QCOMPARE(model.handleFrame(frame), answer);
    QCOMPARE(stateOf(model), state);
}

void tst_EmulatorModel::ignoredFrames_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("Route to input 5") << QByteArray::fromHex("0555191477");
    QTest::newRow("Route to row 6") << QByteArray::fromHex("0555195177");
    QTest::newRow("SetMode 2") << QByteArray::fromHex("0555210277");
    QTest::newRow("SetResolution 9") << QByteArray::fromHex("0555220977");
    QTest::newRow("VideoWallInput 4") << QByteArray::fromHex("0555230477");
    QTest::newRow("OutputSelect 4") << QByteArray::fromHex("0555020477");
    QTest::newRow("unknown command 0x09") << QByteArray::fromHex("04550977");
    QTest::newRow("StatusRequest with a parameter") << QByteArray::fromHex("0555200077");
    QTest::newRow("Route without its parameter") << QByteArray::fromHex("04551977");
    QTest::newRow("BorderReset with length byte 4") << QByteArray::fromHex("04550477");
    QTest::newRow("length byte disagrees") << QByteArray::fromHex("0855191277");
    QTest::newRow("no end marker") << QByteArray::fromHex("04552078");
    QTest::newRow("empty") << QByteArray();
}

void tst_EmulatorModel::ignoredFrames()
{
    QFETCH(QByteArray, frame);
    MatrixModel model;
    QCOMPARE(model.handleFrame(frame), Replies{});
    QCOMPARE(stateOf(model), initialState);
}

void tst_EmulatorModel::detachedDisplays()
{
    MatrixModel model;
    QCOMPARE(model.setDisplayAttached(1, false), Replies{"p20\r\n"});
    QCOMPARE(model.handleFrame(frames::StatusRequest()).constFirst(),
             QByteArray("s10\r\np20\r\ns32\r\ns43\r\n"));
    // A route to an output without a display is kept and shows once the display is back.
    QCOMPARE(model.handleFrame(frames::Route(1, 3)), Replies{"p20\r\n"});
    QCOMPARE(model.handleFrame(frames::Route(4, 2)), Replies{"s12\r\np20\r\ns32\r\ns42\r\n"});
    QCOMPARE(model.setDisplayAttached(1, true), Replies{"s22\r\n"});
    QCOMPARE(model.setDisplayAttached(4, false), Replies{});
}

// The panel decodes at most four five-character records at fixed slots and a tag only at the
// start of a line: whatever the panel sends, every burst is up to four records or one tag.
void tst_EmulatorModel::everyBurstFitsTheReplyLine()
{
    const QRegularExpression records(QStringLiteral("^([sp][1-4][0-3]\\r\\n){1,4}$"));
    const QRegularExpression tag(QStringLiteral("^(MD[01]|RS[0-8]|MP[0-3]|IP OK|DHCP OK)\\r\\n$"));
    MatrixModel model;
    model.setDisplayAttached(2, false);
    int answered = 0;
    for (int command = 0; command < 256; ++command) {
        for (int parameter = 0; parameter < 256; ++parameter) {
            const QByteArray frame[] = {
                QByteArray::fromHex("0455") + char(command) + char(0x77),
                QByteArray::fromHex("0555") + char(command) + char(parameter) + char(0x77),
            };
            for (const QByteArray &f : frame) {
                for (const QByteArray &burst : model.handleFrame(f)) {
                    ++answered;
                    const QString text = QString::fromLatin1(burst);
                    QVERIFY2(burst.size() <= 20, burst.constData());
                    QVERIFY2(records.match(text).hasMatch() || tag.match(text).hasMatch(),
                             burst.constData());
                }
            }
        }
    }
    QVERIFY(answered > 256);
}

void tst_EmulatorModel::reader_data()
{
    QTest::addColumn<QList<QByteArray>>("writes");
    QTest::addColumn<QList<QByteArray>>("expected");
    QTest::addColumn<qsizetype>("skipped");
    QTest::addColumn<qsizetype>("pending");

    const QByteArray status = frames::StatusRequest();
    const QByteArray route = frames::Route(1, 2);
    const QByteArray reset = QByteArray::fromHex("05550477");
    const QByteArray fixed = QByteArray::fromHex("0855310A55770177");
    using L = QList<QByteArray>;

    QTest::newRow("one frame in one write") << L{route} << L{route} << qsizetype(0) << qsizetype(0);
    QTest::newRow("frame split over three writes")
        << L{QByteArray::fromHex("0555"), QByteArray::fromHex("1912"), QByteArray::fromHex("77")}
        << L{route} << qsizetype(0) << qsizetype(0);
    QTest::newRow("frame cut, rest still to come")
        << L{QByteArray::fromHex("085531C0A8")} << L{} << qsizetype(0) << qsizetype(5);
    QTest::newRow("three frames merged in one write")
        << L{status + route + fixed} << L{status, route, fixed} << qsizetype(0) << qsizetype(0);
    QTest::newRow("marker-valued octets fed byte by byte") << [&] {
        L bytes;
        for (char c : fixed)
            bytes << QByteArray(1, c);
        return bytes;
    }() << L{fixed} << qsizetype(0) << qsizetype(0);
    QTest::newRow("short BorderReset, then a frame at once")
        << L{reset + status} << L{reset, status} << qsizetype(0) << qsizetype(0);
    QTest::newRow("short BorderReset split after its command")
        << L{QByteArray::fromHex("055504"), QByteArray::fromHex("77")} << L{reset} << qsizetype(0)
        << qsizetype(0);
    QTest::newRow("five bytes with command 04 are not a frame")
        << L{QByteArray::fromHex("0555040077") + status} << L{status} << qsizetype(5)
        << qsizetype(0);
    QTest::newRow("garbage before, between and after")
        << L{QByteArray("xx\x55\x77") + route + QByteArray("\x77\x55") + status + "\x04"}
        << L{route, status} << qsizetype(6) << qsizetype(1);
    QTest::newRow("false start hides a frame until it fails")
        << L{QByteArray::fromHex("0855") + status + status} << L{status, status} << qsizetype(2)
        << qsizetype(0);
    QTest::newRow("skipped bytes uncover a whole frame and more")
        << L{QByteArray::fromHex("085519") + status + QByteArray::fromHex("00")} << L{status}
        << qsizetype(4) << qsizetype(0);
    QTest::newRow("end marker missing, next frame found")
        << L{QByteArray::fromHex("0555191200") + route} << L{route} << qsizetype(5) << qsizetype(0);
}

void tst_EmulatorModel::reader()
{
    QFETCH(QList<QByteArray>, writes);
    QFETCH(QList<QByteArray>, expected);
    QFETCH(qsizetype, skipped);
    QFETCH(qsizetype, pending);

    FrameReader reader;
    QList<QByteArray> frames;
    for (const QByteArray &bytes : writes)
        frames += reader.feed(bytes);
    QCOMPARE(frames, expected);
    QCOMPARE(reader.skippedCount(), skipped);
    QCOMPARE(reader.pendingSize(), pending);
}

void tst_EmulatorModel::readerExpiresFalseStart()
{
    // 08 55 looks like the start of an eight-byte frame and would hold the StatusRequest
    // behind it until four more bytes arrived.
    FrameReader reader;
    QCOMPARE(reader.feed(QByteArray::fromHex("0855") + frames::StatusRequest()),
             QList<QByteArray>{});
    QCOMPARE(reader.pendingSize(), 6);
    QCOMPARE(reader.expire(), QList<QByteArray>{frames::StatusRequest()});
    QCOMPARE(reader.pendingSize(), 0);
    QCOMPARE(reader.skippedCount(), 2);

    // A frame cut short and never finished is dropped by the expiry.
    FrameReader cut;
    cut.feed(QByteArray::fromHex("055519"));
    QCOMPARE(cut.expire(), QList<QByteArray>{});
    QCOMPARE(cut.pendingSize(), 0);
    QCOMPARE(cut.feed(frames::Route(0, 1)), QList<QByteArray>{frames::Route(0, 1)});
}

void tst_EmulatorModel::readerBufferStaysBounded()
{
    FrameReader reader;
    QRandomGenerator random(6);
    QByteArray noise(4096, Qt::Uninitialized);
    for (int round = 0; round < 64; ++round) {
        for (char &c : noise) {
            // Mostly bytes that look like frame starts, to keep the reader guessing.
            const quint32 r = random.bounded(8);
            c = r < 2   ? char(0x08)
                : r < 4 ? char(0x55)
                : r < 5 ? char(0x05)
                        : char(random.bounded(256));
        }
        reader.feed(noise);
        QVERIFY(reader.pendingSize() < FrameReader::maxFrameSize);
    }
    // However the noise ended, the line recovers: a quiet spell, then a frame.
    while (reader.pendingSize() > 0)
        reader.expire();
    QCOMPARE(reader.feed(frames::StatusRequest()), QList<QByteArray>{frames::StatusRequest()});
}

void tst_EmulatorModel::consoleCommands_data()
{
    using A = ConsoleCommand::Action;
    QTest::addColumn<QString>("line");
    QTest::addColumn<A>("action");
    QTest::addColumn<int>("output");
    QTest::addColumn<int>("value");
    QTest::addColumn<Replies>("pushed");

    QTest::newRow("route 2 3: IN3 to out2")
        << QStringLiteral("route 2 3") << A::Route << 1 << 2 << Replies{"s22\r\n"};
    QTest::newRow("route all 4") << QStringLiteral("  ROUTE  all 4 ") << A::Route
                                 << MatrixModel::allOutputs << 3
                                 << Replies{"s13\r\ns23\r\ns33\r\ns43\r\n"};
    QTest::newRow("detach 3") << QStringLiteral("detach 3") << A::Detach << 2 << 0
                              << Replies{"p30\r\n"};
    QTest::newRow("attach 1") << QStringLiteral("attach 1") << A::Attach << 0 << 0
                              << Replies{"s10\r\n"};
    QTest::newRow("mode 1") << QStringLiteral("mode 1") << A::Mode << 0 << 1 << Replies{"MD1\r\n"};
    QTest::newRow("mode matrix") << QStringLiteral("mode matrix") << A::Mode << 0 << 0
                                 << Replies{"MD0\r\n"};
    QTest::newRow("resolution by name")
        << QStringLiteral("resolution 1920x1200") << A::Resolution << 0 << 8 << Replies{"RS8\r\n"};
    QTest::newRow("resolution by index")
        << QStringLiteral("resolution 0") << A::Resolution << 0 << 0 << Replies{"RS0\r\n"};
    QTest::newRow("wall 2") << QStringLiteral("wall 2") << A::Wall << 0 << 1 << Replies{"MP1\r\n"};
    QTest::newRow("hangup") << QStringLiteral("hangup") << A::Hangup << 0 << 0 << Replies{};
    // The line's faults change nothing in the matrix; the host carries them out.
    QTest::newRow("silence on") << QStringLiteral("silence on") << A::Silence << 0 << 1
                                << Replies{};
    QTest::newRow("silence off") << QStringLiteral("Silence OFF") << A::Silence << 0 << 0
                                 << Replies{};
    QTest::newRow("junk: seven bytes") << QStringLiteral("junk") << A::Junk << 0 << 7 << Replies{};
    QTest::newRow("junk 300") << QStringLiteral("junk 300") << A::Junk << 0 << 300 << Replies{};
    QTest::newRow("junk on: every reply as noise")
        << QStringLiteral("junk on") << A::Garble << 0 << 1 << Replies{};
    QTest::newRow("junk off") << QStringLiteral("junk off") << A::Garble << 0 << 0 << Replies{};
    QTest::newRow("quit") << QStringLiteral("quit") << A::Quit << 0 << 0 << Replies{};
    QTest::newRow("blank line") << QStringLiteral("   ") << A::None << 0 << 0 << Replies{};
}

void tst_EmulatorModel::consoleCommands()
{
    QFETCH(QString, line);
    QFETCH(ConsoleCommand::Action, action);
    QFETCH(int, output);
    QFETCH(int, value);
    QFETCH(Replies, pushed);

    QString error;
    const auto command = parseConsoleCommand(line, &error);
    QVERIFY2(command, qPrintable(error));
    QCOMPARE(command->action, action);
    QCOMPARE(command->output, output);
    QCOMPARE(command->value, value);
    MatrixModel model;
    QCOMPARE(applyConsoleCommand(model, *command), pushed);
}

// The delivery command carries the way it names, and changes nothing in the matrix.
void tst_EmulatorModel::consoleDelivery()
{
    QString error;
    const auto command = parseConsoleCommand(QStringLiteral("delivery chunks:4/10+gap:5"), &error);
    QVERIFY2(command, qPrintable(error));
    QCOMPARE(command->action, ConsoleCommand::Action::Delivery);
    LineDelivery expected = LineDelivery::chunks(4, 10);
    expected.replyGapMs = 5;
    QCOMPARE(command->delivery, expected);
    MatrixModel model;
    QCOMPARE(applyConsoleCommand(model, *command), Replies{});
}

// Whatever the console's junk sends, the panel must never take a line end or a character of a
// reply from it: every byte value mangled, and noise of every length up to the most.
void tst_EmulatorModel::noiseHoldsNoReply()
{
    QByteArray everyByte;
    for (int b = 0; b < 256; ++b)
        everyByte.append(char(b));
    const QByteArray noises[] = {linenoise::atAnotherBaudRate(everyByte),
                                 linenoise::junk(linenoise::maxJunk)};
    QCOMPARE(noises[0].size(), 256);
    QCOMPARE(noises[1].size(), linenoise::maxJunk);
    for (const QByteArray &noise : noises) {
        for (const char c : noise)
            QVERIFY2(quint8(c) >= 0x80, qPrintable(QString::number(quint8(c), 16)));
    }
    QCOMPARE(linenoise::junk(7), QByteArray::fromHex("f880e0fe9cc08f"));
}

void tst_EmulatorModel::consoleErrors_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("error");
    QTest::newRow("unknown word") << QStringLiteral("switch 1 2")
                                  << QStringLiteral("unknown command \"switch\" (try \"help\")");
    QTest::newRow("output 5") << QStringLiteral("route 5 1")
                              << QStringLiteral("usage: route <output 1-4 | all> <input 1-4>");
    QTest::newRow("input 0") << QStringLiteral("route 1 0")
                             << QStringLiteral("usage: route <output 1-4 | all> <input 1-4>");
    QTest::newRow("route missing input")
        << QStringLiteral("route 1")
        << QStringLiteral("usage: route <output 1-4 | all> <input 1-4>");
    QTest::newRow("detach all") << QStringLiteral("detach all")
                                << QStringLiteral("usage: detach <output 1-4>");
    QTest::newRow("mode 2") << QStringLiteral("mode 2")
                            << QStringLiteral("usage: mode <0 matrix | 1 wall>");
    QTest::newRow("resolution 9") << QStringLiteral("resolution 9")
                                  << QStringLiteral(
                                         "usage: resolution <0-8 | 720P@60 ... 1920X1200>");
    QTest::newRow("silence without a word")
        << QStringLiteral("silence") << QStringLiteral("usage: silence <on | off>");
    QTest::newRow("junk 0") << QStringLiteral("junk 0")
                            << QStringLiteral("usage: junk [<bytes 1-4096> | on | off]");
    QTest::newRow("junk 4097") << QStringLiteral("junk 4097")
                               << QStringLiteral("usage: junk [<bytes 1-4096> | on | off]");
    QTest::newRow("quit with argument")
        << QStringLiteral("quit now") << QStringLiteral("quit takes no arguments");
    QTest::newRow("delivery without a way")
        << QStringLiteral("delivery")
        << QStringLiteral("usage: delivery <usb | instant | bytes | chunks:N/M>[+gap:MS]");
    QTest::newRow("delivery unknown")
        << QStringLiteral("delivery fast")
        << QStringLiteral("unknown delivery \"fast\" (usb, instant, bytes or chunks:N/M, "
                          "optionally followed by +gap:MS)");
}

void tst_EmulatorModel::consoleErrors()
{
    QFETCH(QString, line);
    QFETCH(QString, error);
    QString reason;
    QVERIFY(!parseConsoleCommand(line, &reason));
    QCOMPARE(reason, error);
}

QTEST_GUILESS_MAIN(tst_EmulatorModel)
#include "tst_emulatormodel.moc"
