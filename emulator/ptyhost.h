// SPDX-License-Identifier: MIT
#pragma once

// Serves a MatrixModel on a pseudo-terminal, so that the panel (or anything that opens a serial
// port) talks to it as to the device on an RS-232 line.
//
// The host holds the master side; slavePath() is the terminal the panel opens. The line is raw
// and 9600 8N1 is accepted. Bytes from the panel go through a FrameReader into the model; the
// model's replies go back as a device sends them, back to back, and a pseudo-terminal having no
// baud timing of its own, a LinePacer gives them the line's: by default at 9600 baud, handed
// over every 16 ms as a USB serial adapter does (setDelivery() chooses another delivery).
// The host keeps the terminal's slave side open as well: a master whose slave is closed reports
// a hang-up, and the panel may connect and disconnect as often as it likes.
//
// Everything runs in the thread's event loop (QSocketNotifier, QTimer); POSIX only.

#include "console.h"
#include "framereader.h"
#include "linepacer.h"
#include "matrixmodel.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>

class QSocketNotifier;
class QTimer;

class PtyHost : public QObject
{
    Q_OBJECT

public:
    static constexpr int frameTimeout = 100; // ms of quiet after which a partial frame is noise

    explicit PtyHost(QObject *parent = nullptr);
    ~PtyHost() override;

    // Opens a fresh terminal (hanging up the current one first). On failure *error says why.
    bool open(QString *error = nullptr);
    // Drops the line: closes the terminal, so the panel's side reads end of file or EIO.
    // Answers not yet sent are discarded.
    void hangUp();
    bool isOpen() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }

    MatrixModel &model() { return m_model; }
    const MatrixModel &model() const { return m_model; }

    // Sends replies unprompted (a change made at the device). Queued behind any answer still
    // being sent; nothing is sent while the line is down. A reply that finds the device's send
    // buffer full (LinePacer::capacity) is lost, as are answers to frames that come faster
    // than the line carries them.
    void push(const MatrixModel::Replies &replies);

    // While silent, nothing the device sends reaches the panel: answers and reports are lost
    // on the way, as with a cut wire; the device still takes every frame.
    bool isSilent() const { return m_silent; }
    void setSilent(bool silent) { m_silent = silent; }
    // While garbled, every reply reaches the panel as noise, as from a device that runs at
    // another baud rate (linenoise).
    bool isGarbled() const { return m_garbled; }
    void setGarbled(bool garbled) { m_garbled = garbled; }
    // Sends count bytes of noise now, behind any answer still being sent (not while silent).
    void sendJunk(int count);

    // Carries out a console command that acts on the matrix or on the line, as the device's
    // other users or a bad line would: a change of the model, with what the device reports
    // about it, or Delivery, Silence, Junk and Garble. The console's own commands (state,
    // help, quit, hangup) are left to the console.
    void carryOut(const ConsoleCommand &command);

    // How the replies reach the panel; applies to what is sent from now on.
    LineDelivery delivery() const { return m_pacer.delivery(); }
    void setDelivery(const LineDelivery &delivery) { m_pacer.setDelivery(delivery); }
    // Nothing is waiting to be handed to the panel's side.
    bool isIdle() const { return m_pacer.isEmpty(); }

    // How often the terminal's queue was full of bytes nobody read on the panel's side, and
    // they were thrown away to make room, as a line does not keep what no receiver took.
    int flushCount() const { return m_flushes; }
    // How many replies were lost for want of room in the device's send buffer.
    int lostReplies() const { return m_lostReplies; }

signals:
    void opened(const QString &slavePath);
    void frameReceived(const QByteArray &frame);
    void replySent(const QByteArray &reply); // the device has started sending it
    void written(const QByteArray &bytes);   // handed to the panel's side of the line
    void hungUp();

private:
    void readMaster();
    void handleFrames(const QList<QByteArray> &frames);
    void handOver();
    void scheduleHandOver();
    qint64 nowUs() const;
    void writeOut(const QByteArray &bytes);
    void closeTerminal();

    MatrixModel m_model;
    FrameReader m_reader;
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
    QSocketNotifier *m_readNotifier = nullptr;
    QTimer *m_handOverTimer = nullptr;
    QTimer *m_frameTimer = nullptr;
    LinePacer m_pacer;
    QElapsedTimer m_clock;
    int m_flushes = 0;
    bool m_silent = false;
    bool m_garbled = false;
    int m_lostReplies = 0;
};
