// SPDX-License-Identifier: MIT
// The rules of names and presets, and the names and presets in use: what a name may be, what
// is refused and why, the active preset, and that a change the store cannot keep changes
// nothing.

#include "presetbook.h"
#include "presetrules.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(Side)
Q_DECLARE_METATYPE(Routes)

class tst_Presets : public QObject
{
    Q_OBJECT

private slots:
    void checkName_data();
    void checkName();
    void sideName_data();
    void sideName();
    void savePreset_data();
    void savePreset();
    void activePresetFollowsTheRoutes();
    void changeTheStoreCannotKeepChangesNothing();
};

void tst_Presets::checkName_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("name");    // as kept, when the text passes
    QTest::addColumn<QString>("problem"); // what the refusal says, in part; empty: passes
    QTest::newRow("plain") << u"Blu-ray"_s << u"Blu-ray"_s << QString();
    QTest::newRow("blanks around go") << u"  Main hall \t"_s << u"Main hall"_s << QString();
    QTest::newRow("empty is no name") << u""_s << u""_s << QString();
    QTest::newRow("24 characters") << u"x"_s.repeated(24) << u"x"_s.repeated(24) << QString();
    QTest::newRow("25 characters")
        << u"x"_s.repeated(25) << QString() << u"longer than 24 characters (25)"_s;
    QTest::newRow("a pair of surrogates is one character")
        << u"\U0001F3A5"_s.repeated(24) << u"\U0001F3A5"_s.repeated(24) << QString();
    QTest::newRow("umlauts") << u"Kamera \u00e4\u00f6"_s << u"Kamera \u00e4\u00f6"_s << QString();
    QTest::newRow("BEL") << u"a\x07"
                            u"b"_s
                         << QString() << u"control character"_s;
    QTest::newRow("a tab inside") << u"a\tb"_s << QString() << u"control character"_s;
    QTest::newRow("C1 CSI") << u"a\u009bb"_s << QString() << u"control character"_s;
    QTest::newRow("line separator") << u"a\u2028b"_s << QString() << u"control character"_s;
    QTest::newRow("a lone surrogate")
        << QString(QChar(0xd83c)) + u"x"_s << QString() << u"not valid text"_s;
}

void tst_Presets::checkName()
{
    QFETCH(QString, text);
    QFETCH(QString, name);
    QFETCH(QString, problem);
    const NameCheck check = ::checkName(text);
    if (problem.isEmpty()) {
        QCOMPARE(check.problem, QString());
        QCOMPARE(check.name, name);
    } else {
        QVERIFY2(check.problem.contains(problem), qPrintable(check.problem));
    }
}

void tst_Presets::sideName_data()
{
    QTest::addColumn<Side>("side");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("problem"); // empty: allowed
    // IN1 is "Camera", Out2 "Projector".
    QTest::newRow("another input") << Side::Input << 2 << u"Blu-ray"_s << QString();
    QTest::newRow("an input's own name again") << Side::Input << 1 << u"Camera"_s << QString();
    QTest::newRow("a name of the other side") << Side::Output << 1 << u"Camera"_s << QString();
    QTest::newRow("twice among the inputs, in another case")
        << Side::Input << 3 << u"CAMERA"_s << u"\"CAMERA\" is the name of IN1 already"_s;
    QTest::newRow("twice among the outputs")
        << Side::Output << 4 << u"projector"_s << u"is the name of Out2 already"_s;
    QTest::newRow("a number") << Side::Input << 2 << u"3"_s << u"cannot be a name"_s;
    QTest::newRow("a signed number") << Side::Output << 1 << u"-1"_s << u"cannot be a name"_s;
    QTest::newRow("all") << Side::Output << 1 << u"All"_s << u"cannot be a name"_s;
    QTest::newRow("digits inside a name") << Side::Input << 2 << u"Camera 2"_s << QString();
}

void tst_Presets::sideName()
{
    QFETCH(Side, side);
    QFETCH(int, number);
    QFETCH(QString, name);
    QFETCH(QString, problem);
    Names names;
    names.inputs[0] = u"Camera"_s;
    names.outputs[1] = u"Projector"_s;
    const QString found = sideNameProblem(names, side, number, name);
    if (problem.isEmpty())
        QCOMPARE(found, QString());
    else
        QVERIFY2(found.contains(problem), qPrintable(found));

    // The book says the same, and leaves the names as they were.
    PresetBook book;
    NamesAndPresets content;
    content.names = names;
    book.reset(content);
    const PresetBook::Answer answer = book.setName(side, number, name);
    QCOMPARE(answer.ok(), problem.isEmpty());
    if (problem.isEmpty())
        QCOMPARE(book.names().of(side, number), name);
    else
        QCOMPARE(book.names(), names);
}

void tst_Presets::savePreset_data()
{
    QTest::addColumn<int>("existing"); // presets "P1".."Pn" already kept
    QTest::addColumn<QString>("name");
    QTest::addColumn<Routes>("shown");
    QTest::addColumn<QString>("problem"); // empty: kept
    QTest::addColumn<int>("count");       // presets afterwards
    const Routes all{1, 2, 3, 4};
    QTest::newRow("a first preset") << 0 << u"Lecture"_s << all << QString() << 1;
    QTest::newRow("the 32nd") << 31 << u"Lecture"_s << all << QString() << 32;
    QTest::newRow("the 33rd") << 32 << u"Lecture"_s << all << u"there are 32 presets"_s << 32;
    QTest::newRow("a name kept takes the routes shown, even the 33rd")
        << 32 << u"p7"_s << all << QString() << 32;
    QTest::newRow("an output with no route yet")
        << 0 << u"Lecture"_s << Routes{1, 2, 0, 4} << u"Out3 has no route yet: press Update first"_s
        << 0;
    QTest::newRow("no name") << 0 << u" "_s << all << u"a preset needs a name"_s << 0;
    QTest::newRow("too long") << 0 << u"x"_s.repeated(25) << all << u"longer than 24"_s << 0;
    QTest::newRow("a control character") << 0 << u"a\x1b"_s << all << u"control character"_s << 0;
}

void tst_Presets::savePreset()
{
    QFETCH(int, existing);
    QFETCH(QString, name);
    QFETCH(Routes, shown);
    QFETCH(QString, problem);
    QFETCH(int, count);
    NamesAndPresets content;
    for (int i = 1; i <= existing; ++i)
        content.presets.append({u"P%1"_s.arg(i), {4, 4, 4, 4}});
    PresetBook book;
    book.reset(content);
    const PresetBook::Answer answer = book.savePreset(name, shown);
    QVERIFY2(problem.isEmpty() ? answer.ok() : answer.error.contains(problem),
             qPrintable(answer.error));
    QVERIFY(!answer.notKept);
    QCOMPARE(book.presets().size(), count);
    const int saved = findPreset(book.presets(), name.trimmed());
    QCOMPARE(saved >= 0 && book.presets()[saved].routes == shown, problem.isEmpty());
}

void tst_Presets::activePresetFollowsTheRoutes()
{
    PresetBook book;
    NamesAndPresets content;
    content.presets = {
        {u"Lecture"_s, {2, 1, 4, 3}}, {u"Stage"_s, {1, 1, 1, 1}}, {u"Stage too"_s, {1, 1, 1, 1}}};
    book.reset(content);
    QSignalSpy active(&book, &PresetBook::activeChanged);
    book.showRoutes({1, 1, 1, 1});
    QCOMPARE(book.activeName(), u"Stage"_s); // the first that matches
    book.showRoutes({1, 1, 1, 1});
    QCOMPARE(active.size(), 1); // no change, no signal
    book.showRoutes({2, 1, 4, 0});
    QCOMPARE(book.active(), -1);
    book.showRoutes({2, 1, 4, 3});
    QCOMPARE(book.activeName(), u"Lecture"_s);
    QCOMPARE(active.size(), 3);

    // Reordered, renamed, deleted: the active preset is that of the routes still.
    QVERIFY(book.movePreset(0, 2).ok());
    QVERIFY(book.renamePreset(2, u"Talk"_s).ok());
    QCOMPARE(book.activeName(), u"Talk"_s);
    QVERIFY(!book.renamePreset(0, u"talk"_s).ok()); // a preset of that name is there
    QVERIFY(book.deletePreset(2).ok());
    QCOMPARE(book.active(), -1);
    QCOMPARE(book.presets().size(), 2);
}

void tst_Presets::changeTheStoreCannotKeepChangesNothing()
{
    PresetBook book;
    NamesAndPresets content;
    content.names.inputs[1] = u"Blu-ray"_s;
    content.presets = {{u"Lecture"_s, {2, 1, 4, 3}}};
    book.reset(content);
    NamesAndPresets stored;
    bool writable = false;
    book.setStore([&](const NamesAndPresets &next, QString *error) {
        if (!writable)
            *error = u"cannot write /x/velquor.conf"_s;
        else
            stored = next;
        return writable;
    });
    QSignalSpy changed(&book, &PresetBook::changed);
    for (const PresetBook::Answer &answer :
         {book.setName(Side::Output, 1, u"Projector"_s), book.savePreset(u"Stage"_s, {1, 1, 1, 1}),
          book.deletePreset(0), book.renamePreset(0, u"Talk"_s)}) {
        QVERIFY(answer.notKept);
        QCOMPARE(answer.error, u"cannot write /x/velquor.conf"_s);
    }
    QCOMPARE(book.content(), content);
    QCOMPARE(changed.size(), 0);

    writable = true;
    QVERIFY(book.setName(Side::Output, 1, u"Projector"_s).ok());
    QCOMPARE(stored.names.outputs[0], u"Projector"_s);
    QCOMPARE(book.content(), stored);
    QCOMPARE(changed.size(), 1);
}

QTEST_GUILESS_MAIN(tst_Presets)
#include "tst_presets.moc"
