// SPDX-License-Identifier: MIT
#include "demo.h"

#include "comportfile.h"
#include "portmap.h"
#include "ptyhost.h"

namespace demo {

int rememberedPort()
{
    // Read as start-up reads it; an index of 255 overflows the port number there.
    const std::optional<quint8> stored = comport::readStoredIndex();
    if (!stored)
        return 1;
    const int port = *stored + 1;
    return port <= PortMap::maxPort ? port : 0;
}

bool start(PtyHost &host, PortMap &ports, QString *error)
{
    if (!host.isOpen() && !host.open(error))
        return false;
    if (const int port = rememberedPort(); port > 0)
        ports.map(port, host.slavePath());
    return true;
}

} // namespace demo
