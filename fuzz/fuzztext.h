// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <cstdint>
#include <cstring>

// Text for the fuzz targets that parse what an operator or a caller types. The first byte
// picks how the rest becomes text: Latin-1 (reaches every short ASCII case quickly) or raw
// UTF-16 code units (lone surrogates, full-width digits and all). size must be at least 1.
inline QString fuzzText(const uint8_t *data, size_t size)
{
    const char *rest = reinterpret_cast<const char *>(data + 1);
    const qsizetype restSize = qsizetype(size - 1);
    if (!(data[0] & 1))
        return QString::fromLatin1(rest, restSize);
    QString text(restSize / 2, Qt::Uninitialized);
    std::memcpy(text.data(), rest, size_t(restSize / 2) * 2);
    return text;
}
