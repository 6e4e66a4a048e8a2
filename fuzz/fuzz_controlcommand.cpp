// SPDX-License-Identifier: MIT
// What a client of the control socket sends, under arbitrary bytes cut into reads of any size.
//
// The first byte seeds the read sizes; the rest is the stream. Checked: however the stream is
// cut, the command lines are the same as for the stream in one read; no line is longer than
// the limit, holds a line end or is blank; every line either parses or is refused with a reason
// that is one line of printable UTF-8 text (it goes back to the client after "error "); and an
// accepted command's plain form reads back as the same command.

#include "commandlines.h"
#include "controlcommand.h"

#include <QByteArray>
#include <QList>
#include <QString>

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

QList<CommandLines::Line> drain(CommandLines &cutter)
{
    QList<CommandLines::Line> lines;
    while (cutter.hasLine())
        lines.append(cutter.takeLine());
    return lines;
}

// Valid UTF-8 without control characters: names the client gave come back in answers.
bool printableLine(const QByteArray &text)
{
    const QString decoded = QString::fromUtf8(text);
    return decoded.toUtf8() == text && std::none_of(decoded.begin(), decoded.end(), [](QChar c) {
               return c.category() == QChar::Other_Control;
           });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    unsigned seed = data[0];
    const QByteArray stream(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));

    CommandLines whole;
    whole.append(stream);
    const QList<CommandLines::Line> expected = drain(whole);

    CommandLines cut;
    QList<CommandLines::Line> lines;
    for (qsizetype at = 0; at < stream.size();) {
        seed = seed * 1103515245u + 12345u;
        const qsizetype piece = std::min<qsizetype>(1 + (seed >> 16) % 300, stream.size() - at);
        cut.append(QByteArrayView(stream).sliced(at, piece));
        lines += drain(cut);
        at += piece;
    }
    require(lines == expected);
    require(cut.pending() == whole.pending());
    require(cut.pending() <= CommandLines::maxLine);

    for (const CommandLines::Line &line : lines) {
        if (line.tooLong) {
            require(line.text.isEmpty());
            continue;
        }
        require(line.text.size() <= CommandLines::maxLine);
        require(!line.text.contains('\n') && !line.text.contains('\r'));
        require(!line.text.trimmed().isEmpty());

        const ParsedControlCommand parsed = parseControlCommand(line.text);
        if (!parsed.ok) {
            require(!parsed.error.isEmpty() && parsed.error.size() <= 200);
            require(printableLine(parsed.error));
            continue;
        }
        const QByteArray plain = controlCommandText(parsed.command);
        require(!plain.isEmpty() && printableLine(plain));
        const ParsedControlCommand again = parseControlCommand(plain);
        require(again.ok && again.command == parsed.command);
    }
    return 0;
}
