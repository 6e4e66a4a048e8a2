// SPDX-License-Identifier: MIT
// The COMPORT reader under arbitrary file contents.
//
// Checked: the stored index ignores leading blanks and whatever follows the first field; the
// program's own line for every index 0..255 reads back as that index; reading the content from
// a real file gives the same index as parsing it (the reader stops after maxReadBytes).

#include "comportfile.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <unistd.h>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

// One file per fuzzing process, removed when it ends.
struct ScratchFile
{
    // In memory where the system offers it: a file per input on disk is slow.
    const QString path = QDir(QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm")
                                                                        : QDir::tempPath())
                             .filePath(QStringLiteral("velquor-fuzz-comport-%1").arg(::getpid()));
    ~ScratchFile() { QFile::remove(path); }
};

QString scratchFile()
{
    static const ScratchFile file;
    return file.path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray content(reinterpret_cast<const char *>(data), qsizetype(size));
    const quint8 index = comport::parseStoredIndex(content);

    require(comport::parseStoredIndex(" " + content) == index);
    require(comport::parseStoredIndex(content + " \r\n") == index);
    require(comport::parseStoredIndex(content + ",7") == index);

    const int written = size > 0 ? data[0] : 0;
    require(comport::parseStoredIndex(comport::formatLine(written)) == written);
    require(comport::parseStoredIndex(comport::formatLine(written) + content) == written);

    QFile file(scratchFile());
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(content);
        file.close();
        require(
            comport::readStoredIndex(scratchFile()) ==
            comport::parseStoredIndex(content.first(qMin(size_t(comport::maxReadBytes), size))));
    }
    return 0;
}
