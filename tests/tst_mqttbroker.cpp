// SPDX-License-Identifier: MIT
// The MQTT client against brokers and peers that misbehave: a fake broker on loopback for the
// faults a real one never makes, Debian's mosquitto for the ones it does (a session taken
// over, a message larger than the client takes).

#include "hostilebroker.h"
#include "mosquittobroker.h"
#include "mqttclient.h"
#include "mqttoutcome.h"
#include "scratchdir.h"

#include <QSignalSpy>
#include <QTest>

#include <mosquitto.h>

#include <netdb.h>

#include <memory>

using namespace Qt::StringLiterals;
using Misbehaviour = HostileBroker::Misbehaviour;

namespace {

MqttSettings settingsFor(quint16 port, const QString &id = u"hall"_s)
{
    MqttSettings settings;
    settings.host = u"127.0.0.1"_s;
    settings.port = port;
    settings.id = id;
    return settings;
}

// A client and what it said, started at once.
struct Watched
{
    explicit Watched(const MqttSettings &settings)
        : client(settings), connected(&client, &MqttClient::connected),
          retrying(&client, &MqttClient::retrying), failed(&client, &MqttClient::failed)
    {
        QString why;
        started = client.start(&why);
    }
    QString why(int i) const { return retrying.at(i).at(0).toString(); }
    int seconds(int i) const { return retrying.at(i).at(1).toInt(); }
    bool anotherClient(int i) const { return retrying.at(i).at(2).toBool(); }

    MqttClient client;
    QSignalSpy connected;
    QSignalSpy retrying;
    QSignalSpy failed;
    bool started = false;
};

} // namespace

class tst_MqttBroker : public QObject
{
    Q_OBJECT

private slots:
    void outcomes_data();
    void outcomes();
    void everyFaultIsTriedAgainLaterAndLonger_data();
    void everyFaultIsTriedAgainLaterAndLonger();
    void aBrokerOfMqtt311IsSpokenToInIt();
    void twoPanelsWithOneIdBackOffAndSayWhy();
    void aMessageLargerThanTheBoundNeverArrives();
    void aBrokerThatTakesNothingIsBoundedAndLeft();
};

void tst_MqttBroker::outcomes_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("error");
    QTest::addColumn<int>("refusal");
    QTest::addColumn<bool>("mqtt5");
    QTest::addColumn<int>("disconnect"); // the broker's reason, on an accepted connection
    QTest::addColumn<int>("retry");

    const int later = int(mqtt::Retry::Later);
    const int never = int(mqtt::Retry::Never);
    QTest::newRow("name server cannot answer yet") << int(MOSQ_ERR_EAI) << EAI_AGAIN << 0 << true
                                                   << 0 << later;
    QTest::newRow("no such host") << int(MOSQ_ERR_EAI) << EAI_NONAME << 0 << true << 0 << never;
    QTest::newRow("server unavailable, MQTT 5") << 0 << 0 << 0x88 << true << 0 << later;
    QTest::newRow("server unavailable, MQTT 3.1.1") << 0 << 0 << 3 << false << 0 << later;
    QTest::newRow("server busy") << 0 << 0 << 0x89 << true << 0 << later;
    QTest::newRow("bad password, MQTT 5") << 0 << 0 << 0x86 << true << 0 << never;
    QTest::newRow("bad password, MQTT 3.1.1") << 0 << 0 << 4 << false << 0 << never;
    QTest::newRow("id rejected") << 0 << 0 << 0x85 << true << 0 << never;
    QTest::newRow("MQTT 5 not spoken")
        << 0 << 0 << 0x84 << true << 0 << int(mqtt::Retry::AtOnceWithMqtt311);
    QTest::newRow("connection refused") << int(MOSQ_ERR_ERRNO) << ECONNREFUSED << 0 << true
                                        << 0 << later;
    QTest::newRow("session taken over") << int(MOSQ_ERR_NO_CONN) << 0 << 0 << true << 0x8E
                                        << later;
    QTest::newRow("certificate not trusted") << int(MOSQ_ERR_TLS) << 0 << 0 << true << 0 << never;
}

void tst_MqttBroker::outcomes()
{
    QFETCH(int, code);
    QFETCH(int, error);
    QFETCH(int, refusal);
    QFETCH(bool, mqtt5);
    QFETCH(int, disconnect);
    QFETCH(int, retry);
    mqtt::Failure failure;
    failure.disconnect = disconnect;
    failure.accepted = disconnect != 0;
    failure.code = code;
    failure.error = error;
    failure.refusal = refusal;
    failure.mqtt5 = mqtt5;
    const mqtt::Outcome outcome = mqtt::outcomeOf(failure);
    QCOMPARE(int(outcome.retry), retry);
    QVERIFY(!outcome.why.isEmpty());
    QCOMPARE(outcome.anotherClientLikely, disconnect == 0x8E);
}

void tst_MqttBroker::everyFaultIsTriedAgainLaterAndLonger_data()
{
    QTest::addColumn<Misbehaviour>("how");
    QTest::addColumn<int>("reason");
    QTest::addColumn<QString>("why");
    QTest::addColumn<bool>("anotherClient");

    QTest::newRow("garbage after CONNACK")
        << Misbehaviour::Garbage << 0 << u"not MQTT"_s << true;
    QTest::newRow("PUBLISH with an empty topic")
        << Misbehaviour::EmptyTopic << 0 << u"not MQTT"_s << true;
    QTest::newRow("PUBLISH with QoS 3") << Misbehaviour::QosThree << 0 << u"not MQTT"_s << true;
    QTest::newRow("closes right after accepting")
        << Misbehaviour::ClosesAfterConnack << 0 << u"right after accepting"_s << true;
    QTest::newRow("not an MQTT service")
        << Misbehaviour::NotMqtt << 0 << u"MQTT broker"_s << false;
    QTest::newRow("server unavailable")
        << Misbehaviour::Refuses << 0x88 << u"cannot take the connection now"_s << false;
    QTest::newRow("nothing listens")
        << Misbehaviour::NobodyListens << 0 << u"refused"_s << false;
}

void tst_MqttBroker::everyFaultIsTriedAgainLaterAndLonger()
{
    QFETCH(Misbehaviour, how);
    QFETCH(int, reason);
    QFETCH(QString, why);
    QFETCH(bool, anotherClient);
    HostileBroker broker(how, reason);
    Watched watched(settingsFor(broker.port()));
    QVERIFY(watched.started);
    QTRY_VERIFY_WITH_TIMEOUT(watched.retrying.size() >= 2, 8000);
    if (how != Misbehaviour::NobodyListens)
        QVERIFY(broker.connections() >= 2); // it came back after the fault
    QVERIFY2(watched.why(0).contains(why), qPrintable(watched.why(0)));
    QCOMPARE(watched.anotherClient(0), anotherClient);
    QCOMPARE(watched.seconds(0), 1);
    QCOMPARE(watched.seconds(1), 2);
    QCOMPARE(watched.failed.size(), 0);
}

void tst_MqttBroker::aBrokerOfMqtt311IsSpokenToInIt()
{
    HostileBroker broker(Misbehaviour::Mqtt311Only);
    Watched watched(settingsFor(broker.port()));
    QVERIFY(watched.connected.wait(5000));
    QCOMPARE(broker.connections(), 2);
    QCOMPARE(watched.retrying.size(), 0);
}

void tst_MqttBroker::twoPanelsWithOneIdBackOffAndSayWhy()
{
    ScratchDir dir;
    MosquittoBroker mosquitto(dir.path());
    QVERIFY(mosquitto.start());
    Watched first(settingsFor(mosquitto.port()));
    QVERIFY(first.connected.wait(5000));
    Watched second(settingsFor(mosquitto.port()));
    // Each takes the session from the other in turn, and each waits longer every time.
    QTRY_VERIFY_WITH_TIMEOUT(first.retrying.size() >= 2, 10000);
    QVERIFY2(first.why(0).contains(u"right after accepting"_s), qPrintable(first.why(0)));
    QVERIFY(first.anotherClient(0));
    QCOMPARE(first.seconds(0), 1);
    QCOMPARE(first.seconds(1), 2);
}

void tst_MqttBroker::aMessageLargerThanTheBoundNeverArrives()
{
    ScratchDir dir;
    MosquittoBroker mosquitto(dir.path());
    QVERIFY(mosquitto.start());
    Watched panel(settingsFor(mosquitto.port(), u"panel"_s));
    QVERIFY(panel.connected.wait(5000));
    QSignalSpy messages(&panel.client, &MqttClient::message);
    QVERIFY(panel.client.subscribe({u"hall/#"_s}));
    Watched sender(settingsFor(mosquitto.port(), u"sender"_s));
    QVERIFY(sender.connected.wait(5000));
    QTest::qWait(200); // the subscription is in place
    QVERIFY(sender.client.publish("hall/big", QByteArray(MqttClient::maxPacketBytes + 1, 'x'),
                                  false));
    QVERIFY(sender.client.publish("hall/small", "1", false));
    QTRY_COMPARE(messages.size(), 1);
    QCOMPARE(messages.first().first().toByteArray(), QByteArray("hall/small"));
}

void tst_MqttBroker::aBrokerThatTakesNothingIsBoundedAndLeft()
{
    HostileBroker broker(Misbehaviour::TakesNothing);
    MqttClient client(settingsFor(broker.port()));
    client.setStallTimeout(1500);
    QSignalSpy connected(&client, &MqttClient::connected);
    QSignalSpy retrying(&client, &MqttClient::retrying);
    QString why;
    QVERIFY(client.start(&why));
    QVERIFY(connected.wait(5000));
    int taken = 0;
    for (int i = 0; i < MqttClient::maxWaiting + 50; ++i)
        taken += client.publish("hall/state", QByteArray(1000, 'x'), true) ? 1 : 0;
    QCOMPARE(taken, MqttClient::maxWaiting);
    QVERIFY(client.isFull());
    QTRY_VERIFY_WITH_TIMEOUT(!retrying.isEmpty(), 5000);
    QVERIFY2(retrying.first().first().toString().contains(u"took nothing"_s),
             qPrintable(retrying.first().first().toString()));
    QTRY_COMPARE_WITH_TIMEOUT(broker.accepted(), 2, 5000); // a new connection, and room again
    QVERIFY(QTest::qWaitFor([&] { return client.publish("hall/state", "1", true); }));
}

QTEST_GUILESS_MAIN(tst_MqttBroker)
#include "tst_mqttbroker.moc"
