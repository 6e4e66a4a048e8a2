// SPDX-License-Identifier: MIT
#include "presetbook.h"

namespace {

PresetBook::Answer refuse(const QString &why)
{
    return {why, false};
}

} // namespace

PresetBook::PresetBook(QObject *parent) : QObject(parent) {}

void PresetBook::reset(const NamesAndPresets &content)
{
    m_content = content;
    emit changed();
    findActive();
}

QString PresetBook::activeName() const
{
    return m_active >= 0 ? m_content.presets[m_active].name : QString();
}

PresetBook::Answer PresetBook::setName(Side side, int number, const QString &text)
{
    if (number < 1 || number > sideCount(side))
        return refuse(QStringLiteral("there is no %1").arg(sideCaption(side, number)));
    Names names = m_content.names;
    const NameCheck check = checkName(text);
    if (!check.problem.isEmpty())
        return refuse(check.problem);
    names.of(side, number) = check.name;
    return setNames(names);
}

PresetBook::Answer PresetBook::setNames(const Names &names)
{
    NamesAndPresets next = m_content;
    for (const Side side : {Side::Input, Side::Output}) {
        for (int number = 1; number <= sideCount(side); ++number) {
            const NameCheck check = checkName(names.of(side, number));
            if (!check.problem.isEmpty())
                return refuse(
                    QStringLiteral("%1: %2").arg(sideCaption(side, number), check.problem));
            next.names.of(side, number) = check.name;
        }
    }
    for (const Side side : {Side::Input, Side::Output}) {
        for (int number = 1; number <= sideCount(side); ++number) {
            const QString problem =
                sideNameProblem(next.names, side, number, next.names.of(side, number));
            if (!problem.isEmpty())
                return refuse(QStringLiteral("%1: %2").arg(sideCaption(side, number), problem));
        }
    }
    return keep(next);
}

PresetBook::Answer PresetBook::savePreset(const QString &name, const Routes &shown)
{
    const NameCheck check = checkName(name);
    if (!check.problem.isEmpty())
        return refuse(check.problem);
    for (int output = 1; output <= vocabulary::outputCount; ++output) {
        if (!vocabulary::isInput(shown[output - 1]))
            return refuse(QStringLiteral("Out%1 has no route yet: press Update first").arg(output));
    }
    NamesAndPresets next = m_content;
    const int existing = findPreset(next.presets, check.name);
    if (existing >= 0) {
        next.presets[existing].routes = shown;
        return keep(next);
    }
    if (const QString problem = presetNameProblem(next.presets, check.name); !problem.isEmpty())
        return refuse(problem);
    if (next.presets.size() >= presets::maxPresets)
        return refuse(QStringLiteral("there are %1 presets, the most there can be: delete one "
                                     "first")
                          .arg(presets::maxPresets));
    next.presets.append({check.name, shown});
    return keep(next);
}

PresetBook::Answer PresetBook::renamePreset(int index, const QString &name)
{
    if (index < 0 || index >= m_content.presets.size())
        return refuse(QStringLiteral("no such preset"));
    const NameCheck check = checkName(name);
    if (!check.problem.isEmpty())
        return refuse(check.problem);
    if (const QString problem = presetNameProblem(m_content.presets, check.name, index);
        !problem.isEmpty())
        return refuse(problem);
    NamesAndPresets next = m_content;
    next.presets[index].name = check.name;
    return keep(next);
}

PresetBook::Answer PresetBook::deletePreset(int index)
{
    if (index < 0 || index >= m_content.presets.size())
        return refuse(QStringLiteral("no such preset"));
    NamesAndPresets next = m_content;
    next.presets.removeAt(index);
    return keep(next);
}

PresetBook::Answer PresetBook::movePreset(int index, int to)
{
    const qsizetype count = m_content.presets.size();
    if (index < 0 || index >= count || to < 0 || to >= count)
        return refuse(QStringLiteral("no such place"));
    NamesAndPresets next = m_content;
    next.presets.move(index, to);
    return keep(next);
}

void PresetBook::showRoutes(const Routes &shown)
{
    m_shown = shown;
    findActive();
}

PresetBook::Answer PresetBook::keep(NamesAndPresets next)
{
    if (next == m_content)
        return {};
    QString why;
    if (m_store && !m_store(next, &why))
        return {why.isEmpty() ? QStringLiteral("the settings file cannot be written") : why, true};
    m_content = std::move(next);
    emit changed();
    findActive();
    return {};
}

void PresetBook::findActive()
{
    const int now = activePreset(m_content.presets, m_shown);
    if (now == m_active)
        return;
    m_active = now;
    emit activeChanged();
}
