// SPDX-License-Identifier: MIT
#include "pseudoterminal.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

std::optional<PseudoTerminal> openPseudoTerminal(QString *error)
{
    PseudoTerminal terminal;
    auto fail = [&](const char *call) -> std::optional<PseudoTerminal> {
        if (error)
            *error = QStringLiteral("%1: %2").arg(QLatin1String(call),
                                                  QString::fromLocal8Bit(std::strerror(errno)));
        if (terminal.slave >= 0)
            ::close(terminal.slave);
        if (terminal.master >= 0)
            ::close(terminal.master);
        return std::nullopt;
    };

    terminal.master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (terminal.master < 0)
        return fail("posix_openpt");
    if (::grantpt(terminal.master) != 0)
        return fail("grantpt");
    if (::unlockpt(terminal.master) != 0)
        return fail("unlockpt");
    char name[128];
    if (::ptsname_r(terminal.master, name, sizeof name) != 0)
        return fail("ptsname");
    terminal.slavePath = QString::fromLocal8Bit(name);

    terminal.slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (terminal.slave < 0)
        return fail("open");
    termios settings{};
    if (::tcgetattr(terminal.slave, &settings) != 0)
        return fail("tcgetattr");
    ::cfmakeraw(&settings);
    settings.c_cflag &= ~(CSTOPB | PARENB | CSIZE);
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    ::cfsetispeed(&settings, B9600);
    ::cfsetospeed(&settings, B9600);
    if (::tcsetattr(terminal.slave, TCSANOW, &settings) != 0)
        return fail("tcsetattr");
    return terminal;
}
