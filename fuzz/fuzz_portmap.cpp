// SPDX-License-Identifier: MIT
// The --port argument parser under arbitrary argument text.
//
// An accepted argument maps exactly one port in 1..255 to a non-empty path taken from the
// argument; a refused one maps nothing and says why.

#include "portmap.h"

#include <QString>

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
    // Command-line arguments reach the program as local 8-bit text, decoded as UTF-8.
    const QString argument =
        QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));

    PortMap ports;
    QString error;
    const bool accepted = ports.addMapping(argument, &error);

    int mapped = 0;
    int port = 0;
    for (int n = 0; n <= PortMap::maxPort + 1; ++n) {
        if (ports.isMapped(n)) {
            ++mapped;
            port = n;
        }
    }
    if (accepted) {
        require(mapped == 1 && port >= 1 && port <= PortMap::maxPort);
        const QString device = ports.deviceFor(port);
        require(!device.isEmpty() && argument.endsWith(device));
        require(argument.size() > device.size() &&
                argument[argument.size() - device.size() - 1] == u'=');
        require(argument.startsWith(QLatin1String("COM"), Qt::CaseInsensitive));
    } else {
        require(mapped == 0 && !error.isEmpty());
    }
    return 0;
}
