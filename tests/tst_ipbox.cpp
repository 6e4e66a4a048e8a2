#include "addresstext.h"
#include "errortrap.h"
#include "ipaddressedit.h"
#include "ipbox.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>

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

QTEST_MAIN(tst_IpBox)
#include "tst_ipbox.moc"
