// SPDX-License-Identifier: MIT
#include "mosquittobroker.h"

#include "ser2net.h"

#include <QFile>
#include <QTest>

using namespace Qt::StringLiterals;

MosquittoBroker::MosquittoBroker(const QString &folder, const QString &user,
                                 const QString &password)
    : m_folder(folder), m_config(folder + u"/mosquitto.conf"_s), m_port(freeLoopbackPort())
{
    // The listener's line comes first and is written at start(), with the port of the day.
    QByteArray config = "persistence false\nlog_dest stdout\n"
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
    m_settings = config;
}

QString MosquittoBroker::useTls()
{
    const auto openssl = [this](const QStringList &arguments) {
        QProcess run;
        run.setWorkingDirectory(m_folder);
        run.start(u"openssl"_s, arguments);
        return run.waitForFinished(30000) && run.exitStatus() == QProcess::NormalExit &&
               run.exitCode() == 0;
    };
    QFile ext(m_folder + u"/server.ext"_s);
    if (!ext.open(QIODevice::WriteOnly) || ext.write("subjectAltName=IP:127.0.0.1\n") < 0)
        return {};
    ext.close();
    const bool made =
        openssl({u"req"_s, u"-x509"_s, u"-newkey"_s, u"rsa:2048"_s, u"-nodes"_s, u"-days"_s, u"2"_s,
                 u"-subj"_s, u"/CN=velquor test CA"_s, u"-keyout"_s, u"ca.key"_s, u"-out"_s,
                 u"ca.crt"_s}) &&
        openssl({u"req"_s, u"-newkey"_s, u"rsa:2048"_s, u"-nodes"_s, u"-subj"_s, u"/CN=127.0.0.1"_s,
                 u"-keyout"_s, u"server.key"_s, u"-out"_s, u"server.csr"_s}) &&
        openssl({u"x509"_s, u"-req"_s, u"-in"_s, u"server.csr"_s, u"-CA"_s, u"ca.crt"_s,
                 u"-CAkey"_s, u"ca.key"_s, u"-CAcreateserial"_s, u"-days"_s, u"2"_s, u"-extfile"_s,
                 u"server.ext"_s, u"-out"_s, u"server.crt"_s});
    if (!made)
        return {};
    const QByteArray folder = QFile::encodeName(m_folder);
    m_settings += "cafile " + folder + "/ca.crt\ncertfile " + folder + "/server.crt\nkeyfile " +
                  folder + "/server.key\n";
    return m_folder + u"/ca.crt"_s;
}

MosquittoBroker::~MosquittoBroker()
{
    stop();
}

bool MosquittoBroker::start()
{
    // mosquitto ends at once when its port was taken meanwhile: another port then.
    return startOnFreePorts(
        &m_started, [this] { return startOnce(); },
        [this] {
            stop();
            m_port = freeLoopbackPort();
        });
}

bool MosquittoBroker::startOnce()
{
    QFile file(m_config);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write("listener " + QByteArray::number(m_port) + " 127.0.0.1\n" + m_settings) < 0)
        return false;
    file.close();
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(u"/usr/sbin/mosquitto"_s, {u"-c"_s, m_config});
    if (!m_process.waitForStarted())
        return false;
    // Its own listener, not somebody else's on the same port.
    const qint64 pid = m_process.processId();
    for (int i = 0; i < 500 && m_process.state() == QProcess::Running; ++i) {
        if (listensOnLoopback(pid, m_port))
            return true;
        QTest::qWait(10);
    }
    return false;
}

void MosquittoBroker::stop()
{
    endPeerProcess(m_process);
}

QString MosquittoBroker::url(const QString &user, const QString &password) const
{
    const QString who = user.isEmpty() ? QString() : user + u':' + password + u'@';
    return u"mqtt://"_s + who + u"127.0.0.1:"_s + QString::number(m_port);
}
