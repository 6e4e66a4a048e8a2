// SPDX-License-Identifier: MIT
// The user's settings file: what it maps, what it ignores, what saving keeps, and how the
// program starts with it.

#include "printabletext.h"
#include "programrun.h"
#include "ptypair.h"
#include "scratchdir.h"
#include "usersettings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(content) == content.size();
}

// "3=/dev/ttyUSB0" for every port the map names.
QStringList entriesOf(const PortMap &ports)
{
    QStringList entries;
    for (int port = 1; port <= PortMap::maxPort; ++port) {
        if (ports.isMapped(port))
            entries.append(u"%1=%2"_s.arg(port).arg(ports.deviceFor(port)));
    }
    return entries;
}

// What stands where the settings file is expected. A path past the system's limit is made by
// a long run of "./" after the directory: a real folder, a name the system refuses.
enum class Shape { File, Fifo, Directory, LongPath };

// The settings file's path in dir, with the shape put there (content for a file).
QString makeSettingsFile(const QTemporaryDir &dir, Shape shape, const QByteArray &content)
{
    switch (shape) {
    case Shape::File:
        break;
    case Shape::Fifo:
        if (::mkfifo(QFile::encodeName(dir.filePath(u"velquor.conf"_s)).constData(), 0600) != 0)
            return {};
        break;
    case Shape::Directory:
        if (!QDir(dir.path()).mkdir(u"velquor.conf"_s))
            return {};
        break;
    case Shape::LongPath:
        return dir.path() + u"/"_s + u"./"_s.repeated(2100) + u"velquor.conf"_s;
    }
    const QString path = dir.filePath(u"velquor.conf"_s);
    if (shape == Shape::File && !writeFile(path, content))
        return {};
    return path;
}

// A file that maps COM1, padded with a comment to size bytes.
QByteArray mappingPaddedTo(qsizetype size)
{
    QByteArray content = "[ports]\nCOM1=/dev/ttyUSB0\n;"_ba;
    return content + QByteArray(size - content.size() - 1, 'x') + '\n';
}

// "in2=Blu-ray" for each name, "Lecture=2143" for each preset, "gap=100".
QStringList entriesOf(const NamesAndPresets &content)
{
    QStringList entries;
    for (int k = 0; k < 4; ++k) {
        if (!content.names.inputs[k].isEmpty())
            entries.append(u"in%1=%2"_s.arg(k + 1).arg(content.names.inputs[k]));
    }
    for (int k = 0; k < 4; ++k) {
        if (!content.names.outputs[k].isEmpty())
            entries.append(u"out%1=%2"_s.arg(k + 1).arg(content.names.outputs[k]));
    }
    for (const Preset &preset : content.presets) {
        QString routes;
        for (const int input : preset.routes)
            routes += QString::number(input);
        entries.append(preset.name + u"="_s + routes);
    }
    entries.append(u"gap=%1"_s.arg(content.gap));
    return entries;
}

// The warnings are one for each entry, each naming the file and its entry.
bool warnsOfEach(const UserSettings &settings, const QStringList &entries)
{
    const QStringList &warnings = settings.warnings();
    const bool each = std::all_of(entries.cbegin(), entries.cend(), [&](const QString &entry) {
        return std::any_of(warnings.cbegin(), warnings.cend(), [&](const QString &warning) {
            return warning.startsWith(settings.path() + u": "_s + entry + u": "_s);
        });
    });
    if (!each || warnings.size() != entries.size())
        qWarning().noquote() << "warnings:" << warnings.join(u'\n');
    return each && warnings.size() == entries.size();
}

} // namespace

Q_DECLARE_METATYPE(Shape)

class tst_UserSettings : public QObject
{
    Q_OBJECT

private slots:
    void load_data();
    void reconnect_data();
    void reconnect();
    void load();
    void hostileFile_data();
    void hostileFile();
    void printableText_data();
    void printableText();
    void oneLineEntries_data();
    void oneLineEntries();
    void surfaceValueSurvivesASave();
    void fileWithASecretIsTheOwnersAlone_data();
    void fileWithASecretIsTheOwnersAlone();
    void saveChangesOnlyWhatWasSet();
    void unwritableFileIsReported();
    void saveLeavesAloneWhatItWouldNotRead_data();
    void saveLeavesAloneWhatItWouldNotRead();
    void namesAndPresets_data();
    void namesAndPresets();
    void handWrittenFileSurvivesASave();
    void startUp_data();
    void startUp();
};

void tst_UserSettings::load_data()
{
    QTest::addColumn<QByteArray>("content"); // null: no file
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QStringList>("warningsName"); // one entry per expected warning

    QTest::newRow("no file") << QByteArray() << QStringList{} << QStringList{};
    QTest::newRow("empty file") << ""_ba << QStringList{} << QStringList{};
    QTest::newRow("an adapter on COM3")
        << "[ports]\nCOM3=/dev/ttyUSB0\n"_ba << QStringList{u"3=/dev/ttyUSB0"_s} << QStringList{};
    QTest::newRow("stable path, blanks around =, comment")
        << "; the matrix\n[ports]\nCOM1 = /dev/serial/by-id/usb-Maker_A1-if00\n"_ba
        << QStringList{u"1=/dev/serial/by-id/usb-Maker_A1-if00"_s} << QStringList{};
    QTest::newRow("lower-case key, highest port")
        << "[ports]\ncom2=/dev/ttyS5\nCOM255=/dev/ttyACM0\n"_ba
        << QStringList{u"2=/dev/ttyS5"_s, u"255=/dev/ttyACM0"_s} << QStringList{};
    QTest::newRow("quoted comma belongs to the path")
        << "[ports]\nCOM4=\"/dev/a,b\"\n"_ba << QStringList{u"4=/dev/a,b"_s} << QStringList{};
    QTest::newRow("keys that are no port")
        << "[ports]\nCOM0=/dev/ttyS0\nCOM256=/dev/ttyS0\nLPT1=/dev/lp0\n"_ba << QStringList{}
        << QStringList{u"[ports] COM0"_s, u"[ports] COM256"_s, u"[ports] LPT1"_s};
    QTest::newRow("values that are no device path")
        << "[ports]\nCOM3=ttyUSB0\nCOM4=/dev/a,b\nCOM5=\nCOM6=~/line\n"_ba << QStringList{}
        << QStringList{u"[ports] COM3"_s, u"[ports] COM4"_s, u"[ports] COM5"_s, u"[ports] COM6"_s};
    QTest::newRow("unknown group and a key outside any group")
        << "speed=9600\n[connection]\nretries=3\n"_ba << QStringList{}
        << QStringList{u"speed"_s, u"[connection] retries"_s};
    QTest::newRow("serial device servers")
        << "[ports]\nCOM1=tcp://10.0.0.5:4001\nCOM2=rfc2217://[::1]:2217\nCOM3=RFC2217://matrix-rack.local:7000\n"_ba
        << QStringList{u"1=tcp://10.0.0.5:4001"_s, u"2=rfc2217://[::1]:2217"_s,
                       u"3=RFC2217://matrix-rack.local:7000"_s}
        << QStringList{};
    QTest::newRow("malformed network entries")
        << "[ports]\nCOM1=tcp://host\nCOM2=rfc2217://host:0\nCOM3=tcp://host:70000\nCOM4=tcp://a b:1\n"_ba
        << QStringList{}
        << QStringList{u"[ports] COM1"_s, u"[ports] COM2"_s, u"[ports] COM3"_s, u"[ports] COM4"_s};
    QTest::newRow("reconnect that is neither true nor false")
        << "[connection]\nreconnect=sometimes\n"_ba << QStringList{}
        << QStringList{u"[connection] reconnect"_s};
    QTest::newRow("good entries survive bad lines around them")
        << "[ports]\nCOM1=/dev/ttyUSB1\nrubbish\nCOM2=relative\nCOM3=/dev/ttyUSB3\n"_ba
        << QStringList{u"1=/dev/ttyUSB1"_s, u"3=/dev/ttyUSB3"_s}
        << QStringList{u"line 3"_s, u"[ports] COM2"_s};
    QTest::newRow("a device path past the system's limit")
        << "[ports]\nCOM1=/dev/"_ba + QByteArray(70000, 'a') + "\nCOM2=/dev/"_ba +
               QByteArray(4090, 'b') + "\n"_ba
        << QStringList{u"2=/dev/"_s + QString(4090, u'b')} << QStringList{u"[ports] COM1"_s};
}

void tst_UserSettings::hostileFile_data()
{
    QTest::addColumn<Shape>("shape");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<int>("warnings");
    QTest::addColumn<QString>("lastSays"); // the last warning holds this

    const QStringList com1{u"1=/dev/ttyUSB0"_s};
    QByteArray unknownKeys;
    QByteArray notKeyValue = "[ports]\nCOM1=/dev/ttyUSB0\n";
    for (int i = 0; i < 5000; ++i) {
        unknownKeys += "key" + QByteArray::number(i) + "=1\n";
        notKeyValue += "junk " + QByteArray::number(i) + '\n';
    }
    QTest::newRow("a FIFO: refused at once, not waited on")
        << Shape::Fifo << QByteArray() << QStringList{} << 1 << u"a FIFO"_s;
    QTest::newRow("a directory") << Shape::Directory << QByteArray() << QStringList{} << 1
                                 << u"a directory"_s;
    QTest::newRow("a path past the system's limit")
        << Shape::LongPath << QByteArray() << QStringList{} << 1
        << u"longer than the system's limit"_s;
    QTest::newRow("1 MiB and a byte: not read at all")
        << Shape::File << mappingPaddedTo(1024 * 1024 + 1) << QStringList{} << 1
        << u"larger than 1024 KiB (1048577 bytes)"_s;
    QTest::newRow("exactly 1 MiB is read")
        << Shape::File << mappingPaddedTo(1024 * 1024) << com1 << 0 << QString();
    QTest::newRow("5000 unknown keys: 20 warnings and a count")
        << Shape::File << unknownKeys << QStringList{} << 21 << u"\u2026 and 4980 more"_s;
    QTest::newRow("5000 lines that are not KEY=VALUE")
        << Shape::File << notKeyValue << com1 << 21 << u"\u2026 and 4980 more"_s;
    QTest::newRow("a 1 MB key gives a short warning")
        << Shape::File << "[ports]\n"_ba + QByteArray(1000000, 'K') + "=/dev/x\n"_ba
        << QStringList{} << 1 << u"[ports] KKKK"_s;
    QTest::newRow("control bytes are escaped")
        << Shape::File << "[ports]\nCOM1=/dev/\x1b[2J\x07\x7f\xc2\x9b!\n"_ba << QStringList{} << 1
        << u"\"/dev/\\x1b[2J\\x07\\x7f\\x9b!\" is not a device path, ignored"_s;
    QTest::newRow("a NUL byte does not cut the warning short")
        << Shape::File << "\x1b[1m\x07\0tail=1\n"_ba << QStringList{} << 1
        << u"\\x1b[1m\\x07\\x00tail: unknown key, ignored"_s;
}

void tst_UserSettings::hostileFile()
{
    QFETCH(Shape, shape);
    QFETCH(QByteArray, content);
    QFETCH(QStringList, entries);
    QFETCH(int, warnings);
    QFETCH(QString, lastSays);

    QTemporaryDir dir;
    const QString path = makeSettingsFile(dir, shape, content);
    QVERIFY(!path.isEmpty());
    UserSettings settings(path);
    settings.load();
    QCOMPARE(entriesOf(settings.ports()), entries);
    const QStringList &shown = settings.warnings();
    QCOMPARE(shown.size(), warnings);
    if (warnings > 0)
        QVERIFY2(shown.last().contains(lastSays), qPrintable(shown.last()));
    for (const QString &warning : shown) {
        // One line of at most 200 characters after the file's name (itself cut when too
        // long), with nothing a terminal would take for a control sequence.
        const qsizetype name = shape == Shape::LongPath ? 200 : path.size();
        QVERIFY2(warning.size() <= name + 2 + 200, qPrintable(warning.left(300)));
        QVERIFY2(std::none_of(warning.cbegin(), warning.cend(),
                              [](QChar c) { return c.category() == QChar::Other_Control; }),
                 qPrintable(warning));
    }
}

void tst_UserSettings::load()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, entries);
    QFETCH(QStringList, warningsName);

    QTemporaryDir dir;
    const QString path = dir.filePath(u"velquor.conf"_s);
    if (!content.isNull())
        QVERIFY(writeFile(path, content));
    UserSettings settings(path);
    settings.load();
    QCOMPARE(entriesOf(settings.ports()), entries);
    QVERIFY(warnsOfEach(settings, warningsName));
}

void tst_UserSettings::reconnect_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("reconnect");
    QTest::newRow("not named") << "[ports]\nCOM1=/dev/ttyUSB0\n"_ba << false;
    QTest::newRow("true") << "[connection]\nreconnect=true\n"_ba << true;
    QTest::newRow("TRUE") << "[connection]\nreconnect=TRUE\n"_ba << true;
    QTest::newRow("false") << "[connection]\nreconnect=false\n"_ba << false;
    QTest::newRow("1 is no answer") << "[connection]\nreconnect=1\n"_ba << false;
    QTest::newRow("outside the group") << "reconnect=true\n"_ba << false;
}

void tst_UserSettings::reconnect()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, reconnect);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"velquor.conf"_s);
    QVERIFY(writeFile(path, content));
    UserSettings settings(path);
    settings.load();
    QCOMPARE(settings.reconnect(), reconnect);
}

// The entries that hold one line of text: the control socket's address and the remote
// surfaces' settings.
void tst_UserSettings::oneLineEntries_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("warningNames"); // empty: none
    QTest::newRow("a control port")
        << "[control]\nlisten=4000\n"_ba << u"control"_s << u"listen"_s << u"4000"_s << QString();
    QTest::newRow("a local socket, blanks around =")
        << "[control]\nlisten = unix:/run/user/1000/velquor.sock\n"_ba << u"control"_s
        << u"listen"_s << u"unix:/run/user/1000/velquor.sock"_s << QString();
    QTest::newRow("a list is no address") << "[control]\nlisten=1,2\n"_ba << u"control"_s
                                          << u"listen"_s << QString() << u"[control] listen"_s;
    QTest::newRow("an unknown key of the control socket")
        << "[control]\nport=4000\n"_ba << u"control"_s << u"listen"_s << QString()
        << u"[control] port"_s;
    QTest::newRow("a broker, trimmed")
        << "[mqtt]\nurl = mqtt://user@broker.local:1883 \n"_ba << u"mqtt"_s << u"url"_s
        << u"mqtt://user@broker.local:1883"_s << QString();
    QTest::newRow("a quoted value with a comma")
        << "[web]\nkey=\"a,b\"\n"_ba << u"web"_s << u"key"_s << u"a,b"_s << QString();
    QTest::newRow("a list is no value")
        << "[web]\nlisten=1,2\n"_ba << u"web"_s << u"listen"_s << QString() << u"[web] listen"_s;
    QTest::newRow("a control character is refused")
        << "[mqtt]\npassword=\"a\\tb\"\n"_ba << u"mqtt"_s << u"password"_s << QString()
        << u"[mqtt] password"_s;
    QTest::newRow("an unknown key of a surface")
        << "[mqtt]\nhost=broker\n"_ba << u"mqtt"_s << u"host"_s << QString() << u"[mqtt] host"_s;
    QTest::newRow("a group that is no surface's")
        << "[telnet]\nurl=x\n"_ba << u"telnet"_s << u"url"_s << QString() << u"[telnet] url"_s;
}

void tst_UserSettings::oneLineEntries()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, group);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QString, warningNames);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"velquor.conf"_s);
    QVERIFY(writeFile(path, content));
    UserSettings settings(path);
    settings.load();
    QCOMPARE(group == u"control"_s ? settings.controlListen() : settings.surfaceValue(group, key),
             value);
    QCOMPARE(settings.warnings().size(), warningNames.isEmpty() ? 0 : 1);
    if (!warningNames.isEmpty())
        QVERIFY(settings.warnings().first().startsWith(path + u": "_s + warningNames + u": "_s));
}

void tst_UserSettings::surfaceValueSurvivesASave()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"velquor.conf"_s);
    QVERIFY(writeFile(path, "[web]\nlisten=0.0.0.0:8080\n[mqtt]\nurl=mqtt://broker\n"_ba));
    UserSettings settings(path);
    settings.load();
    settings.setSurfaceValue(u"web"_s, u"key"_s, u"0123456789abcdef0123456789abcdef"_s);
    settings.setSurfaceValue(u"web"_s, u"colour"_s, u"red"_s); // no key of the group: dropped
    QVERIFY(settings.save());

    UserSettings again(path);
    again.load();
    QCOMPARE(again.warnings(), QStringList());
    QCOMPARE(again.surfaceValue(u"web"_s, u"key"_s), u"0123456789abcdef0123456789abcdef"_s);
    QCOMPARE(again.surfaceValue(u"web"_s, u"listen"_s), u"0.0.0.0:8080"_s);
    QCOMPARE(again.surfaceValue(u"mqtt"_s, u"url"_s), u"mqtt://broker"_s);
}

void tst_UserSettings::fileWithASecretIsTheOwnersAlone_data()
{
    QTest::addColumn<QByteArray>("content"); // null: no file yet
    QTest::addColumn<bool>("setKey");        // the web page's key is made and saved
    QTest::addColumn<int>("mode");

    QTest::newRow("new file with the page's key") << QByteArray() << true << 0600;
    QTest::newRow("open file given the page's key") << "[web]\nlisten=8080\n"_ba << true << 0600;
    QTest::newRow("open file with an MQTT password")
        << "[mqtt]\nurl=mqtt://hall@broker\npassword=pw\n"_ba << false << 0600;
    QTest::newRow("open file with a password in the address")
        << "[mqtt]\nurl=mqtt://hall:pw@broker\n"_ba << false << 0600;
    QTest::newRow("open file without a secret") << "[mqtt]\nurl=mqtt://broker\n"_ba << false
                                                << 0644;
}

void tst_UserSettings::fileWithASecretIsTheOwnersAlone()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, setKey);
    QFETCH(int, mode);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"velquor.conf"_s);
    if (!content.isNull()) {
        QVERIFY(writeFile(path, content));
        QVERIFY(::chmod(QFile::encodeName(path).constData(), 0644) == 0);
    }
    for (int save = 0; save < 2; ++save) { // and kept so by the next save
        UserSettings settings(path);
        settings.load();
        if (setKey)
            settings.setSurfaceValue(u"web"_s, u"key"_s, u"0123456789abcdef0123456789abcdef"_s);
        settings.setPort(3, u"/dev/ttyUSB%1"_s.arg(save));
        QVERIFY(settings.save());
        struct stat info {};
        QVERIFY(::stat(QFile::encodeName(path).constData(), &info) == 0);
        QCOMPARE(int(info.st_mode & 0777), mode);
    }
}

void tst_UserSettings::saveChangesOnlyWhatWasSet()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"velquor.conf"_s);
    QVERIFY(writeFile(path, "[ports]\nCOM3=/dev/a\ncom5=/dev/b\nCOM7=/dev/c\nCOM0=/dev/bad\n"
                            "[other]\nkept=1\n"_ba));
    UserSettings settings(path);
    settings.load();
    settings.setPort(5, u"/dev/new"_s); // written as COM5, and the old com5 goes
    settings.setPort(7, QString());     // back to the default device
    settings.setPort(2, u"/dev/serial/by-id/usb-X"_s);
    QVERIFY(settings.save());

    UserSettings again(path);
    again.load();
    QCOMPARE(entriesOf(again.ports()),
             (QStringList{u"2=/dev/serial/by-id/usb-X"_s, u"3=/dev/a"_s, u"5=/dev/new"_s}));
    // What the program does not use is the user's, and stays in the file.
    QCOMPARE(again.warnings().size(), 2);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray written = file.readAll();
    QVERIFY(written.contains("kept=1"));
    QVERIFY(written.contains("COM0=/dev/bad"));
    QVERIFY(!written.contains("com5"));
}

void tst_UserSettings::unwritableFileIsReported()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(u"locked"_s));
    QVERIFY(makeDirectoryReadOnly(dir.filePath(u"locked"_s)));
    UnprivilegedFileAccess asUser;
    QVERIFY(asUser.isActive());
    UserSettings locked(dir.filePath(u"locked/velquor.conf"_s));
    locked.setPort(3, u"/dev/ttyUSB0"_s);
    QString why;
    QVERIFY(!locked.save(&why));
    QVERIFY2(why.contains(u"locked/velquor.conf"_s), qPrintable(why));
}

void tst_UserSettings::printableText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("maxLength");
    QTest::addColumn<QString>("shown");
    QTest::newRow("fits exactly") << u"abcde"_s << 5 << u"abcde"_s;
    QTest::newRow("one over: cut, the ellipsis within the length")
        << u"abcdef"_s << 5 << u"abcd\u2026"_s;
    QTest::newRow("C0, DEL, C1 and a line separator")
        << u"a\x1b\x7f\u0085\u2028b"_s << 40 << u"a\\x1b\\x7f\\x85\\u2028b"_s;
    QTest::newRow("an escape is not split") << u"ab\x07"
                                               u"cd"_s
                                            << 6 << u"ab\u2026"_s;
    QTest::newRow("a surrogate pair is not split") << u"abc\U0001F3A5d"_s << 5 << u"abc\u2026"_s;
    QTest::newRow("a pair that fits is kept") << u"ab\U0001F3A5"_s << 4 << u"ab\U0001F3A5"_s;
    QTest::newRow("tabs and NUL are control characters too")
        << QString::fromLatin1("\t\0", 2) << 20 << u"\\x09\\x00"_s;
}

void tst_UserSettings::printableText()
{
    QFETCH(QString, text);
    QFETCH(int, maxLength);
    QFETCH(QString, shown);
    QCOMPARE(::printableText(text, maxLength), shown);
}

// save() reads the file as load() does: what load() refuses stays as it is, and nothing waits.
void tst_UserSettings::saveLeavesAloneWhatItWouldNotRead_data()
{
    QTest::addColumn<Shape>("shape");
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("a FIFO") << Shape::Fifo << QByteArray();
    QTest::newRow("a directory") << Shape::Directory << QByteArray();
    QTest::newRow("larger than 1 MiB") << Shape::File << mappingPaddedTo(1024 * 1024 + 1);
    QTest::newRow("a path past the system's limit") << Shape::LongPath << QByteArray();
}

void tst_UserSettings::saveLeavesAloneWhatItWouldNotRead()
{
    QFETCH(Shape, shape);
    QFETCH(QByteArray, content);
    QTemporaryDir dir;
    const QString path = makeSettingsFile(dir, shape, content);
    QVERIFY(!path.isEmpty());
    UserSettings settings(path);
    settings.setPort(3, u"/dev/ttyUSB3"_s);
    QString why;
    QVERIFY(!settings.save(&why));
    QVERIFY2(why.startsWith(u"cannot write "_s), qPrintable(why));
    QVERIFY2(why.size() < 400, qPrintable(why.left(400)));
    if (shape == Shape::File) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), content);
    }
}

void tst_UserSettings::namesAndPresets_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QStringList>("warningsName"); // one entry per expected warning

    QTest::newRow("names and presets")
        << "[names]\nin2=Blu-ray\nOUT1=Projector\n[presets]\ngap=250\n"
           "preset1=Lecture, 2, 1, 4, 3\npreset2=\"Stage, left\", 1, 1, 1, 1\n"_ba
        << QStringList{u"in2=Blu-ray"_s, u"out1=Projector"_s, u"Lecture=2143"_s,
                       u"Stage, left=1111"_s, u"gap=250"_s}
        << QStringList{};
    QTest::newRow("presets in the order of their numbers, not of the lines")
        << "[presets]\npreset10=B, 1, 1, 1, 1\npreset2=A, 2, 2, 2, 2\n"_ba
        << QStringList{u"A=2222"_s, u"B=1111"_s, u"gap=100"_s} << QStringList{};
    QTest::newRow("bad names: each one warning, the rest kept")
        << "[names]\nin1=Camera\nin2=camera\nin3=xxxxxxxxxxxxxxxxxxxxxxxxx\nin4=a,b\nin5=x\n"
           "out1=4\nout2=\"Pro\\x7jector\"\nout3=Screen\n"_ba
        << QStringList{u"in1=Camera"_s, u"out3=Screen"_s, u"gap=100"_s}
        << QStringList{u"[names] in2"_s, u"[names] in3"_s,  u"[names] in4"_s,
                       u"[names] in5"_s, u"[names] out1"_s, u"[names] out2"_s};
    QTest::newRow("bad presets: each one warning")
        << "[presets]\npreset1=A, 1, 2, 3\npreset2=B, 1, 2, 3, 5\npreset3=a, 1, 1, 1, 1\n"
           "preset4=A, 4, 4, 4, 4\npreset0=C, 1, 1, 1, 1\nlast=D\ngap=2001\n"_ba
        << QStringList{u"a=1111"_s, u"gap=100"_s}
        << QStringList{u"[presets] preset1"_s, u"[presets] preset2"_s, u"[presets] preset4"_s,
                       u"[presets] preset0"_s, u"[presets] last"_s,    u"[presets] gap"_s};
    QTest::newRow("names the surfaces read as something else: each one warning")
        << "[names]\nin3=IN1\nin4=None\nout1=Mode\nout2=out3\nout4=Video-wall input\n"
           "[presets]\npreset1=none, 1, 1, 1, 1\npreset2=Stage, 1, 2, 3, 4\n"_ba
        << QStringList{u"Stage=1234"_s, u"gap=100"_s}
        << QStringList{u"[names] in3"_s,  u"[names] in4"_s,  u"[names] out1"_s,
                       u"[names] out2"_s, u"[names] out4"_s, u"[presets] preset1"_s};
    QByteArray many = "[presets]\n"_ba;
    QStringList first32;
    for (int i = 1; i <= 33; ++i) {
        many += "preset" + QByteArray::number(i) + "=P" + QByteArray::number(i) + ", 1, 2, 3, 4\n";
        if (i <= 32)
            first32.append(u"P%1=1234"_s.arg(i));
    }
    QTest::newRow("the 33rd preset")
        << many << first32 + QStringList{u"gap=100"_s} << QStringList{u"[presets] preset33"_s};
}

void tst_UserSettings::namesAndPresets()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, entries);
    QFETCH(QStringList, warningsName);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"velquor.conf"_s);
    QVERIFY(writeFile(path, content));
    UserSettings settings(path);
    settings.load();
    QCOMPARE(entriesOf(settings.namesAndPresets()), entries);
    QVERIFY(warnsOfEach(settings, warningsName));
}

// A file written by hand: saving names and presets leaves every other group and key, and the
// entries load() refused, as they were, and writes through a new file put in its place.
void tst_UserSettings::handWrittenFileSurvivesASave()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"velquor.conf"_s);
    QVERIFY(writeFile(path, "[ports]\nCOM3=/dev/ttyUSB0\n[names]\nIN1=Camera\nin2=Blu-ray\n"
                            "nickname=x\n[presets]\ngap=50\npreset1=Lecture, 2, 1, 4, 3\n"
                            "preset2=broken\npreset3=Stage, 1, 1, 1, 1\nnote=keep me\n"
                            "[lights]\ndimmer=40\n[control]\nlisten=7000\n"_ba));
    struct stat before
    {
    };
    QVERIFY(::stat(QFile::encodeName(path).constData(), &before) == 0);
    UserSettings settings(path);
    settings.load();
    NamesAndPresets content = settings.namesAndPresets();
    content.names.inputs[0] = u"Camera 2"_s;
    content.names.outputs[3] = u"Screen, north"_s;
    content.presets.removeFirst();
    content.presets.append({u"All on \"2\""_s, {2, 2, 2, 2}});
    settings.setNamesAndPresets(content);
    QVERIFY(settings.save());

    struct stat after
    {
    };
    QVERIFY(::stat(QFile::encodeName(path).constData(), &after) == 0);
    QVERIFY(after.st_ino != before.st_ino); // a new file, renamed over the old one
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray written = file.readAll();
    for (const QByteArray &kept :
         {"COM3=/dev/ttyUSB0"_ba, "nickname=x"_ba, "gap=50"_ba, "preset2=broken"_ba,
          "note=keep me"_ba, "[lights]"_ba, "dimmer=40"_ba, "listen=7000"_ba, "in2=Blu-ray"_ba})
        QVERIFY2(written.contains(kept), written.constData());
    QVERIFY(!written.contains("IN1=")); // one key for IN1, not two
    QVERIFY(!written.contains("Lecture"));

    UserSettings again(path);
    again.load();
    QCOMPARE(again.namesAndPresets().names, content.names);
    QCOMPARE(again.namesAndPresets().presets, content.presets);
    QCOMPARE(again.namesAndPresets().gap, 50);
    QCOMPARE(entriesOf(again.ports()), QStringList{u"3=/dev/ttyUSB0"_s});
    QCOMPARE(again.controlListen(), u"7000"_s);
    QCOMPARE(again.warnings().size(), 4); // dimmer, nickname, note and preset2, as before
}

void tst_UserSettings::startUp_data()
{
    // %A and %B stand for two pseudo-terminals; COMPORT holds " 2 ", so COM3 is opened.
    QTest::addColumn<Shape>("shape");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<char>("opened"); // 'A' or 'B'
    QTest::addColumn<int>("warnings");

    QTest::newRow("the file maps COM3")
        << Shape::File << "[ports]\nCOM3=%A\n"_ba << QStringList{} << 'A' << 0;
    QTest::newRow("--port overrides the file for the run")
        << Shape::File << "[ports]\nCOM3=%A\n"_ba << QStringList{u"--port"_s, u"COM3=%B"_s} << 'B'
        << 0;
    QTest::newRow("bad lines are ignored, one warning each")
        << Shape::File << "[ports]\nCOM0=%B\nCOM3=%A\nCOM4=pts/1\nnonsense\n[colours]\nred=1\n"_ba
        << QStringList{} << 'A' << 4;
    QTest::newRow("a FIFO in the file's place: one line, and start-up goes on")
        << Shape::Fifo << QByteArray() << QStringList{u"--port"_s, u"COM3=%B"_s} << 'B' << 1;
    QTest::newRow("a directory in the file's place: one line")
        << Shape::Directory << QByteArray() << QStringList{u"--port"_s, u"COM3=%A"_s} << 'A' << 1;
}

void tst_UserSettings::startUp()
{
    QFETCH(Shape, shape);
    QFETCH(QByteArray, file);
    QFETCH(QStringList, arguments);
    QFETCH(char, opened);
    QFETCH(int, warnings);

    PtyPair a;
    PtyPair b;
    QVERIFY(a.isValid() && b.isValid());
    const auto fill = [&](QString text) {
        return text.replace(u"%A"_s, a.slavePath()).replace(u"%B"_s, b.slavePath());
    };
    for (QString &argument : arguments)
        argument = fill(argument);
    QTemporaryDir scratch;
    const QDir root(scratch.path());
    QVERIFY(root.mkpath(u"config/velquor"_s));
    const QString path = root.filePath(u"config/velquor/velquor.conf"_s);
    if (shape == Shape::Fifo)
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else if (shape == Shape::Directory)
        QVERIFY(root.mkpath(u"config/velquor/velquor.conf"_s));
    else
        QVERIFY(writeFile(path, fill(QString::fromUtf8(file)).toUtf8()));
    QVERIFY(writeFile(root.filePath(u"COMPORT"_s), " 2 \r\n"_ba));

    ProgramRun run(arguments, root.path(), root.filePath(u"config"_s));
    QVERIFY(run.start());
    const QString expected = opened == 'A' ? a.slavePath() : b.slavePath();
    const QString other = opened == 'A' ? b.slavePath() : a.slavePath();
    QVERIFY2(run.waitUntilItHolds(expected), qPrintable(run.standardError()));
    QVERIFY(!flockHeldElsewhere(other));
    QCOMPARE(run.endWith(SIGTERM), 0);

    const QStringList lines = run.standardError().split(u'\n');
    const QString prefix = u"velquor: "_s + root.filePath(u"config/velquor/velquor.conf: "_s);
    QCOMPARE(std::count_if(lines.cbegin(), lines.cend(),
                           [&](const QString &line) { return line.startsWith(prefix); }),
             warnings);
}

QTEST_GUILESS_MAIN(tst_UserSettings)
#include "tst_usersettings.moc"
