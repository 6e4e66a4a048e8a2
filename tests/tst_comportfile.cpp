// SPDX-License-Identifier: MIT
#include "comportfile.h"
#include "scratchdir.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>

#include <sys/stat.h>
#include <sys/types.h>

using namespace Qt::StringLiterals;

namespace {

// Puts something other than a regular file under the name COMPORT in dir.
bool makeComportOfKind(const ScratchDir &dir, const QString &kind)
{
    const QString path = dir.filePath(u"COMPORT"_s);
    if (kind == u"directory")
        return QDir(dir.path()).mkdir(u"COMPORT"_s);
    if (kind == u"fifo")
        return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
    if (kind == u"device")
        return QFile::link(u"/dev/zero"_s, path);
    if (kind == u"dangling")
        return QFile::link(dir.filePath(u"nowhere"_s), path);
    return kind == u"missing";
}

// Everything in dir, hidden and special entries included.
QStringList entriesOf(const ScratchDir &dir)
{
    return QDir(dir.path())
        .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot | QDir::Hidden);
}

} // namespace

class tst_ComportFile : public QObject
{
    Q_OBJECT

private slots:
    void formatLine_data();
    void formatLine();
    void parseStoredIndex_data();
    void parseStoredIndex();
    void rememberedPort_data();
    void rememberedPort();
    void readRegularFile_data();
    void readRegularFile();
    void readWhatIsNoRegularFile_data();
    void readWhatIsNoRegularFile();
    void readUnreadableFile();
    void readLargeFilesLooksAtPrefixOnly();
    void readBinaryGarbage();
    void writeReplacesWholeFile();
    void writeLeavesOtherKindsAlone_data();
    void writeLeavesOtherKindsAlone();
    void writeIntoReadOnlyDirectory();
};

void tst_ComportFile::formatLine_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("index 0, first entry") << 0 << QByteArray::fromHex("2030200d0a");
    QTest::newRow("index 2, COM3") << 2 << QByteArray::fromHex("2032200d0a");
    QTest::newRow("index 9, last entry") << 9 << QByteArray::fromHex("2039200d0a");
    QTest::newRow("two digits") << 12 << QByteArray::fromHex("203132200d0a");
    QTest::newRow("negative has the sign in the blank's place")
        << -1 << QByteArray::fromHex("2d31200d0a");
}

void tst_ComportFile::formatLine()
{
    QFETCH(int, index);
    QFETCH(QByteArray, line);
    QCOMPARE(comport::formatLine(index), line);
}

void tst_ComportFile::parseStoredIndex_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("index");
    QTest::newRow("written form") << " 3 \r\n"_ba << 3;
    QTest::newRow("bare digit") << "3"_ba << 3;
    QTest::newRow("digit and line end") << "3\r\n"_ba << 3;
    QTest::newRow("empty") << QByteArray() << 0;
    QTest::newRow("blanks only") << "     "_ba << 0;
    QTest::newRow("line end only") << "\r\n"_ba << 0;
    QTest::newRow("text") << "abc"_ba << 0;
    QTest::newRow("negative") << "-1"_ba << 0;
    QTest::newRow("negative as the program writes it") << "-1 \r\n"_ba << 0;
    QTest::newRow("just above a byte") << "256"_ba << 0;
    QTest::newRow("300") << "300"_ba << 0;
    QTest::newRow("highest byte") << "255"_ba << 255;
    QTest::newRow("beyond the list") << "12"_ba << 12;
    QTest::newRow("leading zeros") << "0007"_ba << 7;
    QTest::newRow("field ends at comma") << "4,9"_ba << 4;
    QTest::newRow("field ends at blank") << " 5 junk"_ba << 5;
    QTest::newRow("field ends at LF") << "6\nabc"_ba << 6;
    QTest::newRow("digits then letters") << "3abc"_ba << 0;
    QTest::newRow("plus sign") << "+3"_ba << 0;
    QTest::newRow("decimal point") << "3.0"_ba << 0;
    QTest::newRow("NUL after digit") << QByteArray("3\0", 2) << 0;
    QTest::newRow("overflowing digits") << QByteArray(1000, '9') << 0;
    QTest::newRow("wraps to a small byte if taken modulo 256") << "258"_ba << 0;
    QTest::newRow("second line ignored") << " 1 \r\n 2 \r\n"_ba << 1;
}

void tst_ComportFile::parseStoredIndex()
{
    QFETCH(QByteArray, content);
    QFETCH(int, index);
    QCOMPARE(int(comport::parseStoredIndex(content)), index);
}

void tst_ComportFile::rememberedPort_data()
{
    QTest::addColumn<int>("stored"); // -1: no file to read
    QTest::addColumn<int>("port");   // 0: no port
    QTest::newRow("no file: COM1") << -1 << 1;
    QTest::newRow("index 0: COM1") << 0 << 1;
    QTest::newRow("index 9, last entry: COM10") << 9 << 10;
    QTest::newRow("index 254: COM255, the highest") << 254 << 255;
    QTest::newRow("index 255 overflows: none") << 255 << 0;
}

void tst_ComportFile::rememberedPort()
{
    QFETCH(int, stored);
    QFETCH(int, port);
    const std::optional<quint8> index =
        stored < 0 ? std::nullopt : std::optional<quint8>(quint8(stored));
    QCOMPARE(int(comport::rememberedPort(index).value_or(0)), port);
}

void tst_ComportFile::readRegularFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("index");
    QTest::newRow("own line") << comport::formatLine(7) << 7;
    QTest::newRow("empty file") << QByteArray() << 0;
    QTest::newRow("text") << "abc"_ba << 0;
}

void tst_ComportFile::readRegularFile()
{
    QFETCH(QByteArray, content);
    QFETCH(int, index);
    ScratchDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(dir.write(u"COMPORT"_s, content));
    const std::optional<quint8> stored = comport::readStoredIndex();
    QVERIFY(stored.has_value());
    QCOMPARE(int(*stored), index);
}

void tst_ComportFile::readWhatIsNoRegularFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("missing") << u"missing"_s;
    QTest::newRow("directory") << u"directory"_s;
    QTest::newRow("FIFO without writer") << u"fifo"_s;
    QTest::newRow("endless device") << u"device"_s;
    QTest::newRow("dangling link") << u"dangling"_s;
}

void tst_ComportFile::readWhatIsNoRegularFile()
{
    QFETCH(QString, kind);
    ScratchDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(makeComportOfKind(dir, kind));

    // A FIFO opened for reading would wait for a writer; the read must come back at once.
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(comport::readStoredIndex(), std::nullopt);
    QVERIFY2(clock.elapsed() < 5000, "reading the settings file blocked");
}

void tst_ComportFile::readUnreadableFile()
{
    ScratchDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(dir.write(u"COMPORT"_s, comport::formatLine(4)));
    QVERIFY(makeDirectoryReadOnly(dir.path()));
    QVERIFY(QFile::setPermissions(dir.filePath(u"COMPORT"_s), QFile::WriteOwner));
    UnprivilegedFileAccess unprivileged;
    if (!unprivileged.isActive())
        QSKIP("cannot drop file access rights here");
    QCOMPARE(comport::readStoredIndex(), std::nullopt);
}

void tst_ComportFile::readLargeFilesLooksAtPrefixOnly()
{
    ScratchDir dir;
    QVERIFY(dir.isValid());
    // A valid line followed by megabytes of anything: the first field decides.
    QByteArray big = comport::formatLine(6) + QByteArray(8 * 1024 * 1024, 'x');
    QVERIFY(dir.write(u"COMPORT"_s, big));
    QCOMPARE(comport::readStoredIndex(), std::optional<quint8>(6));

    // Blanks beyond what is looked at: the field is taken as ending where reading stopped.
    big = QByteArray(comport::maxReadBytes + 10, ' ') + "5"_ba;
    QVERIFY(dir.write(u"COMPORT"_s, big));
    QCOMPARE(comport::readStoredIndex(), std::optional<quint8>(0));
}

void tst_ComportFile::readBinaryGarbage()
{
    ScratchDir dir;
    QVERIFY(dir.isValid());
    QRandomGenerator random(20240601);
    for (int round = 0; round < 50; ++round) {
        QByteArray garbage(int(random.bounded(1, 200)), Qt::Uninitialized);
        for (char &c : garbage)
            c = char(random.bounded(256));
        QVERIFY(dir.write(u"COMPORT"_s, garbage));
        const std::optional<quint8> stored = comport::readStoredIndex();
        QVERIFY(stored.has_value());
        QCOMPARE(*stored, comport::parseStoredIndex(garbage));
    }
}

void tst_ComportFile::writeReplacesWholeFile()
{
    ScratchDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(comport::writeStoredIndex(0));
    QCOMPARE(dir.read(u"COMPORT"_s), QByteArray::fromHex("2030200d0a"));

    QVERIFY(dir.write(u"COMPORT"_s, QByteArray(4000, '7')));
    QVERIFY(comport::writeStoredIndex(2));
    QCOMPARE(dir.read(u"COMPORT"_s), QByteArray::fromHex("2032200d0a"));
    // Nothing left behind beside the file itself.
    QCOMPARE(entriesOf(dir), QStringList{u"COMPORT"_s});
}

void tst_ComportFile::writeLeavesOtherKindsAlone_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("directory") << u"directory"_s;
    QTest::newRow("FIFO without reader") << u"fifo"_s;
}

void tst_ComportFile::writeLeavesOtherKindsAlone()
{
    QFETCH(QString, kind);
    ScratchDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"COMPORT"_s);
    QVERIFY(makeComportOfKind(dir, kind));

    QVERIFY(!comport::writeStoredIndex(1));
    const QFileInfo after(path);
    QVERIFY(after.exists());
    QVERIFY(!after.isFile());
    QCOMPARE(entriesOf(dir), QStringList{u"COMPORT"_s});
}

void tst_ComportFile::writeIntoReadOnlyDirectory()
{
    ScratchDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(dir.write(u"COMPORT"_s, "3"_ba));
    QVERIFY(makeDirectoryReadOnly(dir.path()));
    {
        UnprivilegedFileAccess unprivileged;
        if (!unprivileged.isActive())
            QSKIP("cannot drop file access rights here");
        // No temporary file can be made beside it: the file is rewritten in place.
        QVERIFY(comport::writeStoredIndex(3));
        QVERIFY(!comport::writeStoredIndex(4, dir.filePath(u"OTHER"_s)));
    }
    QCOMPARE(dir.read(u"COMPORT"_s), QByteArray::fromHex("2033200d0a"));
    QVERIFY(!dir.exists(u"OTHER"_s));
}

QTEST_GUILESS_MAIN(tst_ComportFile)
#include "tst_comportfile.moc"
