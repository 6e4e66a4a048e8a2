// SPDX-License-Identifier: MIT
// The window's controls: names, kinds, containers, captions, geometry, tab order and the
// states they are created in, the option groups, and a picture of each tab page.

#include "appearance.h"
#include "colorbutton.h"
#include "form1.h"
#include "ipbox.h"
#include "lamp.h"
#include "mscomm.h"
#include "namedcontrols.h"
#include "picturebutton.h"
#include "windowcontrols.h"
#include "windowonline.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {

// Finds a control by the name it has in the window, "Command7" or "Option3(2)".
QWidget *control(Form1 &form, const QString &name)
{
    return namedControls(form).value(name);
}

QRect expectedPixels(int left, int top, int width, int height)
{
    auto px = [](int twips) { return int(std::lround(twips / 15.0)); };
    return QRect(px(left), px(top), px(width), px(height));
}

} // namespace

class tst_Layout : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void control_data();
    void control();
    void tabOrderFollowsTheWindowsNumbers();
    void initialStates();
    void colours();
    void outButtonsPaintTheirWholeFace_data();
    void outButtonsPaintTheirWholeFace();
    void windowIsFixedSize();
    void optionGroups_data();
    void optionGroups();
    void borderButtonsShowOnlyTheirPicture();
    void pagesArePicturedForEyes();

private:
    // The window as built, on no line: start-up does not run. The port is closed, so a click
    // that sends reports the failed write; the fixture's watcher closes those boxes.
    std::unique_ptr<WindowOnLine> m_window;
    Form1 *m_form = nullptr;
};

void tst_Layout::initTestCase()
{
    setUpPanelAppearance();
}

void tst_Layout::init()
{
    WindowOnLine::Options options;
    options.device = WindowOnLine::Device::None;
    options.startUp = WindowOnLine::StartUp::NotRun;
    m_window = std::make_unique<WindowOnLine>(options);
    m_window->start();
    m_form = &m_window->form();
}

void tst_Layout::cleanup()
{
    m_window.reset();
}

void tst_Layout::control_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("container");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QRect>("twips");
    QTest::addColumn<int>("tabIndex");

    auto row = [](const char *name, const char *kind, const char *container, const char *text,
                  QRect twips, int tabIndex) {
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(kind)
                            << QString::fromLatin1(container) << QString::fromUtf8(text) << twips
                            << tabIndex;
    };
    // Outside the tab control.
    row("Command7", "QPushButton", "Form1", "Connect", {3720, 7200, 1335, 855}, 0);
    row("Frame2", "QGroupBox", "Form1", "Connect State", {120, 7080, 1575, 975}, 1);
    row("Label6", "QLabel", "Frame2", "Connected", {480, 240, 975, 255}, 2);
    row("Label7", "QLabel", "Frame2", "Disconnect", {480, 600, 975, 255}, 3);
    row("Shape15", "Lamp", "Frame2", "", {120, 240, 255, 255}, -1);
    row("Shape16", "Lamp", "Frame2", "", {120, 600, 255, 255}, -1);
    row("Frame3", "QGroupBox", "Form1", "Com Select", {1920, 7080, 1575, 975}, 4);
    row("Combo1", "QComboBox", "Frame3", "Com1", {240, 360, 1095, 345}, 5);
    row("Command6", "QPushButton", "Form1", "Update", {5640, 7200, 1215, 855}, 6);
    row("SSTab1", "QTabWidget", "Form1", "", {480, 360, 6495, 6135}, 7);
    // Page "Switch".
    row("Frame5", "QGroupBox", "SSTab1", "", {600, 600, 5415, 3495}, 14);
    row("Option2(0)", "QRadioButton", "SSTab1", "Martix", {1920, 520, 855, 375}, 15);
    row("Frame7", "QGroupBox", "SSTab1", "", {1080, 4320, 4575, 735}, 16);
    row("Option2(1)", "QRadioButton", "SSTab1", "Video wall", {1920, 4240, 1215, 375}, 17);
    row("Frame8", "QGroupBox", "SSTab1", "ON", {1080, 5160, 4575, 735}, 22);
    row("Frame6(4)", "QGroupBox", "Frame5", "Out1", {480, 360, 4575, 615}, 55);
    row("Frame6(3)", "QGroupBox", "Frame5", "Out2", {480, 960, 4575, 615}, 50);
    row("Frame6(2)", "QGroupBox", "Frame5", "Out3", {480, 1560, 4575, 615}, 45);
    row("Frame6(1)", "QGroupBox", "Frame5", "Out4", {480, 2160, 4575, 615}, 40);
    row("Frame6(0)", "QGroupBox", "Frame5", "ALL", {480, 2760, 4575, 615}, 35);
    row("Option3(0)", "QRadioButton", "Frame6(4)", "IN1", {840, 240, 615, 255}, 56);
    row("Option3(3)", "QRadioButton", "Frame6(4)", "IN4", {3360, 240, 615, 255}, 59);
    row("Option4(1)", "QRadioButton", "Frame6(3)", "IN2", {1680, 240, 615, 255}, 52);
    row("Option5(2)", "QRadioButton", "Frame6(2)", "IN3", {2520, 240, 615, 255}, 48);
    row("Option6(0)", "QRadioButton", "Frame6(1)", "IN1", {840, 240, 615, 255}, 41);
    row("Option7(3)", "QRadioButton", "Frame6(0)", "IN4", {3360, 240, 615, 255}, 39);
    row("Text1(5)", "QLineEdit", "Frame7", "Input:", {240, 360, 495, 285}, 33);
    row("Option9(0)", "QRadioButton", "Frame7", "IN1", {840, 360, 615, 225}, 18);
    row("Option9(3)", "QRadioButton", "Frame7", "IN4", {3360, 360, 615, 225}, 21);
    row("Text1(6)", "QLineEdit", "Frame8", "Output:", {120, 360, 615, 285}, 34);
    row("Command8(0)", "ColorButton", "Frame8", "out1", {840, 360, 495, 255}, 65);
    row("Command8(3)", "ColorButton", "Frame8", "out4", {3360, 360, 495, 255}, 68);
    // Page "Resolution".
    row("Frame4", "QGroupBox", "SSTab1", "Resolution Set", {360, 720, 5535, 1575}, 23);
    row("Option1(0)", "QRadioButton", "Frame4", "720P@60", {240, 360, 1455, 345}, 24);
    row("Option1(1)", "QRadioButton", "Frame4", "1080P@60", {1920, 360, 1455, 345}, 25);
    row("Option1(2)", "QRadioButton", "Frame4", "1024X768", {3720, 360, 1455, 345}, 26);
    row("Option1(3)", "QRadioButton", "Frame4", "1280X1024", {240, 720, 1455, 345}, 27);
    row("Option1(4)", "QRadioButton", "Frame4", "1360X768", {1920, 720, 1455, 345}, 28);
    row("Option1(5)", "QRadioButton", "Frame4", "1440X900", {3720, 720, 1455, 345}, 29);
    row("Option1(6)", "QRadioButton", "Frame4", "1600X1200", {240, 1080, 1455, 345}, 30);
    row("Option1(7)", "QRadioButton", "Frame4", "1680X1050", {1920, 1080, 1455, 345}, 31);
    row("Option1(8)", "QRadioButton", "Frame4", "1920X1200", {3720, 1080, 1455, 345}, 32);
    row("Frame9", "QGroupBox", "SSTab1", "Border setting", {480, 2640, 5415, 2895}, 60);
    row("Command1", "PictureButton", "Frame9", "", {1920, 300, 500, 900}, 61);
    row("Command3", "PictureButton", "Frame9", "", {720, 1320, 900, 495}, 62);
    row("Command4", "PictureButton", "Frame9", "", {1920, 1800, 500, 900}, 63);
    row("Command5", "PictureButton", "Frame9", "", {2640, 1320, 900, 495}, 64);
    row("Command9", "QPushButton", "Frame9", "RESET", {4200, 2280, 855, 375}, 69);
    // Page "IP Setting".
    row("Option10", "QRadioButton", "SSTab1", "Automatically obtain ip address",
        {840, 720, 3375, 255}, 8);
    row("Frame1", "QGroupBox", "SSTab1", "", {600, 1080, 3795, 795}, 9);
    row("ipBox1", "ipBox", "Frame1", "", {1380, 300, 2175, 315}, 10);
    row("Label1(6)", "QLabel", "Frame1", "IP address:", {300, 360, 1035, 315}, 11);
    row("Option11", "QRadioButton", "SSTab1", "Use the following ip address",
        {840, 1080, 2895, 255}, 12);
    row("Command2", "QPushButton", "SSTab1", "OK", {3480, 2280, 975, 375}, 13);
}

void tst_Layout::control()
{
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(QString, container);
    QFETCH(QString, text);
    QFETCH(QRect, twips);
    QFETCH(int, tabIndex);

    QWidget *widget = ::control(*m_form, name);
    QVERIFY2(widget, qPrintable(name));
    QVERIFY2(widget->inherits(kind.toLatin1()), widget->metaObject()->className());
    QWidget *parent = ::control(*m_form, container);
    QVERIFY(parent);
    // Controls on a page stand on that page; their coordinates are the tab control's.
    QVERIFY(parent->isAncestorOf(widget));
    if (container == QLatin1String("SSTab1"))
        QVERIFY(controls(m_form).SSTab1->indexOf(widget->parentWidget()) >= 0);
    else
        QCOMPARE(widget->parentWidget(), parent);
    const QRect expected = expectedPixels(twips.x(), twips.y(), twips.width(), twips.height());
    QCOMPARE(QRect(widget->mapTo(parent, QPoint(0, 0)), widget->size()), expected);
    QCOMPARE(captionOf(widget), text);
    if (tabIndex >= 0)
        QCOMPARE(widget->property("TabIndex").toInt(), tabIndex);
    QCOMPARE(widget->font().family(), QStringLiteral("Arial"));
    QCOMPARE(widget->font().pointSize(), 9);
}

void tst_Layout::tabOrderFollowsTheWindowsNumbers()
{
    // Walk the focus chain from Command7 (tab order 0): every focusable control comes in
    // ascending tab order, and the chain reaches them all.
    QList<int> seen;
    QWidget *widget = controls(m_form).Command7;
    do {
        if (widget->property("TabIndex").isValid() && widget->focusPolicy() != Qt::NoFocus)
            seen.append(widget->property("TabIndex").toInt());
        widget = widget->nextInFocusChain();
    } while (widget != controls(m_form).Command7);
    QVERIFY(seen.size() > 40);
    QString order;
    for (int index : seen)
        order += QString::number(index) + QLatin1Char(' ');
    QVERIFY2(std::is_sorted(seen.begin(), seen.end()), qPrintable(order));
    QCOMPARE(seen.first(), 0);
    QCOMPARE(seen.last(), 69);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(controls(m_form).Command7));
}

void tst_Layout::initialStates()
{
    QList<QRadioButton *> checked;
    for (QRadioButton *option : m_form->findChildren<QRadioButton *>()) {
        if (option->isChecked())
            checked.append(option);
    }
    QCOMPARE(checked, QList<QRadioButton *>{controls(m_form).Option10});
    for (QWidget *widget : m_form->findChildren<QWidget *>()) {
        if (widget->property("TabIndex").isValid())
            QVERIFY2(widget->isEnabled(), widget->metaObject()->className());
    }
    QVERIFY(controls(m_form).Frame1->isHidden());
    QVERIFY(!controls(m_form).Option11->isHidden());
    QCOMPARE(controls(m_form).SSTab1->currentIndex(), 0);
    QCOMPARE(controls(m_form).SSTab1->count(), 3);
    QCOMPARE(controls(m_form).SSTab1->tabText(0), QStringLiteral("Switch"));
    QCOMPARE(controls(m_form).SSTab1->tabText(1), QStringLiteral("Resolution"));
    QCOMPARE(controls(m_form).SSTab1->tabText(2), QStringLiteral("IP Setting"));
    QCOMPARE(controls(m_form).Shape15->FillStyle(), 1);
    QCOMPARE(controls(m_form).Shape16->FillStyle(), 1);
    QCOMPARE(controls(m_form).Combo1->count(), 0);
    QCOMPARE(controls(m_form).Combo1->currentText(), QStringLiteral("Com1"));
    QVERIFY(controls(m_form).Combo1->isEditable());
    QVERIFY(!controls(m_form).Timer2->isActive());
    QCOMPARE(controls(m_form).Timer2->interval(), 500);
    QVERIFY(!m_form->MSComm1->PortOpen());
    QCOMPARE(controls(m_form).ipBox1->Address(), QStringLiteral("0.0.0.0"));
    QCOMPARE(m_form->portNumber, quint8(0));
    QCOMPARE(m_form->ipMode, qint16(0));
}

void tst_Layout::colours()
{
    const QColor grey(224, 224, 224);
    for (QWidget *widget :
         {static_cast<QWidget *>(m_form), static_cast<QWidget *>(controls(m_form).Frame2),
          static_cast<QWidget *>(controls(m_form).Frame3),
          static_cast<QWidget *>(controls(m_form).Label6),
          static_cast<QWidget *>(controls(m_form).Label7),
          static_cast<QWidget *>(controls(m_form).SSTab1)})
        QCOMPARE(widget->palette().color(QPalette::Window), grey);
    const QColor face = QApplication::palette().color(QPalette::Button);
    for (QWidget *widget : {static_cast<QWidget *>(controls(m_form).Frame5),
                            static_cast<QWidget *>(controls(m_form).Frame4),
                            static_cast<QWidget *>(controls(m_form).Option2[0]),
                            static_cast<QWidget *>(controls(m_form).Option1[4])})
        QCOMPARE(widget->palette().color(QPalette::Window), face);

    QCOMPARE(controls(m_form).Shape15->color(), QColor(0, 255, 0));
    QCOMPARE(controls(m_form).Shape16->color(), QColor(255, 0, 0));
    for (const auto &[index, button] : controls(m_form).Command8)
        QCOMPARE(button->BackColor(), ColorButton::fromQColor(face));

    // A green out button is painted green: the value is 0x00BBGGRR.
    controls(m_form).Command8[1]->setBackColor(ColorButton::green);
    controls(m_form).Command8[2]->setBackColor(ColorButton::red);
    const QImage image = controls(m_form).Frame8->grab().toImage();
    image.save(QStringLiteral(VELQUOR_TEST_OUTPUT_DIR "/out-buttons.png"));
    const QPoint inside2 = controls(m_form).Command8[1]->geometry().center();
    const QPoint inside3 = controls(m_form).Command8[2]->geometry().center() + QPoint(0, 5);
    QCOMPARE(image.pixelColor(inside2 + QPoint(0, 6)), QColor(0, 255, 0));
    QCOMPARE(image.pixelColor(inside3), QColor(255, 0, 0));
}

void tst_Layout::outButtonsPaintTheirWholeFace_data()
{
    QTest::addColumn<quint32>("colour");
    QTest::newRow("green") << ColorButton::green;
    QTest::newRow("red") << ColorButton::red;
    QTest::newRow("button face, not reported yet") << quint32(0);
}

// The raised edge lies on the outermost pixels, and the face colour fills everything inside
// it, up to the pixel next to each corner.
void tst_Layout::outButtonsPaintTheirWholeFace()
{
    QFETCH(quint32, colour);
    for (const auto &[index, button] : controls(m_form).Command8) {
        if (colour != 0)
            button->setBackColor(colour);
        // As 8-bit pixels: the palette holds some colours more finely than the image.
        const QRgb face = ColorButton::toQColor(button->BackColor()).rgb();
        const QRgb light = button->palette().color(QPalette::Light).rgb();
        const QRgb dark = button->palette().color(QPalette::Shadow).rgb();
        const QImage image = controls(m_form).Frame8->grab().toImage();
        const QRect r = button->geometry();
        const QString name = button->text();
        auto at = [&](int x, int y) { return image.pixel(r.topLeft() + QPoint(x, y)); };
        const int right = r.width() - 1;
        const int bottom = r.height() - 1;
        QVERIFY2(at(0, 0) == light, qPrintable(name));
        QVERIFY2(at(right, bottom) == dark, qPrintable(name));
        QVERIFY2(at(right, 0) == dark && at(0, bottom) == dark, qPrintable(name));
        for (const QPoint inside : {QPoint(1, 1), QPoint(right - 1, 1), QPoint(1, bottom - 1),
                                    QPoint(right - 1, bottom - 1)})
            QVERIFY2(at(inside.x(), inside.y()) == face,
                     qPrintable(
                         QStringLiteral("%1 at %2,%3").arg(name).arg(inside.x()).arg(inside.y())));
    }
}

void tst_Layout::windowIsFixedSize()
{
    QCOMPARE(m_form->windowTitle(), QStringLiteral("Velquor"));
    QCOMPARE(m_form->size(), QSize(497, 560));
    QCOMPARE(m_form->minimumSize(), m_form->maximumSize());
    const Qt::WindowFlags flags = m_form->windowFlags();
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(flags & Qt::WindowSystemMenuHint);
    QCOMPARE(m_form->windowIcon().pixmap(32, 32).size(), QSize(32, 32));
}

void tst_Layout::optionGroups_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<bool>("exclusive");

    auto row = [](const char *name, const char *a, const char *b, bool exclusive) {
        QTest::newRow(name) << QString::fromLatin1(a) << QString::fromLatin1(b) << exclusive;
    };
    row("Video wall clears the automatic address option", "Option10", "Option2(1)", true);
    row("automatic address clears Video wall", "Option2(1)", "Option10", true);
    row("Martix clears the fixed address option", "Option11", "Option2(0)", true);
    row("Martix and Video wall", "Option2(0)", "Option2(1)", true);
    row("two buttons of one row", "Option4(0)", "Option4(3)", true);
    row("rows Out1 and Out2 are separate groups", "Option3(1)", "Option4(1)", false);
    row("row ALL is its own group", "Option6(2)", "Option7(2)", false);
    row("video-wall inputs are their own group", "Option7(0)", "Option9(0)", false);
    row("resolutions are one group", "Option1(0)", "Option1(8)", true);
    row("resolution and mode are separate", "Option1(3)", "Option2(0)", false);
}

void tst_Layout::optionGroups()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(bool, exclusive);

    auto *a = qobject_cast<QRadioButton *>(::control(*m_form, first));
    auto *b = qobject_cast<QRadioButton *>(::control(*m_form, second));
    QVERIFY(a && b);
    a->click();
    QVERIFY(a->isChecked());
    b->click();
    QVERIFY(b->isChecked());
    QCOMPARE(a->isChecked(), !exclusive);
}

void tst_Layout::borderButtonsShowOnlyTheirPicture()
{
    for (QPushButton *button : {controls(m_form).Command1, controls(m_form).Command3,
                                controls(m_form).Command4, controls(m_form).Command5}) {
        auto *picture = qobject_cast<PictureButton *>(button);
        QVERIFY(picture);
        QVERIFY(button->text().isEmpty());
        QCOMPARE(picture->picture().size(), QSize(80, 80));
    }
    QCOMPARE(controls(m_form).Command9->text(), QStringLiteral("RESET"));
    QVERIFY(controls(m_form).Command9->icon().isNull());
}

void tst_Layout::pagesArePicturedForEyes()
{
    const QString names[3] = {QStringLiteral("switch"), QStringLiteral("resolution"),
                              QStringLiteral("ipsetting")};
    for (int page = 0; page < 3; ++page) {
        controls(m_form).SSTab1->setCurrentIndex(page);
        const QString path =
            QStringLiteral(VELQUOR_TEST_OUTPUT_DIR "/page-%1.png").arg(names[page]);
        const QImage image = m_form->grab().toImage();
        QCOMPARE(image.size(), QSize(497, 560));
        QVERIFY(image.save(path));
    }
}

QTEST_MAIN(tst_Layout)
#include "tst_layout.moc"
