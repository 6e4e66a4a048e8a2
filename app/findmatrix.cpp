// SPDX-License-Identifier: MIT
#include "findmatrix.h"

#include "matrixfinder.h"

#include <QCoreApplication>
#include <QThread>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace findmatrix {

namespace {

// The operator's "y" or "yes" on standard input; anything else, or none, is no.
bool operatorAgrees(bool one)
{
    std::fputs(one ? "Write to it? [y/N] " : "Write to them? [y/N] ", stderr);
    std::fflush(stderr);
    char answer[16] = {};
    if (!std::fgets(answer, sizeof answer, stdin))
        return false;
    answer[std::strcspn(answer, "\r\n")] = '\0';
    return std::strcmp(answer, "y") == 0 || std::strcmp(answer, "Y") == 0 ||
           std::strcmp(answer, "yes") == 0;
}

} // namespace

int run(int &argc, char **argv, const PortMap &ports, bool confirmed)
{
    QCoreApplication app(argc, argv);
    const QStringList devices = devicesToVisit(findSerialDevices(), ports);
    if (devices.isEmpty()) {
        std::fputs("velquor: no serial device to ask: none is found, and the port map names "
                   "none\n",
                   stderr);
        return 1;
    }
    const bool one = devices.size() == 1;
    const QByteArray which =
        one ? QByteArray("this device")
            : "each of these " + QByteArray::number(devices.size()) + " devices";
    std::fprintf(stderr,
                 "velquor: Find the matrix writes four bytes (04 55 20 77, a status request) to "
                 "%s at 9600 8N1 and listens %d ms for an answer:\n",
                 which.constData(), MatrixFinder::listenMs);
    for (const QString &device : devices)
        std::fprintf(stderr, "  %s\n", qPrintable(device));
    if (!confirmed && !operatorAgrees(one)) {
        std::fputs("velquor: nothing written\n", stderr);
        return 1;
    }

    MatrixFinder finder;
    QObject::connect(&finder, &MatrixFinder::finished, &app, &QCoreApplication::quit);
    finder.start(devices);
    if (finder.isRunning())
        app.exec();
    for (int i = 0; i < devices.size(); ++i)
        std::printf("%s\t%s\n", qPrintable(devices.at(i)), qPrintable(finder.verdict(i)->text()));
    const int status = finder.foundMatrix() ? 0 : 1;
    // The probes close their devices once their verdict is in; a moment for the last ones.
    for (int wait = 0; wait < 40 && MatrixFinder::probesStillRunning() > 0; ++wait)
        QThread::msleep(5);
    if (MatrixFinder::probesStillRunning() > 0) {
        // A device hangs in the system; its probe cannot be waited for, nor ended in order.
        std::fflush(stdout);
        std::fflush(stderr);
        std::_Exit(status);
    }
    return status;
}

} // namespace findmatrix
