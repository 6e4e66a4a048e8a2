// SPDX-License-Identifier: MIT
// The control socket under load: 16 clients at once, 1000 commands each, every client sending
// its next command as soon as the answer to the one before has come (as velquor-ctl or a
// control surface does), against the real window on a pseudo-terminal.
//
//   every command answered "ok", and the frames on the line exactly the commands, in order
//   per client: each client's commands make frames no other client's make (a fixed address
//   that carries the client and the command's number, and a Route of the client's own output
//   and input), so each client's frames can be picked out of the line and compared;
//   the window's event-loop lag meanwhile: a 5 ms timer in the window's thread, and how late
//   each of its ticks comes.
//
//   bench_control [commands per client, default 1000]

#include "appearance.h"
#include "benchstats.h"
#include "controlserver.h"
#include "form1.h"
#include "framereader.h"
#include "frames.h"
#include "mscomm.h"
#include "panelcontrol.h"
#include "ptypair.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int clientCount = ControlServer::maxClients;

QByteArray command(int client, int i)
{
    if (i % 2 == 0)
        return QStringLiteral("address 10.%1.%2.%3").arg(client).arg(i >> 8).arg(i & 255).toUtf8();
    return QStringLiteral("route %1 %2").arg(client / 4 + 1).arg(client % 4 + 1).toUtf8();
}

QByteArray frameOf(int client, int i)
{
    if (i % 2 == 0)
        return frames::SetFixedAddress({10, quint8(client), quint8(i >> 8), quint8(i & 255)});
    return frames::Route(client / 4, client % 4);
}

// Whose command made the frame: -1 for none of them.
int clientOf(const QByteArray &frame)
{
    if (frame.size() == 8 && frame[2] == 0x31 && frame[3] == 10)
        return quint8(frame[4]);
    if (frame.size() == 5 && frame[2] == 0x19 && quint8(frame[3]) < 0x40)
        return (quint8(frame[3]) >> 4) * 4 + (frame[3] & 0x0f);
    return -1;
}

void processFor(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// Reads the device's side of the line in a thread of its own, so the line never fills.
class LineReader
{
public:
    explicit LineReader(int fd) : m_fd(fd), m_thread([this] { run(); }) {}
    ~LineReader() { stop(); }
    void stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    QByteArray bytes()
    {
        const std::lock_guard lock(m_mutex);
        return m_bytes;
    }

private:
    void run()
    {
        char buffer[4096];
        while (!m_stop) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n > 0) {
                const std::lock_guard lock(m_mutex);
                m_bytes.append(buffer, n);
            }
        }
    }

    int m_fd;
    std::atomic<bool> m_stop = false;
    std::mutex m_mutex;
    QByteArray m_bytes;
    std::thread m_thread;
};

struct ClientRun
{
    int answered = 0;
    int refused = 0;
    QByteArray firstRefusal;
};

} // namespace

int main(int argc, char **argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const int perClient = argc > 1 ? std::max(2, std::atoi(argv[1])) : 1000;

    QApplication app(argc, argv);
    setUpPanelAppearance();
    QTemporaryDir dir; // the COMPORT file goes here
    if (!dir.isValid() || !QDir::setCurrent(dir.path()))
        return 1;
    PtyPair device;
    if (!device.isValid()) {
        std::fprintf(stderr, "bench_control: no pseudo-terminal\n");
        return 1;
    }
    PortMap ports;
    ports.map(1, device.slavePath());
    Form1 form(ports);
    PanelControl control(form.model());
    ControlServer server(control);
    QString why;
    if (!server.listen(*ListenAddress::parse(QStringLiteral("0")), &why)) {
        std::fprintf(stderr, "bench_control: %s\n", qPrintable(why));
        return 1;
    }
    form.Form_Load();
    form.show();
    processFor(300);
    if (!form.MSComm1->PortOpen()) {
        std::fprintf(stderr, "bench_control: the window did not connect\n");
        return 1;
    }
    device.readAvailable();
    LineReader line(device.masterFd());

    // The window's event-loop lag: how late each tick of a 5 ms timer comes.
    QList<double> lagMs;
    QElapsedTimer tickClock;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout, &app, [&] {
        lagMs.append(std::max(0.0, double(tickClock.nsecsElapsed()) / 1e6 - 5.0));
        tickClock.restart();
    });

    // Idle lag first, for comparison.
    tickClock.start();
    ticker.start();
    processFor(1000);
    const QList<double> idleLag = lagMs;
    lagMs.clear();

    // The clients, in a thread of their own.
    QThread clientThread;
    QObject clients;
    clients.moveToThread(&clientThread);
    clientThread.start();
    std::vector<ClientRun> runs(clientCount);
    std::atomic<int> finished = 0;
    QEventLoop loadDone;
    QElapsedTimer loadClock;
    const quint16 port = server.address().port;
    loadClock.start();
    QMetaObject::invokeMethod(&clients, [&] {
        for (int c = 0; c < clientCount; ++c) {
            auto *socket = new QTcpSocket(&clients);
            socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            QObject::connect(socket, &QTcpSocket::connected, socket,
                             [socket, c] { socket->write(command(c, 0) + '\n'); });
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [&, socket, c] {
                ClientRun &run = runs[c];
                while (socket->canReadLine()) {
                    const QByteArray answer = socket->readLine().trimmed();
                    if (answer != "ok" && run.refused++ == 0)
                        run.firstRefusal = answer;
                    if (++run.answered < perClient) {
                        socket->write(command(c, run.answered) + '\n');
                    } else if (++finished == clientCount) {
                        QMetaObject::invokeMethod(&loadDone, &QEventLoop::quit,
                                                  Qt::QueuedConnection);
                    }
                }
            });
            socket->connectToHost(QHostAddress::LocalHost, port);
        }
    });
    QTimer::singleShot(180'000, &loadDone, &QEventLoop::quit);
    tickClock.restart();
    loadDone.exec();
    const double loadSeconds = double(loadClock.nsecsElapsed()) / 1e9;
    ticker.stop();
    const QList<double> loadLag = lagMs;
    QMetaObject::invokeMethod(
        &clients, [&] { qDeleteAll(clients.children()); }, Qt::BlockingQueuedConnection);
    clientThread.quit();
    clientThread.wait();

    processFor(500); // the last frames reach the device's side
    line.stop();

    int answered = 0;
    int refused = 0;
    QByteArray firstRefusal;
    for (const ClientRun &run : runs) {
        answered += run.answered;
        refused += run.refused;
        if (firstRefusal.isEmpty())
            firstRefusal = run.firstRefusal;
    }
    FrameReader reader;
    const QList<QByteArray> sent = reader.feed(line.bytes());
    std::vector<QList<QByteArray>> perClientFrames(clientCount);
    int strangers = 0;
    for (const QByteArray &frame : sent) {
        const int c = clientOf(frame);
        if (c < 0 || c >= clientCount)
            ++strangers;
        else
            perClientFrames[c].append(frame);
    }
    int inOrder = 0;
    for (int c = 0; c < clientCount; ++c) {
        QList<QByteArray> expected;
        for (int i = 0; i < perClient; ++i)
            expected.append(frameOf(c, i));
        if (perClientFrames[c] == expected)
            ++inOrder;
    }

    const int total = clientCount * perClient;
    const bool allAnswered = answered == total && refused == 0;
    const bool framesRight = inOrder == clientCount && strangers == 0 && sent.size() == total &&
                             reader.skippedCount() == 0;
    char measure[96];
    char value[256];
    std::snprintf(measure, sizeof measure, "control socket: %d clients x %d commands", clientCount,
                  perClient);
    std::snprintf(value, sizeof value,
                  "%d of %d answered ok in %.1f s (%.0f commands/s); %lld frames on the line, "
                  "%d of %d clients' frames exactly in order%s%s",
                  answered - refused, total, loadSeconds, answered / loadSeconds,
                  qlonglong(sent.size()), inOrder, clientCount, firstRefusal.isEmpty() ? "" : "; ",
                  firstRefusal.constData());
    printRow(measure, value, "all answered ok, frames = commands in order",
             allAnswered && framesRight);

    const double p99 = quantile(loadLag, 0.99);
    std::snprintf(value, sizeof value,
                  "p50 %.2f ms, p99 %.2f ms, max %.1f ms (%lld ticks); idle p99 %.2f ms",
                  quantile(loadLag, 0.5), p99, quantile(loadLag, 1.0), qlonglong(loadLag.size()),
                  quantile(idleLag, 0.99));
    printRow("window event-loop lag under that load", value, "p99 < 20 ms", p99 < 20.0);
    return 0;
}
