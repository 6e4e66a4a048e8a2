// SPDX-License-Identifier: MIT
#include "demo.h"

#include "comportfile.h"
#include "portmap.h"
#include "ptyhost.h"

namespace demo {

int rememberedPort()
{
    return comport::rememberedPort(comport::readStoredIndex()).value_or(0);
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
