// SPDX-License-Identifier: MIT
#include "form1.h"
#include "ipbox.h"
#include "lamp.h"
#include "messageboxwatcher.h"
#include "mscomm.h"
#include "portmap.h"
#include "ptypair.h"
#include "scratchdir.h"
#include "windowcontrols.h"
#include "windowonline.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QSerialPort>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

const QString failureText = u"open serial port fail\uFF01 "_s;

// How the COMPORT entry of the working directory is prepared.
enum class Setting { Missing, File, Directory, UnwritableDirectory, ReadOnlyDirectory };

} // namespace

Q_DECLARE_METATYPE(Setting)

class tst_Startup : public QObject
{
    Q_OBJECT

private slots:
    void rememberedPort_data();
    void rememberedPort();
    void portListAndAddressBox();
    void reconnectTriesAPortAbsentAtStartUp();
};

void tst_Startup::rememberedPort_data()
{
    QTest::addColumn<Setting>("setting");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("devicePort");  // COM port that reaches the device; -1 none
    QTest::addColumn<bool>("holdDevice"); // another handle has the device open
    QTest::addColumn<int>("selected");    // Combo1 index after start-up
    QTest::addColumn<int>("portNumber");
    QTest::addColumn<bool>("connected");
    QTest::addColumn<QByteArray>("fileAfter"); // null: no regular file COMPORT afterwards

    const QByteArray line0 = QByteArray::fromHex("2030200d0a");
    const QByteArray line3 = QByteArray::fromHex("2033200d0a");

    QTest::newRow("first start, empty directory")
        << Setting::Missing << QByteArray() << 1 << false << 0 << 1 << true << line0;
    QTest::newRow("written form of COM4 is kept as it is")
        << Setting::File << " 3 \r\n"_ba << 4 << false << 3 << 4 << true << line3;
    QTest::newRow("bare 3 is rewritten in full")
        << Setting::File << "3"_ba << 4 << false << 3 << 4 << true << line3;
    QTest::newRow("empty file gives COM1")
        << Setting::File << ""_ba << 1 << false << 0 << 1 << true << line0;
    QTest::newRow("text gives COM1")
        << Setting::File << "abc"_ba << 1 << false << 0 << 1 << true << line0;
    QTest::newRow("negative gives COM1")
        << Setting::File << "-1"_ba << 1 << false << 0 << 1 << true << line0;
    QTest::newRow("300 gives COM1")
        << Setting::File << "300"_ba << 1 << false << 0 << 1 << true << line0;
    QTest::newRow("binary garbage gives COM1")
        << Setting::File << QByteArray::fromHex("00ff7f80fe0d0a1b") << 1 << false << 0 << 1 << true
        << line0;
    QTest::newRow("huge file, first field decides")
        << Setting::File << " 5 \r\n"_ba + QByteArray(4 * 1024 * 1024, 'z') << 6 << false << 5 << 6
        << true << QByteArray::fromHex("2035200d0a");
    QTest::newRow("12 selects nothing, opens COM13, file kept")
        << Setting::File << "12"_ba << 13 << false << -1 << 13 << true << "12"_ba;
    QTest::newRow("10, COM11 absent: message")
        << Setting::File << " 10 \r\n"_ba << -1 << false << -1 << 11 << false << " 10 \r\n"_ba;
    QTest::newRow("254 opens COM255, file kept")
        << Setting::File << "254"_ba << 255 << false << -1 << 255 << true << "254"_ba;
    QTest::newRow("255 leaves port number 0: message")
        << Setting::File << "255"_ba << 1 << false << -1 << 0 << false << "255"_ba;
    QTest::newRow("remembered port absent: message")
        << Setting::File << " 1 \r\n"_ba << -1 << false << 1 << 2 << false
        << QByteArray::fromHex("2031200d0a");
    QTest::newRow("remembered port held by another handle: message")
        << Setting::File << " 0 \r\n"_ba << 1 << true << 0 << 1 << false << line0;
    QTest::newRow("directory named COMPORT: COM1, nothing written")
        << Setting::Directory << QByteArray() << 1 << false << 0 << 1 << true << QByteArray();
    QTest::newRow("unwritable directory: COM1, nothing written")
        << Setting::UnwritableDirectory << QByteArray() << 1 << false << 0 << 1 << true
        << QByteArray();
    QTest::newRow("read-only directory, writable file: rewritten in place")
        << Setting::ReadOnlyDirectory << "3"_ba << 4 << false << 3 << 4 << true << line3;
}

void tst_Startup::rememberedPort()
{
    QFETCH(Setting, setting);
    QFETCH(QByteArray, content);
    QFETCH(int, devicePort);
    QFETCH(bool, holdDevice);
    QFETCH(int, selected);
    QFETCH(int, portNumber);
    QFETCH(bool, connected);
    QFETCH(QByteArray, fileAfter);

    // Every port the list offers, and the ones a file may name, is mapped: the device's port
    // to the pseudo-terminal, all others to paths that do not exist.
    WindowOnLine::Options options;
    options.devicePorts = devicePort > 0 ? QList<int>{devicePort} : QList<int>{};
    for (int port = 1; port <= 13; ++port) {
        if (port != devicePort)
            options.ports.map(port, u"/dev/velquor-absent-%1"_s.arg(port));
    }
    options.startUp = WindowOnLine::StartUp::AsItComes;
    WindowOnLine window(options);
    window.prepare();
    if (QTest::currentTestFailed())
        return;
    ScratchDir &dir = window.dir();
    PtyPair &device = window.device();

    switch (setting) {
    case Setting::Missing:
        break;
    case Setting::File:
        QVERIFY(dir.write(u"COMPORT"_s, content));
        break;
    case Setting::Directory:
        QVERIFY(QDir(dir.path()).mkdir(u"COMPORT"_s));
        break;
    case Setting::UnwritableDirectory:
    case Setting::ReadOnlyDirectory:
        if (setting == Setting::ReadOnlyDirectory)
            QVERIFY(dir.write(u"COMPORT"_s, content));
        QVERIFY(makeDirectoryReadOnly(dir.path()));
        // Start-up runs with the rights of an ordinary user, who must still reach the line.
        QCOMPARE(::chmod(QFile::encodeName(device.slavePath()).constData(), 0666), 0);
        break;
    }

    QSerialPort holder(device.slavePath());
    if (holdDevice)
        QVERIFY2(holder.open(QIODevice::ReadWrite), qPrintable(holder.errorString()));

    {
        std::optional<UnprivilegedFileAccess> unprivileged;
        if (setting == Setting::UnwritableDirectory || setting == Setting::ReadOnlyDirectory) {
            unprivileged.emplace();
            if (!unprivileged->isActive())
                QSKIP("cannot drop file access rights here");
        }
        window.start(); // Form_Load, then the window is shown
    }
    Form1 &form = window.form();
    MessageBoxWatcher &boxes = window.boxes();

    QCOMPARE(controls(form).Combo1->currentIndex(), selected);
    if (selected < 0)
        QCOMPARE(controls(form).Combo1->currentText(), u"Com1"_s);
    else
        QCOMPARE(controls(form).Combo1->currentText(), u"COM%1"_s.arg(selected + 1));
    QCOMPARE(int(form.portNumber), portNumber);
    QCOMPARE(form.MSComm1->PortOpen(), connected);
    QCOMPARE(controls(form).Command7->text(), connected ? u"Disconnect"_s : u"Connect"_s);
    QCOMPARE(controls(form).Shape15->FillStyle(), connected ? 1 : 0);
    QCOMPARE(controls(form).Shape16->FillStyle(), connected ? 0 : 1);

    if (connected) {
        QCOMPARE(boxes.count(), 0);
    } else {
        QCOMPARE(boxes.count(), 1);
        const ShownMessageBox box = boxes.last();
        QCOMPARE(box.text, failureText);
        QCOMPARE(box.title, u"ERROR"_s);
        QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(box.icon, QMessageBox::NoIcon);
        QVERIFY(box.modal);
        QVERIFY2(!box.windowVisible, "the message must come before the window");
    }

    // Start-up says nothing to the device.
    QCOMPARE(device.readFor(50), QByteArray());

    const QFileInfo file(dir.filePath(u"COMPORT"_s));
    if (fileAfter.isNull()) {
        QVERIFY(!file.isFile());
        if (setting == Setting::Directory)
            QVERIFY(file.isDir());
    } else {
        QCOMPARE(dir.read(u"COMPORT"_s), fileAfter);
    }
    if (setting != Setting::Directory) {
        const QStringList entries =
            QDir(dir.path())
                .entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
        QCOMPARE(entries, fileAfter.isNull() ? QStringList() : QStringList{u"COMPORT"_s});
    }
}

void tst_Startup::portListAndAddressBox()
{
    WindowOnLine::Options options;
    options.devicePorts = {}; // mapped as the command line maps them
    options.startUp = WindowOnLine::StartUp::AsItComes;
    options.show = false;
    WindowOnLine window(options);
    window.prepare();
    if (QTest::currentTestFailed())
        return;
    PortMap ports;
    QVERIFY(ports.addMapping(u"COM1="_s + window.device().slavePath()));
    QVERIFY(ports.addMapping(u"COM3=/dev/serial/by-id/usb-adapter-port0"_s));
    window.options().ports = ports;
    window.start();
    Form1 &form = window.form();
    MessageBoxWatcher &boxes = window.boxes();

    QCOMPARE(form.ipMode, qint16(1));
    QCOMPARE(controls(form).ipBox1->Address(), u"0.0.0.1"_s);
    QCOMPARE(controls(form).Combo1->count(), 10);
    for (int i = 0; i < 10; ++i) {
        QCOMPARE(controls(form).Combo1->itemText(i), u"COM%1"_s.arg(i + 1));
        QCOMPARE(controls(form).Combo1->itemData(i, Qt::ToolTipRole).toString(),
                 ports.deviceFor(i + 1));
    }
    QCOMPARE(controls(form).Combo1->itemData(2, Qt::ToolTipRole).toString(),
             u"/dev/serial/by-id/usb-adapter-port0"_s);
    QVERIFY(!controls(form).Timer2->isActive());
    QCOMPARE(boxes.count(), 0);
}

// With reconnection on, an adapter plugged in only after start-up is opened once it is there,
// as the boot unit that starts the panel before the adapter needs.
void tst_Startup::reconnectTriesAPortAbsentAtStartUp()
{
    WindowOnLine::Options options;
    options.devicePorts = {};
    options.reconnect = true;
    options.startUp = WindowOnLine::StartUp::AsItComes;
    WindowOnLine window(options);
    window.prepare();
    if (QTest::currentTestFailed())
        return;
    const QString link = window.dir().filePath(u"usb-Maker_Adapter_A1-if00"_s);
    window.options().ports.map(1, link);
    window.start();
    Form1 &form = window.form();
    QCOMPARE(window.boxes().count(), 1); // start-up's message, once
    QVERIFY(window.showsDisconnected());
    QVERIFY(form.isReconnecting());
    QTest::qWait(1500); // a try while it is absent shows nothing
    QCOMPARE(window.boxes().count(), 1);

    QVERIFY(QFile::link(window.device().slavePath(), link));
    QTRY_VERIFY_WITH_TIMEOUT(form.MSComm1->PortOpen(), 5000);
    QVERIFY(window.showsConnected());
    QVERIFY(!form.isReconnecting());
    QCOMPARE(window.device().read(4), QByteArray::fromHex("04552077")); // as Connect does
    QCOMPARE(window.boxes().count(), 1);
}

QTEST_MAIN(tst_Startup)
#include "tst_startup.moc"
