// SPDX-License-Identifier: MIT
#include "ptyhost.h"

#include "linenoise.h"
#include "pseudoterminal.h"

#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <termios.h>
#include <unistd.h>

PtyHost::PtyHost(QObject *parent)
    : QObject(parent), m_handOverTimer(new QTimer(this)), m_frameTimer(new QTimer(this))
{
    m_clock.start();
    m_handOverTimer->setSingleShot(true);
    m_handOverTimer->setTimerType(Qt::PreciseTimer);
    m_frameTimer->setSingleShot(true);
    m_frameTimer->setInterval(frameTimeout);
    connect(m_handOverTimer, &QTimer::timeout, this, &PtyHost::handOver);
    connect(m_frameTimer, &QTimer::timeout, this, [this] {
        handleFrames(m_reader.expire());
        if (m_reader.pendingSize() > 0)
            m_frameTimer->start();
    });
}

PtyHost::~PtyHost()
{
    closeTerminal();
}

bool PtyHost::open(QString *error)
{
    if (isOpen())
        hangUp();
    const std::optional<PseudoTerminal> terminal = openPseudoTerminal(error);
    if (!terminal)
        return false;
    // The host keeps its own hold on the slave side: without it the master reports a hang-up
    // (EIO, and a notifier firing without end) before the panel opens the terminal and after
    // it closes it.
    m_master = terminal->master;
    m_slave = terminal->slave;
    m_slavePath = terminal->slavePath;

    m_readNotifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &PtyHost::readMaster);
    emit opened(m_slavePath);
    return true;
}

void PtyHost::hangUp()
{
    if (!isOpen())
        return;
    closeTerminal();
    emit hungUp();
}

void PtyHost::push(const MatrixModel::Replies &replies)
{
    if (!isOpen())
        return;
    for (const QByteArray &reply : replies) {
        if (m_silent) { // lost on the way, as with a cut wire
            emit replySent(reply);
            continue;
        }
        if (!m_pacer.send(m_garbled ? linenoise::atAnotherBaudRate(reply) : reply, nowUs())) {
            ++m_lostReplies;
            continue;
        }
        emit replySent(reply);
        handOver(); // what is due now leaves room for the next reply
    }
}

void PtyHost::sendJunk(int count)
{
    if (!isOpen() || m_silent)
        return;
    // What does not fit in the device's send buffer is lost, as a reply would be.
    const QByteArray noise = linenoise::junk(count);
    constexpr qsizetype piece = 64;
    for (qsizetype at = 0; at < noise.size(); at += piece) {
        if (!m_pacer.send(QByteArrayView(noise).sliced(at, std::min(piece, noise.size() - at)),
                          nowUs()))
            break;
    }
    handOver();
}

void PtyHost::carryOut(const ConsoleCommand &command)
{
    using Action = ConsoleCommand::Action;
    switch (command.action) {
    case Action::Delivery:
        setDelivery(command.delivery);
        break;
    case Action::Silence:
        setSilent(command.value == 1);
        break;
    case Action::Junk:
        sendJunk(command.value);
        break;
    case Action::Garble:
        setGarbled(command.value == 1);
        break;
    default:
        push(applyConsoleCommand(m_model, command));
        break;
    }
}

void PtyHost::readMaster()
{
    char buffer[512];
    for (;;) {
        const ssize_t count = ::read(m_master, buffer, sizeof buffer);
        if (count > 0) {
            handleFrames(m_reader.feed(QByteArrayView(buffer, count)));
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        // End of file or an error on our own master: the terminal is gone.
        hangUp();
        return;
    }
    if (m_reader.pendingSize() > 0)
        m_frameTimer->start();
    else
        m_frameTimer->stop();
}

void PtyHost::handleFrames(const QList<QByteArray> &frames)
{
    for (const QByteArray &frame : frames) {
        emit frameReceived(frame);
        push(m_model.handleFrame(frame));
        if (!isOpen())
            return;
    }
}

qint64 PtyHost::nowUs() const
{
    return m_clock.nsecsElapsed() / 1000;
}

void PtyHost::handOver()
{
    if (!isOpen())
        return;
    const QByteArray bytes = m_pacer.take(nowUs());
    if (!bytes.isEmpty()) {
        writeOut(bytes);
        emit written(bytes);
    }
    scheduleHandOver();
}

void PtyHost::scheduleHandOver()
{
    const qint64 due = m_pacer.nextTakeUs();
    if (due < 0 || !isOpen()) {
        m_handOverTimer->stop();
        return;
    }
    const qint64 waitUs = std::max<qint64>(0, due - nowUs());
    m_handOverTimer->start(int((waitUs + 999) / 1000));
}

void PtyHost::writeOut(const QByteArray &bytes)
{
    qsizetype done = 0;
    bool flushed = false;
    while (done < bytes.size()) {
        const ssize_t count =
            ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (count > 0) {
            done += count;
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        const bool full = count == 0 || errno == EAGAIN || errno == EWOULDBLOCK;
        if (full && !flushed) {
            // The terminal's input queue is full: nobody has read the panel's side for a
            // while. A device's line does not keep what no receiver took, so throw the old
            // bytes away and send the new ones.
            ::tcflush(m_slave, TCIFLUSH);
            ++m_flushes;
            flushed = true;
            continue;
        }
        return; // the line is gone; readMaster() notices the hang-up
    }
}

void PtyHost::closeTerminal()
{
    delete m_readNotifier;
    m_readNotifier = nullptr;
    m_handOverTimer->stop();
    m_frameTimer->stop();
    m_pacer.clear();
    m_reader.clear();
    if (m_master >= 0)
        ::close(m_master);
    if (m_slave >= 0)
        ::close(m_slave);
    m_master = -1;
    m_slave = -1;
}
