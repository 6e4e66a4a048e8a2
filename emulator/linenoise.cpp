// SPDX-License-Identifier: MIT
#include "linenoise.h"

namespace linenoise {

namespace {

// A receiver at the wrong speed samples the start bit right and the rest at the wrong places:
// the high bits it sees are mostly the idle line's ones. Every value here has its top bit set.
char mangled(char byte)
{
    return char(0x80 | ((quint8(byte) >> 1) ^ 0x2A));
}

} // namespace

QByteArray junk(int count)
{
    static const char pattern[] = "\xF8\x80\xE0\xFE\x9C\xC0\x8F\xF0\xB3";
    QByteArray bytes;
    bytes.reserve(count);
    for (int i = 0; i < count; ++i)
        bytes.append(pattern[i % (sizeof pattern - 1)]);
    return bytes;
}

QByteArray atAnotherBaudRate(QByteArrayView reply)
{
    QByteArray bytes;
    bytes.reserve(reply.size());
    for (const char c : reply)
        bytes.append(mangled(c));
    return bytes;
}

} // namespace linenoise
