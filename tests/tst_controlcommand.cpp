// SPDX-License-Identifier: MIT
// The control socket's pure parts: command lines, commands, listen addresses, the state as JSON.

#include "commandlines.h"
#include "controlcommand.h"
#include "listenaddress.h"
#include "panelstate.h"

#include <QtTest>

using Line = CommandLines::Line;
Q_DECLARE_METATYPE(QList<Line>)

class tst_ControlCommand : public QObject
{
    Q_OBJECT

private slots:
    void commands_data();
    void commands();
    void refused_data();
    void refused();
    void lines_data();
    void lines();
    void listenAddress_data();
    void listenAddress();
    void stateJson();
    void namesAndPresetsJson();
};

void tst_ControlCommand::commands_data()
{
    // Each accepted line and its plain form, which must read back as the same command.
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("plain");
    const auto row = [](const char *line, const char *plain) {
        QTest::newRow(line) << QByteArray(line) << QByteArray(plain);
    };
    row("route 2 3", "route 2 3");
    row("route all 1", "route all 1");
    row("ROUTE ALL 4", "route all 4");
    row("  route\t1   4  ", "route 1 4");
    row("wall 4", "wall 4");
    row("mode matrix", "mode matrix");
    row("Mode WALL", "mode wall");
    row("resolution 0", "resolution 0");
    row("resolution 8", "resolution 8");
    row("resolution 1080p@60", "resolution 1");
    row("resolution 1920X1200", "resolution 8");
    row("monitor", "monitor");
    row("border up", "border up");
    row("border down", "border down");
    row("border left", "border left");
    row("border right", "border right");
    row("reset", "reset");
    row("update", "update");
    row("connect", "connect");
    row("disconnect", "disconnect");
    row("state", "state");
    row("watch", "watch");
    row("help", "help");
    row("address auto", "address auto");
    row("address 10.85.119.1", "address 10.85.119.1");
    row("address 010.0.0.255 (leading zeros are decimal)", "address 10.0.0.255");
    // Names wherever an output or an input goes, the case kept; quotes hold blanks.
    row("route Projector \"Blu-ray\"", "route Projector Blu-ray");
    row("route one 2", "route one 2");
    row("route \"Main hall\" \"Camera 2\"", "route \"Main hall\" \"Camera 2\"");
    row("route all Kamera\u00e4", "route all Kamera\u00e4");
    row("route \"3\" \"4\" (a quoted number is a number)", "route 3 4");
    row("WALL Blu\\\"ray", "wall \"Blu\\\"ray\"");
    row("route \"back\\\\slash\" 1", "route \"back\\\\slash\" 1");
    row("route a\"b c\"d 1 (quotes inside a word)", "route \"ab cd\" 1");
    row("names", "names");
    row("name in 2 Blu-ray", "name in 2 Blu-ray");
    row("NAME OUT 1 Main   hall projector", "name out 1 \"Main hall projector\"");
    row("name out 4 \"  spaced  \"", "name out 4 \"  spaced  \"");
    row("name in 3", "name in 3 \"\"");
    row("name in 3 \"\"", "name in 3 \"\"");
    row("preset list", "preset list");
    row("preset save All on camera", "preset save \"All on camera\"");
    row("Preset Recall \"All on camera\"", "preset recall \"All on camera\"");
    row("preset delete Lecture", "preset delete Lecture");
}

void tst_ControlCommand::commands()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, plain);
    const qsizetype note = line.indexOf(" (");
    const ParsedControlCommand parsed = parseControlCommand(note < 0 ? line : line.left(note));
    QVERIFY2(parsed.ok, parsed.error.constData());
    QCOMPARE(controlCommandText(parsed.command), plain);
    const ParsedControlCommand again = parseControlCommand(plain);
    QVERIFY(again.ok);
    QVERIFY(again.command == parsed.command);
}

void tst_ControlCommand::refused_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("error");
    const QByteArray route = "usage: route OUT|all IN (OUT and IN 1-4 or a name)";
    const QByteArray address = "usage: address auto|A.B.C.D (four numbers 0-255)";
    const QByteArray binary = "not a text command (only UTF-8 text without control characters)";
    const QByteArray name = "usage: name in|out N TEXT (N 1-4; no TEXT clears the name)";
    const QByteArray preset = "usage: preset list|save NAME|recall NAME|delete NAME";
    QTest::newRow("unknown word") << QByteArray("frobnicate")
                                  << QByteArray("unknown command \"frobnicate\" (try help)");
    QTest::newRow("unknown long word is cut")
        << QByteArray(40, 'x')
        << QByteArray("unknown command \"" + QByteArray(32, 'x') + "...\" (try help)");
    QTest::newRow("blank") << QByteArray("  ") << QByteArray("empty command (try help)");
    QTest::newRow("output 5") << QByteArray("route 5 1") << route;
    QTest::newRow("output 0") << QByteArray("route 0 1") << route;
    QTest::newRow("input 0 to all") << QByteArray("route all 0") << route;
    QTest::newRow("route without input") << QByteArray("route 1") << route;
    QTest::newRow("route with three arguments") << QByteArray("route 1 2 3") << route;
    QTest::newRow("route with a leading zero") << QByteArray("route 01 2") << route;
    QTest::newRow("route with a sign") << QByteArray("route +1 2") << route;
    QTest::newRow("route with a minus sign") << QByteArray("route 1 -2") << route;
    QTest::newRow("route with two names in one word") << QByteArray("route \"a b\" c d") << route;
    QTest::newRow("wall 0") << QByteArray("wall 0") << QByteArray("usage: wall IN (1-4 or a name)");
    QTest::newRow("wall alone") << QByteArray("wall")
                                << QByteArray("usage: wall IN (1-4 or a name)");
    QTest::newRow("a quote left open")
        << QByteArray("route \"Blu-ray 1") << QByteArray("a double quote is left open");
    QTest::newRow("an escaped quote does not close")
        << QByteArray("preset save \"a\\\"") << QByteArray("a double quote is left open");
    QTest::newRow("name of input 5") << QByteArray("name in 5 x") << name;
    QTest::newRow("name of neither side") << QByteArray("name wall 1 x") << name;
    QTest::newRow("name without a number") << QByteArray("name in") << name;
    QTest::newRow("preset save without a name") << QByteArray("preset save") << preset;
    QTest::newRow("preset save with an empty name") << QByteArray("preset save \"\"") << preset;
    QTest::newRow("preset list with a name") << QByteArray("preset list all") << preset;
    QTest::newRow("preset rename") << QByteArray("preset rename a b") << preset;
    QTest::newRow("names with an argument")
        << QByteArray("names all") << QByteArray("names takes no arguments");
    QTest::newRow("an unknown word that is not ASCII")
        << QByteArray("pr\xc3\xa9set") << QByteArray("unknown command (try help)");
    QTest::newRow("broken UTF-8") << QByteArray("name in 1 \xc3(") << binary;
    QTest::newRow("a C1 control character") << QByteArray("name in 1 \xc2\x9b") << binary;
    QTest::newRow("a line separator") << QByteArray("name in 1 a\xe2\x80\xa8") << binary;
    QTest::newRow("mode video") << QByteArray("mode video")
                                << QByteArray("usage: mode matrix|wall");
    QTest::newRow("resolution 9")
        << QByteArray("resolution 9")
        << QByteArray("usage: resolution 0-8|CAPTION (720P@60 1080P@60 1024X768 1280X1024 "
                      "1360X768 1440X900 1600X1200 1680X1050 1920X1200)");
    QTest::newRow("border middle")
        << QByteArray("border middle") << QByteArray("usage: border up|down|left|right");
    QTest::newRow("address octet 256") << QByteArray("address 256.0.0.1") << address;
    QTest::newRow("address of three numbers") << QByteArray("address 1.2.3") << address;
    QTest::newRow("address of five numbers") << QByteArray("address 1.2.3.4.5") << address;
    QTest::newRow("address alone") << QByteArray("address") << address;
    QTest::newRow("reset now") << QByteArray("reset now") << QByteArray("reset takes no arguments");
    QTest::newRow("state 1") << QByteArray("state 1") << QByteArray("state takes no arguments");
    QTest::newRow("NUL inside") << QByteArray("route 1\0 2", 10) << binary;
    QTest::newRow("bytes that are no UTF-8") << QByteArray("\xff\xfe\x80") << binary;
    QTest::newRow("DEL") << QByteArray("route 1 2\x7f") << binary;
    QTest::newRow("escape sequence") << QByteArray("\x1b[Aroute 1 2") << binary;
}

void tst_ControlCommand::refused()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, error);
    const ParsedControlCommand parsed = parseControlCommand(line);
    QVERIFY(!parsed.ok);
    QCOMPARE(parsed.error, error);
}

void tst_ControlCommand::lines_data()
{
    QTest::addColumn<QList<QByteArray>>("reads");
    QTest::addColumn<QList<Line>>("lines");
    QTest::addColumn<int>("pending");
    const QByteArray full(CommandLines::maxLine, 'a');
    const Line tooLong{{}, true};
    const auto line = [](const QByteArray &text) { return Line{text, false}; };

    QTest::newRow("LF") << QList<QByteArray>{"state\n"} << QList<Line>{line("state")} << 0;
    QTest::newRow("CR LF") << QList<QByteArray>{"state\r\n"} << QList<Line>{line("state")} << 0;
    QTest::newRow("CR alone") << QList<QByteArray>{"a\rb\n"} << QList<Line>{line("a"), line("b")}
                              << 0;
    QTest::newRow("blank lines are skipped")
        << QList<QByteArray>{"\r\n\r\n \t \nx\n"} << QList<Line>{line("x")} << 0;
    QTest::newRow("a line over two reads")
        << QList<QByteArray>{"sta", "te\r", "\nhelp"} << QList<Line>{line("state")} << 4;
    QTest::newRow("256 bytes are a line")
        << QList<QByteArray>{full + "\n"} << QList<Line>{line(full)} << 0;
    QTest::newRow("257 bytes are too long, the next line counts")
        << QList<QByteArray>{full + "b\nstate\n"} << QList<Line>{tooLong, line("state")} << 0;
    QTest::newRow("reported once, as soon as byte 257 arrives")
        << QList<QByteArray>{full, "b", QByteArray(5000, 'c')} << QList<Line>{tooLong} << 0;
    QTest::newRow("the rest of the long line is dropped up to its end")
        << QList<QByteArray>{full + "route 1 2", "route 1 3\nhelp\n"}
        << QList<Line>{tooLong, line("help")} << 0;
}

void tst_ControlCommand::lines()
{
    QFETCH(QList<QByteArray>, reads);
    QFETCH(QList<Line>, lines);
    QFETCH(int, pending);
    CommandLines cutter;
    QList<Line> got;
    for (const QByteArray &read : reads) {
        cutter.append(read);
        while (cutter.hasLine())
            got.append(cutter.takeLine());
    }
    QCOMPARE(got.size(), lines.size());
    for (qsizetype i = 0; i < got.size(); ++i) {
        QCOMPARE(got[i].tooLong, lines[i].tooLong);
        QCOMPARE(got[i].text, lines[i].text);
    }
    QCOMPARE(cutter.pending(), pending);
}

void tst_ControlCommand::listenAddress_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("listens"); // empty: refused
    QTest::addColumn<bool>("loopback");
    QTest::addColumn<QString>("connectsTo");
    const auto row = [](const char *text, const char *listens, bool loopback, const char *to) {
        QTest::newRow(text) << QString::fromLatin1(text) << QString::fromLatin1(listens) << loopback
                            << QString::fromLatin1(to);
    };
    row("4321", "127.0.0.1:4321", true, "127.0.0.1");
    row("0", "127.0.0.1:0", true, "127.0.0.1");
    row("65535", "127.0.0.1:65535", true, "127.0.0.1");
    row("localhost:4321", "127.0.0.1:4321", true, "127.0.0.1");
    row("[::1]:4321", "[::1]:4321", true, "::1");
    row("192.0.2.7:4321", "192.0.2.7:4321", false, "192.0.2.7");
    row("0.0.0.0:4321", "0.0.0.0:4321", false, "127.0.0.1");
    row("[::]:4321", "[::]:4321", false, "::1");
    row("unix:/run/velquor.sock", "unix:/run/velquor.sock", true, "");
    row("", "", false, "");
    row("65536", "", false, "");
    row("-1", "", false, "");
    row("43a", "", false, "");
    row("matrix.example:4321", "", false, "");
    row("1.2.3.4:", "", false, "");
    row(":4321", "", false, "");
    row("unix:", "", false, "");
    // A socket's path holds at most 107 bytes on Linux.
    const QByteArray longest = "unix:/" + QByteArray(106, 's');
    row(longest.constData(), longest.constData(), true, "");
    row(QByteArray(longest + "s").constData(), "", false, "");
}

void tst_ControlCommand::listenAddress()
{
    QFETCH(QString, text);
    QFETCH(QString, listens);
    QFETCH(bool, loopback);
    QFETCH(QString, connectsTo);
    QString error;
    const std::optional<ListenAddress> address = ListenAddress::parse(text, &error);
    if (listens.isEmpty()) {
        QVERIFY(!address);
        QVERIFY(!error.isEmpty());
        return;
    }
    QVERIFY2(address, qPrintable(error));
    QCOMPARE(address->text(), listens);
    QCOMPARE(address->isLoopback(), loopback);
    if (address->kind == ListenAddress::Kind::Tcp)
        QCOMPARE(address->connectHost().toString(), connectsTo);
}

void tst_ControlCommand::stateJson()
{
    PanelState state;
    const QByteArray noInputNames = R"("inputs":[{"input":1,"name":null},{"input":2,"name":null},)"
                                    R"({"input":3,"name":null},{"input":4,"name":null}],)";
    QCOMPARE(panelStateJson(state),
             QByteArray(R"({"connected":false,"device":null,)" + noInputNames +
                        R"("mode":null,"outputs":[)"
                        R"({"colour":"none","name":null,"output":1,"route":null},)"
                        R"({"colour":"none","name":null,"output":2,"route":null},)"
                        R"({"colour":"none","name":null,"output":3,"route":null},)"
                        R"({"colour":"none","name":null,"output":4,"route":null}],)"
                        R"("port":null,"preset":null,"resolution":null,"wall":null})"));

    state.connected = true;
    state.port = 3;
    state.device = QStringLiteral("/dev/ttyUSB0");
    state.mode = 1;
    state.wall = 2;
    state.resolution = 8;
    state.outputs[0] = {PanelState::Colour::Green, 3, QStringLiteral("Projector")};
    state.outputs[3] = {PanelState::Colour::Red, 1, QString()};
    state.inputNames[1] = QStringLiteral("Blu-ray 4K");
    state.preset = QStringLiteral("Lecture");
    QCOMPARE(
        panelStateJson(state),
        QByteArray(R"({"connected":true,"device":"/dev/ttyUSB0",)"
                   R"("inputs":[{"input":1,"name":null},{"input":2,"name":"Blu-ray 4K"},)"
                   R"({"input":3,"name":null},{"input":4,"name":null}],"mode":"wall","outputs":[)"
                   R"({"colour":"green","name":"Projector","output":1,"route":3},)"
                   R"({"colour":"none","name":null,"output":2,"route":null},)"
                   R"({"colour":"none","name":null,"output":3,"route":null},)"
                   R"({"colour":"red","name":null,"output":4,"route":1}],)"
                   R"("port":"COM3","preset":"Lecture","resolution":"1920X1200","wall":2})"));
}

void tst_ControlCommand::namesAndPresetsJson()
{
    Names names;
    names.inputs[3] = QStringLiteral("Kamera \u00e4");
    names.outputs[0] = QStringLiteral("Projector");
    QCOMPARE(
        namesJson(names),
        QByteArray(R"({"inputs":[{"input":1,"name":null},{"input":2,"name":null},)"
                   R"({"input":3,"name":null},{"input":4,"name":"Kamera )"
                   "\xc3\xa4"
                   R"("}],"outputs":[{"name":"Projector","output":1},{"name":null,"output":2},)"
                   R"({"name":null,"output":3},{"name":null,"output":4}]})"));
    const QList<Preset> presets{{QStringLiteral("Lecture"), {2, 1, 4, 3}},
                                {QStringLiteral("Stage"), {1, 1, 1, 1}}};
    QCOMPARE(presetListJson(presets, 1),
             QByteArray(R"({"active":"Stage","presets":[{"name":"Lecture","routes":[2,1,4,3]},)"
                        R"({"name":"Stage","routes":[1,1,1,1]}]})"));
    QCOMPARE(presetListJson({}, -1), QByteArray(R"({"active":null,"presets":[]})"));
}

QTEST_GUILESS_MAIN(tst_ControlCommand)
#include "tst_controlcommand.moc"
