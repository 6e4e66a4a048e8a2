// SPDX-License-Identifier: MIT
#include "ser2net.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

quint16 freeLoopbackPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

bool startOnFreePorts(bool *started, const std::function<bool()> &startOnce,
                      const std::function<void()> &choosePorts)
{
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (startOnce()) {
            *started = true;
            return true;
        }
        if (*started)
            return false;
        choosePorts();
    }
    return false;
}

RefusingLoopbackPort::RefusingLoopbackPort()
{
    m_socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_socket < 0 || ::bind(m_socket, reinterpret_cast<sockaddr *>(&address), length) != 0 ||
        ::getsockname(m_socket, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return;
    m_port = ntohs(address.sin_port);
}

RefusingLoopbackPort::~RefusingLoopbackPort()
{
    if (m_socket >= 0)
        ::close(m_socket);
}

bool listensOnLoopback(qint64 pid, quint16 port)
{
    QFile table(u"/proc/net/tcp"_s);
    if (!table.open(QIODevice::ReadOnly))
        return false;
    const QByteArray local =
        "0100007F:" + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    QByteArray socket;
    for (const QByteArray &line : table.readAll().split('\n')) {
        // sl local rem st queues timer retransmits uid timeout inode ...; 0A is LISTEN.
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 9 && fields[1] == local && fields[3] == "0A") {
            socket = "socket:[" + fields[9] + ']';
            break;
        }
    }
    if (socket.isEmpty())
        return false;
    const QString descriptors = u"/proc/%1/fd"_s.arg(pid);
    const QStringList entries = QDir(descriptors).entryList(QDir::Files | QDir::System);
    for (const QString &entry : entries) {
        char target[64];
        const QByteArray path = QFile::encodeName(descriptors + u'/' + entry);
        const ssize_t n = ::readlink(path.constData(), target, sizeof target);
        if (n > 0 && QByteArray(target, int(n)) == socket)
            return true;
    }
    return false;
}

Ser2net::Ser2net(const QString &folder, const QString &device)
    : m_config(folder + u"/ser2net.yaml"_s), m_device(device), m_rawPort(freeLoopbackPort()),
      m_telnetPort(freeLoopbackPort())
{
    while (m_telnetPort == m_rawPort)
        m_telnetPort = freeLoopbackPort();
    writeConfig();
}

void Ser2net::writeConfig()
{
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
                       .arg(m_device)
                       .toUtf8());
}

Ser2net::~Ser2net()
{
    stop();
}

bool Ser2net::start()
{
    // ser2net runs without an accepter whose port was taken meanwhile: other ports then.
    return startOnFreePorts(
        &m_started, [this] { return startOnce(); },
        [this] {
            stop();
            m_rawPort = freeLoopbackPort();
            do
                m_telnetPort = freeLoopbackPort();
            while (m_telnetPort == m_rawPort);
            writeConfig();
        });
}

bool Ser2net::startOnce()
{
    const QString program = QStandardPaths::findExecutable(u"ser2net"_s);
    if (program.isEmpty())
        return false;
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(program, {u"-n"_s, u"-d"_s, u"-u"_s, u"-c"_s, m_config});
    if (!m_process.waitForStarted())
        return false;
    const qint64 pid = m_process.processId();
    // Both accepters listen within moments, or one port was taken: ser2net says so and runs
    // on without it.
    for (int i = 0; i < 500 && m_process.state() == QProcess::Running; ++i) {
        if (listensOnLoopback(pid, m_rawPort) && listensOnLoopback(pid, m_telnetPort))
            return true;
        if (m_process.peek(1 << 16).contains("Address already in use"))
            return false;
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
