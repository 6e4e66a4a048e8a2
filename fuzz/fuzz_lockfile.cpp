// The lock-file reader under arbitrary file contents (lock files are written by any program).
//
// Checked: a named process is a positive PID of at most ten digits; a PID written in the usual
// ten columns reads back as itself whatever follows its line; and what follows a PID's line
// never changes which PID a file names.

#include "lockfile.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray content(reinterpret_cast<const char *>(data), qsizetype(size));
    const std::optional<qint64> pid = portlock::lockFilePid(content);
    if (pid) {
        require(*pid > 0 && *pid <= 9999999999LL);
        if (content.size() != 4) // a four-byte file may be a binary PID
            require(portlock::lockFilePid(content + "\n" + content) == pid);
    }

    // The first bytes as a PID in ten columns, then the input as the rest of the file.
    qint64 written = 0;
    for (size_t i = 0; i < size && i < 4; ++i)
        written = written * 256 + data[i];
    if (written > 0) {
        const QByteArray line = QByteArray::number(written).rightJustified(10, ' ') + '\n';
        require(portlock::lockFilePid(line + content) == written);
    }
    return 0;
}
