// SPDX-License-Identifier: MIT
#include "addresstext.h"
#include "appearance.h"
#include "errortrap.h"
#include "form1.h"
#include "ipaddressedit.h"
#include "ipbox.h"
#include "windowcontrols.h"
#include "windowonline.h"

#include <QApplication>
#include <QClipboard>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QVBoxLayout>

namespace {

// The hint the editor shows after a refused key, if it is showing.
QLabel *shownHint(QWidget *window)
{
    auto *hint = window->findChild<QLabel *>(QStringLiteral("ipAddressHint"));
    return hint && hint->isVisible() ? hint : nullptr;
}

// Clicks into a field just left or right of its text, where the caret then stands.
void clickBesideText(IpAddressEdit *edit, int field, bool before)
{
    const QRect r = edit->fieldRect(field);
    QTest::mouseClick(edit, Qt::LeftButton, Qt::NoModifier,
                      QPoint(before ? r.left() + 1 : r.right() - 1, r.center().y()));
}

} // namespace

class tst_IpBox : public QObject
{
    Q_OBJECT

private slots:
    void newBoxReadsZero();
    void writeThenRead();
    void failedWriteKeepsAddress_data();
    void failedWriteKeepsAddress();
    void typing_data();
    void typing();
    void fieldAbove255CannotBeEntered();
    void backspaceInEmptyFieldMovesBack();
    void clearedFieldsReadZero();
    void arrowsCrossFieldBorders();
    void tabTreatsBoxAsOneStop();
    void editorCoversBox();
    void editorUsesApplicationFont();
    void typingOverAZero_data();
    void typingOverAZero();
    void paste_data();
    void paste();
    void copyGivesTheDottedAddress();
    void selectAllThenType_data();
    void selectAllThenType();
    void refusedKeyShowsAHint_data();
    void refusedKeyShowsAHint();
    void hintStandsUnderTheFieldInTheWindow();

private:
    // A shown, active box whose editor has the focus at its first field.
    static void focusFirstField(ipBox &box);
};

void tst_IpBox::focusFirstField(ipBox &box)
{
    box.show();
    box.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&box));
    box.editor()->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(box.editor()->hasFocus());
}

void tst_IpBox::newBoxReadsZero()
{
    ipBox box;
    QVERIFY(box.editor());
    QCOMPARE(box.Address(), QStringLiteral("0.0.0.0"));
    QCOMPARE(box.sizeHint(), QSize(140, 23));
    QCOMPARE(box.size(), QSize(140, 23));
    QCOMPARE(box.CountIF(QStringLiteral("1.2.3.4"), QStringLiteral(".")), qint16(3));
}

void tst_IpBox::writeThenRead()
{
    ipBox box;
    box.setAddress(QStringLiteral("010.001.000.009"));
    QCOMPARE(box.editor()->packedAddress(), 0x0A010009u);
    QCOMPARE(box.Address(), QStringLiteral("10.1.0.9"));
    QCOMPARE(box.editor()->fieldText(0), QStringLiteral("10"));
    box.setAddress(QStringLiteral("1.2.3.4.5"));
    QCOMPARE(box.Address(), QStringLiteral("1.2.3.4"));
}

void tst_IpBox::failedWriteKeepsAddress_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("error");
    QTest::newRow("two dots") << QStringLiteral("1.2.3") << AddressError::BadFormat;
    QTest::newRow("part 3 above 255") << QStringLiteral("1.2.3.256") << AddressError::Overflow;
    QTest::newRow("empty part") << QStringLiteral("1.2..4") << AddressError::TypeMismatch;
    // Parts 3 to 1 are valid, so a box written part by part would already show them.
    QTest::newRow("only part 0 bad") << QStringLiteral("x.7.7.7") << AddressError::TypeMismatch;
}

void tst_IpBox::failedWriteKeepsAddress()
{
    QFETCH(QString, text);
    QFETCH(int, error);
    ipBox box;
    box.setAddress(QStringLiteral("0.0.0.1"));
    try {
        box.setAddress(text);
        QFAIL("the write did not fail");
    } catch (const NumberedError &e) {
        QCOMPARE(e.number(), error);
    }
    QCOMPARE(box.Address(), QStringLiteral("0.0.0.1"));
}

// Typed into a box showing 0.0.0.1, with the caret entering at the first field as Tab does.
void tst_IpBox::typing_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("field"); // the field with the caret afterwards
    QTest::newRow("full address with dots") << "192.168.1.100"
                                            << "192.168.1.100" << 3;
    QTest::newRow("three digits move on without a dot") << "192168001100"
                                                        << "192.168.1.100" << 3;
    QTest::newRow("dot moves on") << "10.0.0.1"
                                  << "10.0.0.1" << 3;
    QTest::newRow("dot after a full field is not a second move") << "123."
                                                                 << "123.0.0.1" << 1;
    QTest::newRow("two dots skip a field") << "1..5"
                                           << "1.0.5.1" << 2;
    QTest::newRow("dot in the last field stays") << "1.2.3.4."
                                                 << "1.2.3.4" << 3;
    QTest::newRow("letters are ignored") << "1a2b.x3"
                                         << "12.3.0.1" << 1;
    QTest::newRow("leading zeros typed") << "010.001.0.009"
                                         << "10.1.0.9" << 3;
    QTest::newRow("extra digits in the last field refused") << "1.2.3.2555"
                                                            << "1.2.3.255" << 3;
}

void tst_IpBox::typing()
{
    QFETCH(QString, keys);
    QFETCH(QString, address);
    QFETCH(int, field);
    ipBox box;
    box.setAddress(QStringLiteral("0.0.0.1"));
    focusFirstField(box);
    QTest::keyClicks(box.editor(), keys);
    QCOMPARE(box.Address(), address);
    QCOMPARE(box.editor()->currentField(), field);
}

void tst_IpBox::fieldAbove255CannotBeEntered()
{
    ipBox box;
    focusFirstField(box);
    QTest::keyClicks(box.editor(), QStringLiteral("30"));
    QTest::keyClick(box.editor(), Qt::Key_0); // would make 300: refused
    QCOMPARE(box.editor()->fieldText(0), QStringLiteral("30"));
    QCOMPARE(box.editor()->currentField(), 0);
    QTest::keyClicks(box.editor(), QStringLiteral("25")); // "302", "305": refused too
    QTest::keyClick(box.editor(), Qt::Key_Left);          // caret between 3 and 0
    QTest::keyClick(box.editor(), Qt::Key_9);             // "390": refused
    QCOMPARE(box.editor()->fieldText(0), QStringLiteral("30"));
    QTest::keyClick(box.editor(), Qt::Key_Home);
    QTest::keyClick(box.editor(), Qt::Key_2); // "230": accepted in the middle
    QCOMPARE(box.Address(), QStringLiteral("230.0.0.0"));
}

void tst_IpBox::backspaceInEmptyFieldMovesBack()
{
    ipBox box;
    box.setAddress(QStringLiteral("1.2.3.4"));
    focusFirstField(box);
    IpAddressEdit *edit = box.editor();
    QTest::keyClicks(edit, QStringLiteral("12."));
    QCOMPARE(edit->currentField(), 1);
    QTest::keyClick(edit, Qt::Key_Backspace); // clears the selected "2"
    QCOMPARE(edit->fieldText(1), QString());
    QCOMPARE(edit->currentField(), 1);
    QTest::keyClick(edit, Qt::Key_Backspace); // empty field: back to the end of field 0
    QCOMPARE(edit->currentField(), 0);
    QTest::keyClick(edit, Qt::Key_Backspace); // deletes the "2" of "12"
    QCOMPARE(edit->fieldText(0), QStringLiteral("1"));
    QTest::keyClicks(edit, QStringLiteral("00"));
    QCOMPARE(box.Address(), QStringLiteral("100.0.3.4")); // the blank field reads 0
    QCOMPARE(edit->currentField(), 1);
}

void tst_IpBox::clearedFieldsReadZero()
{
    ipBox box;
    box.setAddress(QStringLiteral("11.22.33.44"));
    focusFirstField(box);
    IpAddressEdit *edit = box.editor();
    QTest::keyClick(edit, Qt::Key_Delete); // field 0 is selected on entry
    QTest::keyClick(edit, Qt::Key_End);
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClick(edit, Qt::Key_Backspace);
    QCOMPARE(box.Address(), QStringLiteral("0.22.33.0"));
    QCOMPARE(edit->fieldText(0), QString()); // blank while editing, not replaced by "0"
    for (int k = 0; k < 6; ++k)
        QTest::keyClick(edit, Qt::Key_Backspace);
    QCOMPARE(box.Address(), QStringLiteral("0.0.0.0"));
    for (int field = 0; field < IpAddressEdit::FieldCount; ++field)
        QCOMPARE(edit->fieldText(field), QString());
}

void tst_IpBox::arrowsCrossFieldBorders()
{
    ipBox box;
    box.setAddress(QStringLiteral("1.2.3.4"));
    focusFirstField(box);
    IpAddressEdit *edit = box.editor();
    QTest::keyClick(edit, Qt::Key_Right); // ends the selection: caret after "1"
    QTest::keyClick(edit, Qt::Key_Right); // into field 1 before "2"
    QCOMPARE(edit->currentField(), 1);
    QTest::keyClick(edit, Qt::Key_5);
    QCOMPARE(box.Address(), QStringLiteral("1.52.3.4"));
    QTest::keyClick(edit, Qt::Key_Left);
    QTest::keyClick(edit, Qt::Key_Left); // back to the end of field 0
    QCOMPARE(edit->currentField(), 0);
    QTest::keyClick(edit, Qt::Key_7);
    QCOMPARE(box.Address(), QStringLiteral("17.52.3.4"));
    QTest::keyClick(edit, Qt::Key_End);
    QTest::keyClick(edit, Qt::Key_9);
    QCOMPARE(box.Address(), QStringLiteral("17.52.3.49"));
    QCOMPARE(edit->currentField(), 3);
}

void tst_IpBox::tabTreatsBoxAsOneStop()
{
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    auto *before = new QLineEdit(&window);
    auto *box = new ipBox(&window);
    auto *after = new QLineEdit(&window);
    layout->addWidget(before);
    layout->addWidget(box);
    layout->addWidget(after);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    before->setFocus();
    QTRY_VERIFY(before->hasFocus());

    QTest::keyClick(before, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), box->editor());
    QCOMPARE(box->editor()->currentField(), 0);
    QTest::keyClicks(box->editor(), QStringLiteral("1.2")); // move inside the box first
    QTest::keyClick(box->editor(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), after);

    QTest::keyClick(after, Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget(), box->editor());
    QCOMPARE(box->editor()->currentField(), 3);
    QTest::keyClick(box->editor(), Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget(), before);

    box->setFocus(); // focusing the box enters its editor
    QCOMPARE(QApplication::focusWidget(), box->editor());
}

void tst_IpBox::editorCoversBox()
{
    QWidget container; // sized by its container as in the window, then shown
    ipBox box(&container);
    box.setGeometry(10, 20, 145, 21);
    container.show();
    QVERIFY(QTest::qWaitForWindowExposed(&container));
    QCOMPARE(box.editor()->geometry(), QRect(0, 0, 145, 21));
    box.resize(300, 40);
    QCOMPARE(box.editor()->geometry(), QRect(0, 0, 300, 40));
    box.resize(90, 18);
    QCOMPARE(box.editor()->geometry(), QRect(0, 0, 90, 18));
}

void tst_IpBox::editorUsesApplicationFont()
{
    QWidget container;
    QFont containerFont(QStringLiteral("Liberation Serif"), 17, QFont::Bold, true);
    containerFont.setUnderline(true);
    container.setFont(containerFont);
    ipBox box(&container);
    QCOMPARE(box.editor()->font(), QApplication::font());
}

// The box shows 10.0.0.1; the operator clicks into field 1 beside its 0 and types.
void tst_IpBox::typingOverAZero_data()
{
    QTest::addColumn<bool>("before"); // the click puts the caret before the 0, else after it
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("field");
    QTest::newRow("caret after the 0, 192") << false << "192"
                                            << "10.192.0.1" << 2;
    QTest::newRow("caret before the 0, 192") << true << "192"
                                             << "10.192.0.1" << 2;
    QTest::newRow("caret after the 0, 25 and a dot") << false << "25."
                                                     << "10.25.0.1" << 2;
    QTest::newRow("caret before the 0, 7") << true << "7"
                                           << "10.7.0.1" << 1;
    QTest::newRow("a 0 typed over the 0 is a first digit too") << false << "07"
                                                               << "10.7.0.1" << 1;
    QTest::newRow("the next field's 0 gives way too") << true << "255.4"
                                                      << "10.255.4.1" << 2;
}

void tst_IpBox::typingOverAZero()
{
    QFETCH(bool, before);
    QFETCH(QString, keys);
    QFETCH(QString, address);
    QFETCH(int, field);
    ipBox box;
    box.setAddress(QStringLiteral("10.0.0.1"));
    focusFirstField(box);
    clickBesideText(box.editor(), 1, before);
    QCOMPARE(box.editor()->currentField(), 1);
    QTest::keyClicks(box.editor(), keys);
    QCOMPARE(box.Address(), address);
    QCOMPARE(box.editor()->currentField(), field);
    QVERIFY(!shownHint(&box));
}

void tst_IpBox::paste_data()
{
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("address"); // afterwards; the old 0.0.0.1 when refused

    const int ctrl = Qt::ControlModifier;
    const int shift = Qt::ShiftModifier;
    auto row = [](const char *name, const char *text, int key, int modifiers, const char *address) {
        QTest::newRow(name) << QString::fromUtf8(text) << key << modifiers
                            << QString::fromLatin1(address);
    };
    row("Ctrl+V", "192.168.1.100", Qt::Key_V, ctrl, "192.168.1.100");
    row("Shift+Insert", "10.85.119.1", Qt::Key_Insert, shift, "10.85.119.1");
    row("blanks and a line end around it", "  172.16.0.254\r\n", Qt::Key_V, ctrl, "172.16.0.254");
    row("leading zeros", "010.001.000.009", Qt::Key_V, ctrl, "10.1.0.9");
    row("refused: three fields", "1.2.3", Qt::Key_V, ctrl, "0.0.0.1");
    row("refused: five fields", "1.2.3.4.5", Qt::Key_V, ctrl, "0.0.0.1");
    row("refused: a field above 255", "1.2.3.256", Qt::Key_V, ctrl, "0.0.0.1");
    row("refused: blanks inside", "1. 2.3.4", Qt::Key_Insert, shift, "0.0.0.1");
    row("refused: words", "my router", Qt::Key_V, ctrl, "0.0.0.1");
    row("refused: empty clipboard", "", Qt::Key_V, ctrl, "0.0.0.1");
}

void tst_IpBox::paste()
{
    QFETCH(QString, clipboard);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, address);
    ipBox box;
    box.setAddress(QStringLiteral("0.0.0.1"));
    focusFirstField(box);
    QApplication::clipboard()->setText(clipboard);
    QTest::keyClick(box.editor(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(box.Address(), address);
    const bool refused = address == QLatin1String("0.0.0.1");
    QCOMPARE(shownHint(&box) != nullptr, refused);
    if (!refused) { // the caret ends after the pasted address
        QCOMPARE(box.editor()->currentField(), IpAddressEdit::FieldCount - 1);
        QTest::keyClick(box.editor(), Qt::Key_Backspace);
        QCOMPARE(box.editor()->fieldText(3), address.section(u'.', 3).chopped(1));
    }
}

void tst_IpBox::copyGivesTheDottedAddress()
{
    ipBox box;
    box.setAddress(QStringLiteral("10.85.119.1"));
    focusFirstField(box);
    QApplication::clipboard()->clear();
    QTest::keyClick(box.editor(), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("10.85.119.1"));
    // A cleared field copies as 0, as the address reads; Ctrl+Insert copies too.
    QTest::keyClick(box.editor(), Qt::Key_Delete);
    QApplication::clipboard()->clear();
    QTest::keyClick(box.editor(), Qt::Key_Insert, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("0.85.119.1"));
    QCOMPARE(box.Address(), QStringLiteral("0.85.119.1"));
}

void tst_IpBox::selectAllThenType_data()
{
    QTest::addColumn<QString>("keys"); // after Ctrl+A; "<" is Backspace, ">" End
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("field");
    QTest::newRow("a digit starts a new address") << "8"
                                                  << "8.0.0.0" << 0;
    QTest::newRow("a new address typed in full") << "172.16.5.9"
                                                 << "172.16.5.9" << 3;
    QTest::newRow("Backspace clears every field") << "<"
                                                  << "0.0.0.0" << 0;
    QTest::newRow("End only ends the selection") << "><"
                                                 << "192.168.1.10" << 3;
}

void tst_IpBox::selectAllThenType()
{
    QFETCH(QString, keys);
    QFETCH(QString, address);
    QFETCH(int, field);
    ipBox box;
    box.setAddress(QStringLiteral("192.168.1.100"));
    focusFirstField(box);
    QTest::keyClick(box.editor(), Qt::Key_A, Qt::ControlModifier);
    QVERIFY(box.editor()->allSelected());
    for (QChar c : keys) {
        if (c == u'<')
            QTest::keyClick(box.editor(), Qt::Key_Backspace);
        else if (c == u'>')
            QTest::keyClick(box.editor(), Qt::Key_End);
        else
            QTest::keyClicks(box.editor(), QString(c));
    }
    QVERIFY(!box.editor()->allSelected());
    QCOMPARE(box.Address(), address);
    QCOMPARE(box.editor()->currentField(), field);
}

void tst_IpBox::refusedKeyShowsAHint_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("hint");
    QTest::newRow("300 in the first field") << "300"
                                            << "30.0.0.0"
                                            << "0 to 255";
    QTest::newRow("a fourth digit in the last field") << "1.2.3.2555"
                                                      << "1.2.3.255"
                                                      << "0 to 255";
    QTest::newRow("a letter") << "1x"
                              << "1.0.0.0"
                              << "0 to 255";
}

void tst_IpBox::refusedKeyShowsAHint()
{
    QFETCH(QString, keys);
    QFETCH(QString, address);
    QFETCH(QString, hint);
    ipBox box;
    focusFirstField(box);
    QTest::keyClicks(box.editor(), keys.left(keys.size() - 1));
    QVERIFY(!shownHint(&box));
    QTest::keyClicks(box.editor(), keys.right(1));
    QCOMPARE(box.Address(), address);
    QLabel *shown = shownHint(&box);
    QVERIFY(shown);
    QCOMPARE(shown->text(), hint);
    // It goes away by itself after a short while; typing on meanwhile is unaffected.
    QTest::keyClick(box.editor(), Qt::Key_Backspace);
    QTRY_VERIFY_WITH_TIMEOUT(!shownHint(&box), 5000);
}

// In the window: the hint stands under the field, inside the window, and moves nothing.
void tst_IpBox::hintStandsUnderTheFieldInTheWindow()
{
    setUpPanelAppearance();
    WindowOnLine::Options options; // the window as built, on no line
    options.device = WindowOnLine::Device::None;
    options.startUp = WindowOnLine::StartUp::NotRun;
    WindowOnLine window(options);
    window.start();
    Form1 &form = window.form();
    controls(form).SSTab1->setCurrentIndex(2);
    controls(form).Option11->click();
    QVERIFY(controls(form).Frame1->isVisible());
    QMap<QWidget *, QRect> places;
    for (QWidget *widget : form.findChildren<QWidget *>())
        places.insert(widget, widget->geometry());

    IpAddressEdit *edit = controls(form).ipBox1->editor();
    edit->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(edit->hasFocus());
    QTest::keyClicks(edit, QStringLiteral("192.168.1.25"));
    QTest::keyClick(edit, Qt::Key_6); // 256
    QCOMPARE(controls(form).ipBox1->Address(), QStringLiteral("192.168.1.25"));
    QLabel *hint = shownHint(&form);
    QVERIFY(hint);
    QCOMPARE(hint->parentWidget(), static_cast<QWidget *>(&form));

    const QRect field = edit->fieldRect(3).translated(edit->mapTo(&form, QPoint(0, 0)));
    const QRect box = QRect(edit->mapTo(&form, QPoint(0, 0)), edit->size());
    QCOMPARE(hint->geometry().top(), box.bottom() + 1);
    QVERIFY(qAbs(hint->geometry().left() - field.left()) <= 1 ||
            hint->geometry().right() == form.width() - 1);
    QVERIFY(form.rect().contains(hint->geometry()));
    for (auto it = places.begin(); it != places.end(); ++it)
        QCOMPARE(it.key()->geometry(), it.value());

    const QImage picture = form.grab().toImage();
    QVERIFY(picture.save(QStringLiteral(VELQUOR_TEST_OUTPUT_DIR "/ipsetting-refused-hint.png")));
}

QTEST_MAIN(tst_IpBox)
#include "tst_ipbox.moc"
