// SPDX-License-Identifier: MIT
#include "ser2net.h"

#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// Whether something listens on 127.0.0.1:port, read from the kernel's table (connecting to
// find out would open the line at the far end).
bool listensOnLoopback(quint16 port)
{
    QFile table(u"/proc/net/tcp"_s);
    if (!table.open(QIODevice::ReadOnly))
        return false;
    const QByteArray local =
        "0100007F:" + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    for (const QByteArray &line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 3 && fields[1] == local && fields[3] == "0A")
            return true;
    }
    return false;
}

} // namespace

quint16 freeLoopbackPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

Ser2net::Ser2net(const QString &folder, const QString &device)
    : m_config(folder + u"/ser2net.yaml"_s), m_rawPort(freeLoopbackPort()),
      m_telnetPort(freeLoopbackPort())
{
    while (m_telnetPort == m_rawPort)
        m_telnetPort = freeLoopbackPort();
    QFile file(m_config);
    if (file.open(QIODevice::WriteOnly))
        file.write(QStringLiteral("connection: &raw\n"
                                  "  accepter: tcp,127.0.0.1,%1\n"
                                  "  connector: serialdev,%3,9600n81,local\n"
                                  "connection: &rfc2217\n"
                                  "  accepter: telnet(rfc2217),tcp,127.0.0.1,%2\n"
                                  "  connector: serialdev,%3,4800e72,local\n")
                       .arg(m_rawPort)
                       .arg(m_telnetPort)
                       .arg(device)
                       .toUtf8());
}

Ser2net::~Ser2net()
{
    stop();
}

bool Ser2net::start()
{
    const QString program = QStandardPaths::findExecutable(u"ser2net"_s);
    if (program.isEmpty())
        return false;
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(program, {u"-n"_s, u"-d"_s, u"-u"_s, u"-c"_s, m_config});
    if (!m_process.waitForStarted())
        return false;
    for (int i = 0; i < 500 && m_process.state() == QProcess::Running; ++i) {
        if (listensOnLoopback(m_rawPort) && listensOnLoopback(m_telnetPort))
            return true;
        QTest::qWait(10);
    }
    return false;
}

void endPeerProcess(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished();
    }
}

void Ser2net::stop()
{
    endPeerProcess(m_process);
}

QString Ser2net::entry(bool rfc2217) const
{
    return rfc2217 ? u"rfc2217://127.0.0.1:%1"_s.arg(m_telnetPort)
                   : u"tcp://127.0.0.1:%1"_s.arg(m_rawPort);
}
