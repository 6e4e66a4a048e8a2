// SPDX-License-Identifier: MIT
// Cutting what arrives into reply lines, under any bytes cut into reads of any size.
//
// The first byte of the input chooses how the rest is cut into reads (a seed for the read
// sizes); the rest is the stream from the device. Checks what the window relies on: however
// the stream is cut, the lines are the same as for the stream in one read, none holds a line
// end or is empty, and lines plus waiting text hold every byte that is not a line end.

#include "replylines.h"

#include <QByteArray>
#include <QList>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

QList<QByteArray> drain(ReplyLines &cutter)
{
    QList<QByteArray> lines;
    while (cutter.hasLine())
        lines.append(cutter.takeLine());
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    unsigned seed = data[0];
    const QByteArray stream(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));

    ReplyLines whole;
    whole.append(stream);
    const QList<QByteArray> expected = drain(whole);

    ReplyLines cut;
    QList<QByteArray> lines;
    for (qsizetype at = 0; at < stream.size();) {
        seed = seed * 1103515245u + 12345u;
        const qsizetype piece = std::min<qsizetype>(1 + (seed >> 16) % 17, stream.size() - at);
        cut.append(QByteArrayView(stream).sliced(at, piece));
        lines += drain(cut);
        at += piece;
    }
    require(lines == expected);
    require(cut.partial() == whole.partial());

    qsizetype kept = whole.partial().size();
    for (const QByteArray &line : lines) {
        require(!line.isEmpty() && !line.contains('\r') && !line.contains('\n'));
        kept += line.size();
    }
    require(kept == stream.size() - stream.count('\r') - stream.count('\n'));
    require(!whole.partial().contains('\r') && !whole.partial().contains('\n'));
    return 0;
}
