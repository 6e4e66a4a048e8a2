// SPDX-License-Identifier: MIT
// velquor-emulator: the matrix on a pseudo-terminal, for trying the panel without the device.
// Prints the terminal to give the panel (velquor --port COM1=<path>) and takes one-line
// commands on standard input that act as the device's other users would.

#include "console.h"
#include "ptyhost.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTextStream>

#include <cerrno>
#include <unistd.h>

namespace {

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

// Reply text as it goes on the line, with CR LF shown.
QString shown(const QByteArray &bytes)
{
    QString text = QString::fromLatin1(bytes);
    text.replace(QLatin1String("\r"), QLatin1String("\\r"))
        .replace(QLatin1String("\n"), QLatin1String("\\n"));
    return text;
}

class Emulator : public QObject
{
public:
    Emulator(const QString &link, bool trace, const LineDelivery &delivery)
        : m_link(link), m_trace(trace)
    {
        m_host.setDelivery(delivery);
        connect(&m_host, &PtyHost::opened, this, &Emulator::announce);
        connect(&m_host, &PtyHost::hungUp, this, [] { out() << "line dropped" << Qt::endl; });
        if (m_trace) {
            connect(&m_host, &PtyHost::frameReceived, this, [](const QByteArray &frame) {
                out() << "<- " << QString::fromLatin1(frame.toHex(' ')) << Qt::endl;
            });
            connect(&m_host, &PtyHost::replySent, this,
                    [](const QByteArray &reply) { out() << "-> " << shown(reply) << Qt::endl; });
        }
    }

    bool start()
    {
        QString error;
        if (!m_host.open(&error)) {
            QTextStream(stderr) << "velquor-emulator: cannot open a pseudo-terminal: " << error
                                << Qt::endl;
            return false;
        }
        m_console = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
        connect(m_console, &QSocketNotifier::activated, this, &Emulator::readConsole);
        return true;
    }

    void removeLink()
    {
        if (ownsLink())
            QFile::remove(m_link);
    }

private:
    void announce(const QString &path)
    {
        QString target = path;
        if (!m_link.isEmpty()) {
            // Only a link of ours is replaced; a file of the user's at that path stays.
            const QFileInfo existing(m_link);
            const bool free = existing.isSymLink() || !existing.exists();
            if (free)
                QFile::remove(m_link);
            if (free && QFile::link(path, m_link))
                target = m_link;
            else
                out() << "cannot create the link " << m_link << " (a file is in the way?)"
                      << Qt::endl;
        }
        out() << "matrix on " << path << Qt::endl
              << "connect the panel with: velquor --port COM1=" << target << Qt::endl;
    }

    void readConsole()
    {
        char buffer[1024];
        const ssize_t count = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (count < 0 && (errno == EINTR || errno == EAGAIN))
            return;
        if (count <= 0) { // end of input: as "quit"
            m_console->setEnabled(false);
            QCoreApplication::quit();
            return;
        }
        m_line.append(buffer, count);
        qsizetype end;
        while ((end = m_line.indexOf('\n')) >= 0) {
            const QString line = QString::fromLocal8Bit(m_line.first(end));
            m_line.remove(0, end + 1);
            run(line);
        }
        if (m_line.size() > 4096) { // no command is that long
            out() << "line too long, ignored" << Qt::endl;
            m_line.clear();
        }
    }

    void run(const QString &line)
    {
        using Action = ConsoleCommand::Action;
        QString error;
        const auto command = parseConsoleCommand(line, &error);
        if (!command) {
            out() << error << Qt::endl;
            return;
        }
        switch (command->action) {
        case Action::Help:
            out() << consoleHelp() << Qt::flush;
            break;
        case Action::State:
            out() << describeState(m_host.model()) << "delivery: " << m_host.delivery().toString()
                  << ", silence: " << (m_host.isSilent() ? "on" : "off")
                  << ", junk: " << (m_host.isGarbled() ? "on" : "off") << Qt::endl;
            break;
        case Action::Delivery:
            m_host.carryOut(*command);
            out() << "delivery: " << m_host.delivery().toString() << Qt::endl;
            break;
        case Action::Silence:
            m_host.carryOut(*command);
            out() << "silence: " << (m_host.isSilent() ? "on" : "off") << Qt::endl;
            break;
        case Action::Garble:
            m_host.carryOut(*command);
            out() << "junk: " << (m_host.isGarbled() ? "on" : "off") << Qt::endl;
            break;
        case Action::Hangup:
            m_host.hangUp();
            if (!m_host.open(&error))
                out() << "cannot open a fresh terminal: " << error << Qt::endl;
            break;
        case Action::Quit:
            QCoreApplication::quit();
            break;
        case Action::None:
            break;
        default:
            m_host.carryOut(*command);
            break;
        }
    }

    bool ownsLink() const
    {
        const QFileInfo link(m_link);
        return !m_link.isEmpty() && link.isSymLink() && link.symLinkTarget() == m_host.slavePath();
    }

    PtyHost m_host;
    QString m_link;
    bool m_trace = false;
    QSocketNotifier *m_console = nullptr;
    QByteArray m_line;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velquor-emulator"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELQUOR_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral(
            "An emulated 4x4 HDMI matrix on a pseudo-terminal, for the Velquor panel.\n\n") +
        consoleHelp());
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption link(
        QStringLiteral("link"),
        QStringLiteral("Keep a symbolic link at <path> to the current terminal."),
        QStringLiteral("path"));
    const QCommandLineOption quiet(
        QStringLiteral("quiet"),
        QStringLiteral("Do not print the frames and replies on the line."));
    const QCommandLineOption delivery(
        QStringLiteral("delivery"),
        QStringLiteral("How the replies reach the panel: usb (the default: 9600 baud, handed over "
                       "every 16 ms as a USB serial adapter does), instant, bytes (one at a time "
                       "at line pace) or chunks:N/M (N bytes every M ms); +gap:MS after any of "
                       "them adds a pause after each reply."),
        QStringLiteral("how"), QStringLiteral("usb"));
    parser.addOption(link);
    parser.addOption(quiet);
    parser.addOption(delivery);
    parser.process(app);
    QString why;
    const std::optional<LineDelivery> chosen = LineDelivery::parse(parser.value(delivery), &why);
    if (!chosen) {
        QTextStream(stderr) << "velquor-emulator: " << why << Qt::endl;
        return 2;
    }

    Emulator emulator(parser.value(link), !parser.isSet(quiet), *chosen);
    if (!emulator.start())
        return 1;
    out() << "type \"help\" for the commands" << Qt::endl;
    const int result = app.exec();
    emulator.removeLink();
    return result;
}
