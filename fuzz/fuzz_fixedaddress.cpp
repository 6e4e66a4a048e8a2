// SPDX-License-Identifier: MIT
// The fixed-address digit walk under arbitrary text (UTF-16 code units taken from the input).
//
// Checked against a plain split of the text: octets come out exactly when the text is four
// non-empty groups of ASCII digits joined by dots, each group worth at most 255, and then they
// are the groups' values.

#include "fixedaddress.h"
#include "fuzztext.h"

#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

std::optional<std::array<quint8, 4>> bySplitting(const QString &text)
{
    const QStringList groups = text.split(u'.');
    if (groups.size() != 4)
        return std::nullopt;
    std::array<quint8, 4> octets{};
    for (qsizetype g = 0; g < 4; ++g) {
        const QString &group = groups[g];
        if (group.isEmpty())
            return std::nullopt;
        int value = 0;
        for (QChar c : group) {
            if (c < u'0' || c > u'9')
                return std::nullopt;
            value = qMin(value * 10 + (c.unicode() - u'0'), 1000);
        }
        if (value > 255)
            return std::nullopt;
        octets[size_t(g)] = quint8(value);
    }
    return octets;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const QString text = fuzzText(data, size);

    const auto octets = fixedAddressOctets(text);
    require(octets == bySplitting(text));
    return 0;
}
