// SPDX-License-Identifier: MIT
// The MQTT surface through Debian's mosquitto on loopback, against the real window on a
// pseudo-terminal:
//
//   a command published on the broker (output/1/route/set) -> its Route frame on the line;
//   a reply on the line (s1<k>) -> the retained route state at a subscriber, timed in the
//   subscriber's own thread as its message arrives.
//
//   bench_mqtt [samples, 1000 or more]

#include "appearance.h"
#include "benchstats.h"
#include "form1.h"
#include "mosquittobroker.h"
#include "mqttclient.h"
#include "mqttsurface.h"
#include "mscomm.h"
#include "panelcontrol.h"
#include "ptypair.h"
#include "windowcontrols.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <poll.h>

namespace {

void processFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

MqttSettings clientSettings(quint16 port, const QString &id)
{
    MqttSettings settings;
    settings.host = QStringLiteral("127.0.0.1");
    settings.port = port;
    settings.id = id;
    settings.base = QStringLiteral("velquor/bench");
    settings.discovery = QStringLiteral("homeassistant");
    return settings;
}

bool waitFor(const std::function<bool()> &done, qint64 timeoutNs, const QElapsedTimer &clock)
{
    const qint64 start = clock.nsecsElapsed();
    while (!done()) {
        if (clock.nsecsElapsed() - start > timeoutNs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    return true;
}

int fail(const char *why)
{
    std::fprintf(stderr, "bench_mqtt: %s\n", why);
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const int samples = latencySamples(argc > 1 ? std::atoi(argv[1]) : 0);

    QApplication app(argc, argv);
    setUpPanelAppearance();
    QTemporaryDir dir; // the COMPORT file and the broker's configuration go here
    if (!dir.isValid() || !QDir::setCurrent(dir.path()))
        return fail("no scratch directory");
    MosquittoBroker broker(dir.path());
    if (!broker.start())
        return fail("mosquitto did not start");
    PtyPair device;
    if (!device.isValid())
        return fail("no pseudo-terminal");
    PortMap ports;
    ports.map(1, device.slavePath());
    Form1 form(ports);
    form.Form_Load();
    processFor(300);
    if (!form.MSComm1->PortOpen())
        return fail("the window did not connect");
    PanelControl control(form.model());
    MqttSurface surface(control, clientSettings(broker.port(), QStringLiteral("bench")));
    QSignalSpy republished(&surface, &MqttSurface::republished);
    QString why;
    if (!surface.start(&why) || !republished.wait(5000))
        return fail("the surface did not connect");

    // Home Assistant's side: a publisher here, a subscriber in a thread of its own.
    MqttClient publisher(clientSettings(broker.port(), QStringLiteral("bench-publisher")));
    QSignalSpy publisherUp(&publisher, &MqttClient::connected);
    if (!publisher.start(&why) || !publisherUp.wait(5000))
        return fail("the publisher did not connect");
    QThread subscriberThread;
    subscriberThread.start();
    auto *subscriber = new MqttClient(clientSettings(broker.port(), QStringLiteral("bench-sub")));
    subscriber->moveToThread(&subscriberThread);
    QElapsedTimer clock;
    clock.start();
    std::atomic<qint64> arrivedAt{-1};
    std::atomic<int> arrivedInput{-1};
    std::atomic<bool> subscribed{false};
    const QByteArray routeTopic = "velquor/bench/output/1/route";
    QObject::connect(subscriber, &MqttClient::connected, subscriber, [&, subscriber] {
        subscribed = subscriber->subscribe({QString::fromUtf8(routeTopic)});
    });
    QObject::connect(subscriber, &MqttClient::message, subscriber,
                     [&](const QByteArray &topic, const QByteArray &payload, bool) {
                         if (topic != routeTopic || !payload.startsWith("IN"))
                             return;
                         arrivedInput = payload.mid(2).toInt();
                         arrivedAt = clock.nsecsElapsed();
                     });
    QMetaObject::invokeMethod(subscriber, [subscriber, &why] { subscriber->start(&why); });
    if (!waitFor([&] { return subscribed.load(); }, 5'000'000'000LL, clock))
        return fail("the subscriber did not connect");
    processFor(200);

    // Command on the broker -> frame on the line.
    QList<double> commandMs;
    for (int i = 0; i < samples; ++i) {
        const QByteArray input = "IN" + QByteArray::number(1 + i % 2);
        device.readAvailable();
        const qint64 start = clock.nsecsElapsed();
        publisher.publish("velquor/bench/output/1/route/set", input, false);
        pollfd p{device.masterFd(), POLLIN, 0};
        if (!waitFor([&] { return ::poll(&p, 1, 0) > 0; }, 2'000'000'000LL, clock))
            return fail("a command put nothing on the line");
        commandMs.append(double(clock.nsecsElapsed() - start) / 1e6);
        processFor(2);
    }

    // Reply on the line -> retained state at the subscriber. Each reply changes the row.
    QList<double> replyMs;
    for (int i = 0; i < samples; ++i) {
        const int input = i % 2; // counted from 0, as on the line
        QRadioButton *other = controls(form).Option3[1 - input];
        if (!other->isChecked())
            other->setChecked(true);
        processFor(2 * MSComm::settleMs);
        device.readAvailable();
        arrivedAt = -1;
        arrivedInput = -1;
        const qint64 start = clock.nsecsElapsed();
        device.write(QByteArray("s1") + char('0' + input) + "\r\n");
        if (!waitFor([&] { return arrivedInput.load() == input + 1; }, 2'000'000'000LL, clock))
            return fail("a reply never reached the subscriber");
        replyMs.append(double(arrivedAt.load() - start) / 1e6);
    }
    QMetaObject::invokeMethod(
        subscriber, [subscriber] { delete subscriber; }, Qt::BlockingQueuedConnection);
    subscriberThread.quit();
    subscriberThread.wait();

    char value[128];
    const double commandP99 = quantile(commandMs, 0.99);
    std::snprintf(value, sizeof value, "p50 %.2f ms, p99 %.2f ms (%d commands)",
                  quantile(commandMs, 0.5), commandP99, samples);
    printRow("MQTT command on the broker -> frame on the line", value, "p99 < 5 ms",
             commandP99 < 5.0);
    const double replyP99 = quantile(replyMs, 0.99);
    std::snprintf(value, sizeof value, "p50 %.2f ms, p99 %.2f ms (%d replies)",
                  quantile(replyMs, 0.5), replyP99, samples);
    printRow("reply on the line -> MQTT state at a subscriber", value, "p99 < 5 ms",
             replyP99 < 5.0);
    return 0;
}
