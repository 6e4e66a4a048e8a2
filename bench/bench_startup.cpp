// SPDX-License-Identifier: MIT
// Start-up to first shown frame and peak resident memory: the panel (bench_panelwindow) and a
// bare Qt Widgets window (bench_barewindow), each started as a fresh process, taking turns, so
// that both see the same machine state. Time runs from the spawn until the child reports its
// first frame; memory is the child's peak resident set (ru_maxrss at its end). A third
// program, the bare window with one line of text, is measured alongside for reference: the
// first text a process shows costs it Qt's font set-up, which the bare window never does.
//
//   bench_startup [runs of each, default 15]     (both programs next to this one)
//   bench_startup --phases [runs, default 1]     with the time of each step of each run

#include "benchstats.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

bool phases = false;

struct Run
{
    double ms = -1;
    double peakMiB = 0;
};

Run runOnce(const QString &program, const QString &workingDirectory, const char *argument = nullptr)
{
    Run run;
    int out[2];
    if (::pipe(out) != 0)
        return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const QByteArray path = QFile::encodeName(program);
    const QByteArray previous = QFile::encodeName(QDir::currentPath());
    QDir::setCurrent(workingDirectory);
    char *const args[] = {const_cast<char *>(path.constData()), const_cast<char *>(argument),
                          nullptr};

    QElapsedTimer clock;
    timespec spawnedAt{};
    ::clock_gettime(CLOCK_MONOTONIC, &spawnedAt);
    if (phases)
        qputenv("VELQUOR_BENCH_SPAWNED_NS",
                QByteArray::number(qint64(spawnedAt.tv_sec) * 1'000'000'000 + spawnedAt.tv_nsec));
    clock.start();
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, path.constData(), &actions, nullptr, args, environ);
    QDir::setCurrent(QFile::decodeName(previous));
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (spawned != 0) {
        ::close(out[0]);
        return run;
    }
    char buffer[64];
    const ssize_t n = ::read(out[0], buffer, sizeof buffer); // blocks until "shown"
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    ::close(out[0]);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    if (n > 0 && QByteArray(buffer, int(n)).startsWith("shown") && WIFEXITED(status) &&
        WEXITSTATUS(status) == 0) {
        run.ms = ms;
        run.peakMiB = double(usage.ru_maxrss) / 1024.0;
    }
    return run;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    phases = argc > 1 && qstrcmp(argv[1], "--phases") == 0;
    const int runs = phases     ? (argc > 2 ? std::atoi(argv[2]) : 1)
                     : argc > 1 ? std::atoi(argv[1])
                                : 15;
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const QString here = QCoreApplication::applicationDirPath();
    const QString panel = here + QStringLiteral("/bench_panelwindow");
    const QString bare = here + QStringLiteral("/bench_barewindow");
    QTemporaryDir scratch;
    if (!scratch.isValid())
        return 1;

    QList<double> panelMs, bareMs, textMs, panelMiB, bareMiB, textMiB;
    // One of each first, not counted: the file cache and the font cache warm up.
    runOnce(panel, scratch.path());
    runOnce(bare, scratch.path());
    runOnce(bare, scratch.path(), "--text");
    for (int i = 0; i < runs; ++i) {
        const Run p = runOnce(panel, scratch.path());
        const Run b = runOnce(bare, scratch.path());
        const Run t = runOnce(bare, scratch.path(), "--text");
        if (p.ms < 0 || b.ms < 0 || t.ms < 0) {
            std::fprintf(stderr, "bench_startup: a window did not show (run %d)\n", i);
            return 1;
        }
        panelMs << p.ms;
        bareMs << b.ms;
        panelMiB << p.peakMiB;
        bareMiB << b.peakMiB;
        textMs << t.ms;
        textMiB << t.peakMiB;
    }

    char value[160];
    const double timeRatio = quantile(panelMs, 0.5) / quantile(bareMs, 0.5);
    std::snprintf(value, sizeof value, "velquor %.1f ms, bare %.1f ms (medians of %d): ratio %.2f",
                  quantile(panelMs, 0.5), quantile(bareMs, 0.5), runs, timeRatio);
    printRow("start-up to first shown frame", value, "ratio <= 1.5", timeRatio <= 1.5);

    const double memoryRatio = quantile(panelMiB, 0.5) / quantile(bareMiB, 0.5);
    std::snprintf(value, sizeof value, "velquor %.1f MiB, bare %.1f MiB: ratio %.2f",
                  quantile(panelMiB, 0.5), quantile(bareMiB, 0.5), memoryRatio);
    printRow("peak resident memory", value, "ratio <= 1.3", memoryRatio <= 1.3);

    std::snprintf(value, sizeof value,
                  "bare window with one line of text: %.1f ms, %.1f MiB; velquor/it: %.2f, %.2f",
                  quantile(textMs, 0.5), quantile(textMiB, 0.5),
                  quantile(panelMs, 0.5) / quantile(textMs, 0.5),
                  quantile(panelMiB, 0.5) / quantile(textMiB, 0.5));
    std::printf("ROW|(reference) start-up and memory|%s|none|-\n", value);
    return 0;
}
