// SPDX-License-Identifier: MIT
#include "fixedaddress.h"

std::optional<std::array<quint8, 4>> fixedAddressOctets(QStringView text)
{
    std::array<quint8, 4> octets{};
    qsizetype count = 0; // groups stored so far
    int value = 0;       // never above 256: stops before a long digit run can overflow
    bool empty = true;

    auto endGroup = [&]() {
        if (empty || count == 4)
            return false;
        octets[size_t(count++)] = quint8(value);
        value = 0;
        empty = true;
        return true;
    };

    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= u'0' && u <= u'9') {
            value = value * 10 + (u - u'0');
            if (value > 255)
                return std::nullopt;
            empty = false;
        } else if (u == u'.') {
            if (!endGroup())
                return std::nullopt;
        } else {
            return std::nullopt;
        }
    }
    if (!endGroup() || count != 4)
        return std::nullopt;
    return octets;
}
