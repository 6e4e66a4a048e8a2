// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QtGlobal>

// Debian's MQTT broker, /usr/sbin/mosquitto, on a free port of 127.0.0.1, for the tests and
// the benchmarks of the MQTT surface. Anonymous clients are let in, or with a user and a
// password only that user (a password file made with mosquitto_passwd). Nothing is kept on
// disk: a restart forgets the retained messages. Its files live in the folder given.
class MosquittoBroker
{
public:
    explicit MosquittoBroker(const QString &folder, const QString &user = {},
                             const QString &password = {});
    // Before start(): the listener speaks TLS only, with a certificate for 127.0.0.1 from a
    // CA made here by openssl; returns the CA's file, empty when openssl failed.
    QString useTls();
    ~MosquittoBroker();
    MosquittoBroker(const MosquittoBroker &) = delete;
    MosquittoBroker &operator=(const MosquittoBroker &) = delete;

    // Starts it in the foreground and waits until it listens; again after stop(), on the same
    // port. The first start moves to another port when the chosen one was taken meanwhile.
    bool start();
    void stop();
    quint16 port() const { return m_port; }
    // mqtt://[USER:PASSWORD@]127.0.0.1:PORT, with the user and password given.
    QString url(const QString &user = {}, const QString &password = {}) const;
    QByteArray log() { return m_process.readAll(); }

private:
    bool startOnce();

    QString m_folder;
    QString m_config;
    QByteArray m_settings; // all but the listener's line
    quint16 m_port;
    bool m_started = false;
    QProcess m_process;
};
