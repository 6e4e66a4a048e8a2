// SPDX-License-Identifier: MIT
// The window's own latencies over a pseudo-terminal, and its idle cost:
//   click -> first byte on the line  a mouse click on "IN2"/"IN1" of row "Out1", until the
//                                    Route frame can be read on the device side;
//   reply written -> window changed  an output record written on the device side with its line
//                                    end, until the route it reports is painted in the window;
//   reply without line end -> window the same record without its line end, which waits for the
//                                    receive settle time (part of this, by design);
//   CPU time in 10 s idle while connected.
//
//   bench_latency [clicks] [replies] [idle seconds, default 10]   (1000 or more samples each)

#include "appearance.h"
#include "benchstats.h"
#include "form1.h"
#include "mscomm.h"
#include "ptypair.h"
#include "windowcontrols.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QTest>

#include <QTimer>
#include <poll.h>

#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>

namespace {

double cpuMilliseconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval &t) { return double(t.tv_sec) * 1e3 + t.tv_usec / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

void processFor(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// Where an operator's click on a radio button lands: inside its indicator-and-label area.
QPoint clickPoint(QRadioButton *button)
{
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    return button->style()
        ->subElementRect(QStyle::SE_RadioButtonClickRect, &option, button)
        .center();
}

// Notes the moment the watched widget is next painted.
class PaintWatch : public QObject
{
public:
    QElapsedTimer *clock = nullptr;
    qint64 paintedAt = -1;
    bool armed = false;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (armed && event->type() == QEvent::Paint) {
            paintedAt = clock->nsecsElapsed();
            armed = false;
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

int main(int argc, char **argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const int clicks = latencySamples(argc > 1 ? std::atoi(argv[1]) : 0);
    const int replies = latencySamples(argc > 2 ? std::atoi(argv[2]) : 0);
    const int idleSeconds = argc > 3 ? std::atoi(argv[3]) : 10;

    QApplication app(argc, argv);
    setUpPanelAppearance();
    QTemporaryDir dir; // the COMPORT file goes here
    if (!dir.isValid() || !QDir::setCurrent(dir.path()))
        return 1;
    PtyPair device;
    if (!device.isValid()) {
        std::fprintf(stderr, "bench_latency: no pseudo-terminal\n");
        return 1;
    }
    PortMap ports;
    for (int port = 1; port <= 10; ++port)
        ports.map(port, device.slavePath());

    Form1 form(ports);
    form.Form_Load();
    form.show();
    processFor(300);
    if (!form.MSComm1->PortOpen()) {
        std::fprintf(stderr, "bench_latency: the window did not connect\n");
        return 1;
    }
    device.readAvailable();
    QElapsedTimer clock;
    clock.start();

    // Click -> first byte on the line. Alternate inputs so that every click changes the row.
    QList<double> clickMs;
    for (int i = 0; i < clicks; ++i) {
        QRadioButton *button = controls(form).Option3[(i + 1) % 2];
        const QPoint at = clickPoint(button);
        device.readAvailable();
        const qint64 start = clock.nsecsElapsed();
        QTest::mouseClick(button, Qt::LeftButton, {}, at);
        pollfd p{device.masterFd(), POLLIN, 0};
        while (::poll(&p, 1, 0) <= 0) {
            QCoreApplication::processEvents();
            if (clock.nsecsElapsed() - start > 1'000'000'000LL)
                break;
        }
        const qint64 end = clock.nsecsElapsed();
        if (!(p.revents & POLLIN)) {
            std::fprintf(stderr, "bench_latency: click %d sent nothing\n", i);
            return 1;
        }
        clickMs.append(double(end - start) / 1e6);
        processFor(2);
    }

    // Reply written -> window changed: the row "Out1" shows the reported input.
    const auto replyLatencies = [&](const QByteArray &lineEnd) {
        QList<double> latencies;
        PaintWatch watch;
        watch.clock = &clock;
        for (int i = 0; i < replies; ++i) {
            const int input = i % 2; // counted from 0 as on the line; the window's member index
            QRadioButton *target = controls(form).Option3[input];
            if (target->isChecked()) // make the reply a change
                controls(form).Option3[1 - input]->setChecked(true);
            processFor(2 * MSComm::settleMs);
            device.readAvailable();
            target->installEventFilter(&watch);
            bool toggled = false;
            const QMetaObject::Connection c =
                QObject::connect(target, &QRadioButton::toggled, &watch, [&](bool on) {
                    if (on) {
                        toggled = true;
                        watch.armed = true;
                    }
                });
            watch.paintedAt = -1;
            const qint64 start = clock.nsecsElapsed();
            device.write(QByteArray("s1") + char('0' + input) + lineEnd);
            while (watch.paintedAt < 0 && clock.nsecsElapsed() - start < 2'000'000'000LL)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            QObject::disconnect(c);
            target->removeEventFilter(&watch);
            if (!toggled || watch.paintedAt < 0) {
                std::fprintf(stderr, "bench_latency: reply %d did not change the window\n", i);
                std::exit(1);
            }
            latencies.append(double(watch.paintedAt - start) / 1e6);
        }
        return latencies;
    };
    const QList<double> completeMs = replyLatencies("\r\n");
    const QList<double> unendedMs = replyLatencies("");

    // CPU time while connected and idle.
    processFor(200);
    device.readAvailable();
    const double cpuBefore = cpuMilliseconds();
    QEventLoop idle;
    QTimer::singleShot(idleSeconds * 1000, &idle, &QEventLoop::quit);
    idle.exec();
    const double idleCpu = cpuMilliseconds() - cpuBefore;

    char value[128];
    char target[64];
    const double clickMedian = quantile(clickMs, 0.5);
    std::snprintf(value, sizeof value, "median %.3f ms, p99 %.3f ms (%d clicks)", clickMedian,
                  quantile(clickMs, 0.99), clicks);
    printRow("click -> first byte on the line", value, "median < 1 ms", clickMedian < 1.0);

    const double completeP99 = quantile(completeMs, 0.99);
    std::snprintf(value, sizeof value, "median %.2f ms, p99 %.2f ms (%d replies)",
                  quantile(completeMs, 0.5), completeP99, replies);
    printRow("reply with line end -> window changed", value, "p99 < 2 ms", completeP99 < 2.0);

    const double unendedP99 = quantile(unendedMs, 0.99);
    std::snprintf(value, sizeof value, "median %.1f ms, p99 %.1f ms (%d replies)",
                  quantile(unendedMs, 0.5), unendedP99, replies);
    std::snprintf(target, sizeof target, "p99 <= settle %d ms + 5 ms", MSComm::settleMs);
    printRow("reply without line end -> window changed", value, target,
             unendedP99 <= MSComm::settleMs + 5);

    std::snprintf(value, sizeof value, "%.1f ms in %d s", idleCpu, idleSeconds);
    printRow("CPU time idle while connected", value, "< 20 ms in 10 s",
             idleCpu < 20.0 * idleSeconds / 10.0);
    return 0;
}
