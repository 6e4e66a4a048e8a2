// SPDX-License-Identifier: MIT
#include "mosquittobroker.h"

#include "ser2net.h"

#include <QFile>
#include <QTcpSocket>
#include <QTest>

using namespace Qt::StringLiterals;

MosquittoBroker::MosquittoBroker(const QString &folder, const QString &user,
                                 const QString &password)
    : m_config(folder + u"/mosquitto.conf"_s), m_port(freeLoopbackPort())
{
    QByteArray config = "listener " + QByteArray::number(m_port) +
                        " 127.0.0.1\npersistence false\nlog_dest stdout\n"
                        // Run by root it would become the user mosquitto, who cannot read the
                        // test's folder.
                        "user root\n";
    if (user.isEmpty()) {
        config += "allow_anonymous true\n";
    } else {
        const QString passwords = folder + u"/passwords"_s;
        QProcess::execute(u"/usr/bin/mosquitto_passwd"_s,
                          {u"-c"_s, u"-b"_s, passwords, user, password});
        config += "allow_anonymous false\npassword_file " + QFile::encodeName(passwords) + '\n';
    }
    QFile file(m_config);
    if (file.open(QIODevice::WriteOnly))
        file.write(config);
}

MosquittoBroker::~MosquittoBroker()
{
    stop();
}

bool MosquittoBroker::start()
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(u"/usr/sbin/mosquitto"_s, {u"-c"_s, m_config});
    if (!m_process.waitForStarted())
        return false;
    for (int i = 0; i < 500 && m_process.state() == QProcess::Running; ++i) {
        QTcpSocket probe;
        probe.connectToHost(u"127.0.0.1"_s, m_port);
        if (probe.waitForConnected(100))
            return true;
        QTest::qWait(10);
    }
    return false;
}

void MosquittoBroker::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished();
    }
}

QString MosquittoBroker::url(const QString &user, const QString &password) const
{
    const QString who = user.isEmpty() ? QString() : user + u':' + password + u'@';
    return u"mqtt://"_s + who + u"127.0.0.1:"_s + QString::number(m_port);
}
