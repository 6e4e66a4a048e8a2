// SPDX-License-Identifier: MIT
// Start-up time and peak resident memory of the program users run, against a bare Qt Widgets
// window: each started as a fresh process, taking turns, so that all see the same machine state.
//
// - velquor, the window: `velquor --demo --control unix:...`, as the operator starts it (the
//   whole program: the emulated matrix, the surfaces' libraries, the window). Ready once it
//   answers "state" on its control socket: its event loop runs, after start-up opened the port
//   and the window was shown.
// - velquor --headless: the service without a window, with the socket, the page and MQTT on,
//   ready the same way.
// - bench_barewindow: an empty window of the panel's size, ready once it reports its first
//   frame; with --text one line of text, which pays for Qt's font set-up, for reference.
// Time runs from the spawn until ready; memory is the child's peak resident set (ru_maxrss at
// its end, after SIGTERM for velquor). Each runs in a scratch folder with a settings folder
// of its own, so that neither the user's settings nor COMPORT in the current folder are
// touched.
//
//   bench_startup [runs of each, default 15]
//   bench_startup --phases [runs, default 1]   the panel's steps in-process (bench_panelwindow)

#include "benchstats.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cerrno>
#include <fcntl.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
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

// How a child says it is ready.
enum class Ready {
    Shown,    // prints "shown" on standard output after its first frame, and ends
    Answers,  // answers "state" on the control socket at socketPath; ended with SIGTERM
};

// Connects to the control socket and asks for the state: true once an answer line came.
bool answersState(const QByteArray &socketPath)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.constData(), sizeof address.sun_path - 1);
    bool answered = false;
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
        ::write(fd, "state\n", 6) == 6) {
        char c = 0;
        while (::read(fd, &c, 1) == 1) {
            if (c == '\n') {
                answered = true;
                break;
            }
        }
    }
    ::close(fd);
    return answered;
}

Run runOnce(const QString &program, const QStringList &arguments, const QString &folder,
            Ready ready)
{
    Run run;
    int out[2];
    if (::pipe(out) != 0)
        return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    if (!phases) // the children's notes (the socket's address, Qt's) would drown the table
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const QByteArray path = QFile::encodeName(program);
    QList<QByteArray> words{path};
    for (const QString &argument : arguments)
        words.append(argument.toLocal8Bit());
    std::vector<char *> args;
    for (QByteArray &word : words)
        args.push_back(word.data());
    args.push_back(nullptr);
    const QByteArray socketPath = QFile::encodeName(folder + QStringLiteral("/velquor.sock"));
    ::unlink(socketPath.constData());
    const QByteArray previous = QFile::encodeName(QDir::currentPath());
    QDir::setCurrent(folder);

    QElapsedTimer clock;
    timespec spawnedAt{};
    ::clock_gettime(CLOCK_MONOTONIC, &spawnedAt);
    if (phases)
        qputenv("VELQUOR_BENCH_SPAWNED_NS",
                QByteArray::number(qint64(spawnedAt.tv_sec) * 1'000'000'000 + spawnedAt.tv_nsec));
    clock.start();
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, path.constData(), &actions, nullptr, args.data(), environ);
    QDir::setCurrent(QFile::decodeName(previous));
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (spawned != 0) {
        ::close(out[0]);
        return run;
    }
    bool isReady = false;
    if (ready == Ready::Shown) {
        char buffer[64];
        const ssize_t n = ::read(out[0], buffer, sizeof buffer); // blocks until "shown"
        isReady = n > 0 && QByteArray(buffer, int(n)).startsWith("shown");
    } else {
        // Tried again and again until it listens and answers; 100 µs apart, so that the
        // tries cost the child next to nothing.
        const QDeadlineTimer deadline(20000);
        while (!deadline.hasExpired() && !(isReady = answersState(socketPath))) {
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid) { // it ended without answering
                ::close(out[0]);
                return run;
            }
            ::usleep(100);
        }
    }
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    ::close(out[0]);
    if (ready == Ready::Answers)
        ::kill(pid, SIGTERM);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    if (isReady && WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        run.ms = ms;
        run.peakMiB = double(usage.ru_maxrss) / 1024.0;
    }
    return run;
}

struct Series
{
    QList<double> ms, mib;
    double medianMs() const { return quantile(ms, 0.5); }
    double medianMiB() const { return quantile(mib, 0.5); }
};

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
    const QString velquor = QStringLiteral(VELQUOR_PROGRAM);
    const QString bare = here + QStringLiteral("/bench_barewindow");
    QTemporaryDir scratch;
    if (!scratch.isValid())
        return 1;
    // The user's settings file stays out: a settings folder of the run's own, empty.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(scratch.filePath(QStringLiteral("config"))));
    const QString control = QStringLiteral("unix:") + scratch.filePath(QStringLiteral("velquor.sock"));

    if (phases) { // the in-process steps of the panel window, printed by the child
        for (int i = 0; i < runs; ++i)
            runOnce(here + QStringLiteral("/bench_panelwindow"), {}, scratch.path(), Ready::Shown);
        return 0;
    }

    struct Kind
    {
        QString program;
        QStringList arguments;
        Ready ready;
        Series series;
    };
    Kind kinds[] = {
        {velquor, {QStringLiteral("--demo"), QStringLiteral("--control"), control}, Ready::Answers, {}},
        // Every remote surface on: the page on a free port, MQTT trying a broker that is not
        // there (its library and its TLS set-up are loaded all the same).
        {velquor,
         {QStringLiteral("--demo"), QStringLiteral("--headless"), QStringLiteral("--control"),
          control, QStringLiteral("--web"), QStringLiteral("127.0.0.1:0"),
          QStringLiteral("--mqtt"), QStringLiteral("mqtt://127.0.0.1:9")},
         Ready::Answers,
         {}},
        {bare, {}, Ready::Shown, {}},
        {bare, {QStringLiteral("--text")}, Ready::Shown, {}},
    };
    // One of each first, not counted: the file cache and the font cache warm up.
    for (Kind &kind : kinds)
        runOnce(kind.program, kind.arguments, scratch.path(), kind.ready);
    for (int i = 0; i < runs; ++i) {
        for (Kind &kind : kinds) {
            const Run r = runOnce(kind.program, kind.arguments, scratch.path(), kind.ready);
            if (r.ms < 0) {
                std::fprintf(stderr, "bench_startup: %s %s was not ready (run %d)\n",
                             qPrintable(kind.program), qPrintable(kind.arguments.join(u' ')), i);
                return 1;
            }
            kind.series.ms << r.ms;
            kind.series.mib << r.peakMiB;
        }
    }
    const Series &window = kinds[0].series;
    const Series &headless = kinds[1].series;
    const Series &bareWindow = kinds[2].series;
    const Series &text = kinds[3].series;

    char value[200];
    const double timeRatio = window.medianMs() / bareWindow.medianMs();
    std::snprintf(value, sizeof value,
                  "velquor %.1f ms, bare window %.1f ms (medians of %d): ratio %.2f",
                  window.medianMs(), bareWindow.medianMs(), runs, timeRatio);
    printRow("start-up of velquor --demo, window shown and answering", value, "ratio <= 1.5",
             timeRatio <= 1.5);

    const double memoryRatio = window.medianMiB() / bareWindow.medianMiB();
    std::snprintf(value, sizeof value, "velquor %.1f MiB, bare window %.1f MiB: ratio %.2f",
                  window.medianMiB(), bareWindow.medianMiB(), memoryRatio);
    printRow("peak resident memory of velquor --demo", value, "ratio <= 1.3",
             memoryRatio <= 1.3);

    std::snprintf(value, sizeof value,
                  "velquor --demo --headless with the socket, the page and MQTT: %.1f ms, "
                  "%.1f MiB (medians of %d); window/headless: %.2f, %.2f",
                  headless.medianMs(), headless.medianMiB(), runs,
                  window.medianMs() / headless.medianMs(),
                  window.medianMiB() / headless.medianMiB());
    printRow("peak resident memory of the headless service, every surface on", value,
             "<= 16 MiB", headless.medianMiB() <= 16.0);

    std::snprintf(value, sizeof value,
                  "bare window with one line of text: %.1f ms, %.1f MiB; velquor/it: %.2f, %.2f",
                  text.medianMs(), text.medianMiB(), window.medianMs() / text.medianMs(),
                  window.medianMiB() / text.medianMiB());
    std::printf("ROW|(reference) start-up and memory|%s|none|-\n", value);
    return 0;
}
