// SPDX-License-Identifier: MIT
#pragma once

// The rules of names and presets, with no window and no file: what a name may be, what a
// preset holds, which preset is active, and finding an input, an output or a preset by its
// name. The settings file (settings/), the window and every remote surface (control/) go by
// these, so that a name refused in one place is refused in all of them.
//
// Inputs and outputs are numbered as the window shows them, from 1 (vocabulary.h).

#include "vocabulary.h"

#include <QList>
#include <QString>
#include <QStringView>

#include <array>

namespace presets {

inline constexpr int maxNameLength = 24; // characters
inline constexpr int maxPresets = 32;
// The pause between the frames of one recall, in milliseconds: a device may drop a frame that
// follows another too closely.
inline constexpr int defaultGap = 100;
inline constexpr int maxGap = 2000;

// The names of what the panel shows besides its outputs, where every remote surface lists them
// side by side with the outputs' names (Home Assistant's entities).
namespace entity {
inline constexpr const char *mode = "Mode";
inline constexpr const char *resolution = "Resolution";
inline constexpr const char *wall = "Video-wall input";
inline constexpr const char *preset = "Preset";
inline constexpr const char *update = "Update";
inline constexpr const char *link = "Link";
inline constexpr std::array<const char *, 6> all{mode, resolution, wall, preset, update, link};
} // namespace entity

} // namespace presets

// The input each output shows, out1..out4: 1..4, or 0 while its row shows none.
using Routes = std::array<int, vocabulary::outputCount>;

enum class Side { Input, Output };

constexpr int sideCount(Side side)
{
    return side == Side::Input ? vocabulary::inputCount : vocabulary::outputCount;
}

// What the operator calls the inputs and outputs; an empty name is none.
struct Names
{
    std::array<QString, vocabulary::inputCount> inputs;
    std::array<QString, vocabulary::outputCount> outputs;

    QString of(Side side, int number) const;
    QString &of(Side side, int number);
    bool operator==(const Names &) const = default;
};

// A set of routes recalled in one action: an input 1..4 for each output.
struct Preset
{
    QString name;
    Routes routes{};
    bool operator==(const Preset &) const = default;
};

struct NamesAndPresets
{
    Names names;
    QList<Preset> presets; // in the order the operator gave them, at most maxPresets
    int gap = presets::defaultGap;
    bool operator==(const NamesAndPresets &) const = default;
};

// "IN2", "Out1": how the window captions an input or an output.
QString sideCaption(Side side, int number);

// A name as it is kept, without surrounding blanks, or why the text cannot be one: it is
// longer than maxNameLength characters, or holds a control character or a broken surrogate.
// Empty text is no name, and passes.
struct NameCheck
{
    QString name;
    QString problem;
};
NameCheck checkName(QStringView text);

// Why the checked name cannot be any name: it equals, in any case, a word some surface reads
// as something else: a number or "all" (the commands), IN1-IN4 or Out1-Out4 (the captions, which
// commands and Home Assistant's selects take as the input or output), "None" (Home Assistant
// reads it as no state), or a name in presets::entity. Empty when it can be.
QString reservedNameProblem(const QString &name);

// Why the checked name cannot be the name of the input or output number: it is reserved, or
// another of its side has it (names are compared without regard to case). Empty when it can.
QString sideNameProblem(const Names &names, Side side, int number, const QString &name);
// Why the checked name cannot be a preset's: it is empty or reserved, or another preset than
// except has it.
QString presetNameProblem(const QList<Preset> &presets, const QString &name, int except = -1);

// The input or output with that name (1..4), 0 when none has it; case does not matter.
int findName(const Names &names, Side side, QStringView name);
// The index of the preset with that name, -1 when none has it; case does not matter.
int findPreset(const QList<Preset> &presets, QStringView name);

// The index of the first preset whose routes are the routes shown, -1 when none is.
int activePreset(const QList<Preset> &presets, const Routes &shown);
