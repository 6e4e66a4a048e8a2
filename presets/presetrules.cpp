// SPDX-License-Identifier: MIT
#include "presetrules.h"

#include <QChar>

namespace {

bool sameName(QStringView a, QStringView b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// "12", "-3", "+4": what a command reads as a number.
bool looksLikeNumber(QStringView text)
{
    if (text.startsWith(QLatin1Char('+')) || text.startsWith(QLatin1Char('-')))
        text = text.sliced(1);
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

QString shown(const QString &name)
{
    return QStringLiteral("\"%1\"").arg(name);
}

} // namespace

QString Names::of(Side side, int number) const
{
    const auto &names = side == Side::Input ? inputs : outputs;
    return number >= 1 && number <= sideCount(side) ? names[number - 1] : QString();
}

QString &Names::of(Side side, int number)
{
    Q_ASSERT(number >= 1 && number <= sideCount(side));
    return (side == Side::Input ? inputs : outputs)[number - 1];
}

QString sideCaption(Side side, int number)
{
    return side == Side::Input ? QStringLiteral("IN%1").arg(number)
                               : QStringLiteral("Out%1").arg(number);
}

NameCheck checkName(QStringView text)
{
    NameCheck check;
    const QStringView trimmed = text.trimmed();
    int characters = 0;
    for (qsizetype i = 0; i < trimmed.size(); ++i, ++characters) {
        const QChar c = trimmed[i];
        if (c.isHighSurrogate() && i + 1 < trimmed.size() && trimmed[i + 1].isLowSurrogate()) {
            ++i;
            continue;
        }
        if (c.isSurrogate()) {
            check.problem = QStringLiteral("the name is not valid text");
            return check;
        }
        const QChar::Category category = c.category();
        if (category == QChar::Other_Control || category == QChar::Separator_Line ||
            category == QChar::Separator_Paragraph) {
            check.problem = QStringLiteral("the name holds a control character");
            return check;
        }
    }
    if (characters > presets::maxNameLength) {
        check.problem = QStringLiteral("the name is longer than %1 characters (%2)")
                            .arg(presets::maxNameLength)
                            .arg(characters);
        return check;
    }
    check.name = trimmed.toString();
    return check;
}

QString reservedNameProblem(const QString &name)
{
    if (looksLikeNumber(name) || sameName(name, u"all"))
        return QStringLiteral("%1 cannot be a name: commands read it as a number or as all")
            .arg(shown(name));
    for (const Side side : {Side::Input, Side::Output}) {
        for (int k = 1; k <= sideCount(side); ++k) {
            if (sameName(name, sideCaption(side, k)))
                return QStringLiteral("%1 cannot be a name: it is the caption of %2")
                    .arg(shown(name), sideCaption(side, k));
        }
    }
    if (sameName(name, u"None"))
        return QStringLiteral("%1 cannot be a name: Home Assistant reads it as no state")
            .arg(shown(name));
    for (const char *entity : presets::entity::all) {
        if (name.compare(QLatin1String(entity), Qt::CaseInsensitive) == 0)
            return QStringLiteral("%1 cannot be a name: the panel shows its %2 under it")
                .arg(shown(name), QLatin1String(entity).toString().toLower());
    }
    return {};
}

QString sideNameProblem(const Names &names, Side side, int number, const QString &name)
{
    if (name.isEmpty())
        return {};
    if (QString problem = reservedNameProblem(name); !problem.isEmpty())
        return problem;
    const int other = findName(names, side, name);
    if (other != 0 && other != number)
        return QStringLiteral("%1 is the name of %2 already")
            .arg(shown(name), sideCaption(side, other));
    return {};
}

QString presetNameProblem(const QList<Preset> &presets, const QString &name, int except)
{
    if (name.isEmpty())
        return QStringLiteral("a preset needs a name");
    if (QString problem = reservedNameProblem(name); !problem.isEmpty())
        return problem;
    const int other = findPreset(presets, name);
    if (other >= 0 && other != except)
        return QStringLiteral("there is a preset %1 already").arg(shown(presets[other].name));
    return {};
}

int findName(const Names &names, Side side, QStringView name)
{
    const auto &list = side == Side::Input ? names.inputs : names.outputs;
    for (int i = 0; !name.isEmpty() && i < int(list.size()); ++i) {
        if (sameName(list[i], name))
            return i + 1;
    }
    return 0;
}

int findPreset(const QList<Preset> &presets, QStringView name)
{
    for (int i = 0; i < presets.size(); ++i) {
        if (sameName(presets[i].name, name))
            return i;
    }
    return -1;
}

int activePreset(const QList<Preset> &presets, const Routes &shown)
{
    for (int i = 0; i < presets.size(); ++i) {
        if (presets[i].routes == shown)
            return i;
    }
    return -1;
}
