// SPDX-License-Identifier: MIT
// The groups [names] and [presets] of the user's settings file.
//
//   [names]
//   in2=Blu-ray
//   out1=Projector
//
//   [presets]
//   gap=150
//   preset1=Lecture, 2, 1, 4, 3
//   preset2="Stage, left", 1, 1, 1, 1
//
// A name with a comma is written in double quotes (QSettings reads an unquoted comma as a list
// and writes the quotes itself).
#include "usersettings.h"

#include "presetbook.h"

#include <QRegularExpression>
#include <QSettings>

namespace {

const QString namesGroup = QStringLiteral("names");
const QString presetsGroup = QStringLiteral("presets");

constexpr int namePlaces = vocabulary::inputCount + vocabulary::outputCount;

Side sideOfPlace(int place)
{
    return place < vocabulary::inputCount ? Side::Input : Side::Output;
}

int numberOfPlace(int place)
{
    return place < vocabulary::inputCount ? place + 1 : place - vocabulary::inputCount + 1;
}

int placeOf(Side side, int number)
{
    return side == Side::Input ? number - 1 : vocabulary::inputCount + number - 1;
}

// "in1".."in4", "out1".."out4" (any case) as their place 0..7; -1 for any other key.
int placeOfKey(const QString &key)
{
    static const QRegularExpression form(QStringLiteral("^(in|out)([1-4])\\z"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = form.match(key);
    if (!match.hasMatch())
        return -1;
    const Side side = match.captured(1).size() == 2 ? Side::Input : Side::Output;
    return placeOf(side, match.captured(2).toInt());
}

QString keyOfPlace(int place)
{
    return (sideOfPlace(place) == Side::Input ? QStringLiteral("in%1") : QStringLiteral("out%1"))
        .arg(numberOfPlace(place));
}

// "preset7" (any case) as 7; 0 for any other key.
int presetNumberOfKey(const QString &key)
{
    static const QRegularExpression form(QStringLiteral("^preset([1-9][0-9]{0,3})\\z"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = form.match(key);
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}

QString listed(const QVariant &value)
{
    return value.toStringList().join(QLatin1Char(','));
}

// NAME, IN, IN, IN, IN with each input one digit 1..4.
std::optional<Preset> presetOf(const QVariant &value)
{
    if (value.typeId() != QMetaType::QStringList)
        return std::nullopt;
    const QStringList fields = value.toStringList();
    if (fields.size() != 1 + vocabulary::outputCount)
        return std::nullopt;
    Preset preset;
    preset.name = fields[0];
    for (int o = 0; o < vocabulary::outputCount; ++o) {
        const QString input = fields[o + 1].trimmed();
        if (input.size() != 1 || !vocabulary::isInput(input[0].digitValue()))
            return std::nullopt;
        preset.routes[o] = input[0].digitValue();
    }
    return preset;
}

} // namespace

bool UserSettings::findNameOrPreset(const QString &group, const QString &key, const QVariant &value,
                                    FoundNamesAndPresets &found)
{
    if (group == namesGroup) {
        const QString entry = QStringLiteral("[names] %1").arg(key);
        const int place = placeOfKey(key);
        if (place < 0)
            warn(entry, QStringLiteral("unknown key (the group has in1 to in4 and out1 to out4)"));
        else if (!found.names.try_emplace(place, Found{key, value}).second)
            warn(entry, QStringLiteral("%1 is named twice").arg(keyOfPlace(place)));
        return true;
    }
    if (group != presetsGroup)
        return false;
    const QString entry = QStringLiteral("[presets] %1").arg(key);
    const int number = presetNumberOfKey(key);
    if (key == QLatin1String("gap")) {
        bool isNumber = false;
        const int gap =
            value.typeId() == QMetaType::QString ? value.toString().toInt(&isNumber) : 0;
        if (isNumber && gap >= 0 && gap <= presets::maxGap)
            m_namesAndPresets.gap = gap;
        else
            warn(entry, QStringLiteral("\"%1\" is not a number of milliseconds from 0 to %2")
                            .arg(listed(value))
                            .arg(presets::maxGap));
    } else if (number == 0) {
        warn(entry, QStringLiteral("unknown key (the group has gap and preset1, preset2, \u2026)"));
    } else if (!found.presets.try_emplace(number, Found{key, value}).second) {
        warn(entry, QStringLiteral("preset%1 is given twice").arg(number));
        m_refusedPresetNumbers.insert(number);
    }
    return true;
}

void UserSettings::takeNamesAndPresets(const FoundNamesAndPresets &found)
{
    takeNames(found.names);
    takePresets(found.presets);
}

// In the order in1..in4, out1..out4: of two inputs or outputs with the same name the first
// keeps it.
void UserSettings::takeNames(const std::map<int, Found> &names)
{
    Names &taken = m_namesAndPresets.names;
    for (const auto &[place, found] : names) {
        const QString entry = QStringLiteral("[names] %1").arg(found.key);
        if (found.value.typeId() != QMetaType::QString) {
            warn(entry, QStringLiteral("\"%1\" holds a comma: put the name in double quotes")
                            .arg(listed(found.value)));
            continue;
        }
        const NameCheck check = checkName(found.value.toString());
        const Side side = sideOfPlace(place);
        const int number = numberOfPlace(place);
        const QString problem = check.problem.isEmpty()
                                    ? sideNameProblem(taken, side, number, check.name)
                                    : check.problem;
        if (!problem.isEmpty())
            warn(entry, problem);
        else
            taken.of(side, number) = check.name;
    }
}

// In the order of their numbers: of two presets with the same name the first keeps it, and
// the presets past maxPresets are left out.
void UserSettings::takePresets(const std::map<int, Found> &presets)
{
    QList<Preset> &taken = m_namesAndPresets.presets;
    for (const auto &[number, found] : presets) {
        const QString entry = QStringLiteral("[presets] %1").arg(found.key);
        std::optional<Preset> preset = presetOf(found.value);
        QString problem;
        if (!preset) {
            problem = QStringLiteral("\"%1\" is not NAME, IN, IN, IN, IN (the inputs of Out1 to "
                                     "Out4, each 1 to 4)")
                          .arg(listed(found.value));
        } else {
            const NameCheck check = checkName(preset->name);
            preset->name = check.name;
            problem =
                check.problem.isEmpty() ? presetNameProblem(taken, check.name) : check.problem;
        }
        if (problem.isEmpty() && taken.size() >= presets::maxPresets)
            problem = QStringLiteral("more than %1 presets").arg(presets::maxPresets);
        if (!problem.isEmpty()) {
            warn(entry, problem);
            m_refusedPresetNumbers.insert(number);
            continue;
        }
        taken.append(*preset);
        m_presetKeys.append(found.key);
    }
}

void UserSettings::setNamesAndPresets(const NamesAndPresets &content)
{
    for (int place = 0; place < namePlaces; ++place) {
        const Side side = sideOfPlace(place);
        const int number = numberOfPlace(place);
        if (content.names.of(side, number) != m_namesAndPresets.names.of(side, number))
            m_changedNames[place] = content.names.of(side, number);
    }
    if (content.presets != m_namesAndPresets.presets)
        m_presetsChanged = true;
    m_namesAndPresets.names = content.names;
    m_namesAndPresets.presets = content.presets;
}

QStringList UserSettings::writeNamesAndPresets(QSettings &file) const
{
    file.beginGroup(namesGroup);
    const QStringList nameKeys = file.childKeys();
    for (const auto &[place, name] : m_changedNames) {
        // "IN1" names the same input as "in1".
        for (const QString &key : nameKeys) {
            if (placeOfKey(key) == place)
                file.remove(key);
        }
        if (!name.isEmpty())
            file.setValue(keyOfPlace(place), name);
    }
    file.endGroup();
    if (!m_presetsChanged)
        return m_presetKeys;

    file.beginGroup(presetsGroup);
    for (const QString &key : m_presetKeys)
        file.remove(key);
    QStringList written;
    int number = 0;
    for (const Preset &preset : m_namesAndPresets.presets) {
        do
            ++number;
        while (m_refusedPresetNumbers.count(number) != 0);
        QStringList fields{preset.name};
        for (const int input : preset.routes)
            fields.append(QString::number(input));
        written.append(QStringLiteral("preset%1").arg(number));
        file.setValue(written.last(), fields);
    }
    file.endGroup();
    return written;
}

void useNamesAndPresets(PresetBook &book, const UserSettings &settings)
{
    book.reset(settings.namesAndPresets());
    book.setStore([path = settings.path()](const NamesAndPresets &next, QString *error) {
        UserSettings file(path);
        file.load();
        file.setNamesAndPresets(next);
        return file.save(error);
    });
}
