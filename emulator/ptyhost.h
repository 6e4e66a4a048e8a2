#pragma once

// Serves a MatrixModel on a pseudo-terminal, so that the panel (or anything that opens a serial
// port) talks to it as to the device on an RS-232 line.
//
// The host holds the master side; slavePath() is the terminal the panel opens. The line is raw,
// 9600 8N1 is accepted, and bytes pass at once (a pseudo-terminal has no baud timing). Bytes
// from the panel go through a FrameReader into the model; the model's answer bursts go back one
// write each, with burstGap() of quiet between them, so each is read as a reply line of its own.
// The host keeps the terminal's slave side open as well: a master whose slave is closed reports
// a hang-up, and the panel may connect and disconnect as often as it likes.
//
// Everything runs in the thread's event loop (QSocketNotifier, QTimer); POSIX only.

#include "framereader.h"
#include "matrixmodel.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

class QSocketNotifier;
class QTimer;

class PtyHost : public QObject
{
    Q_OBJECT

public:
    static constexpr int defaultBurstGap = 60; // ms; the panel's settle time is 30 ms
    static constexpr int frameTimeout = 100;   // ms of quiet after which a partial frame is noise

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

    // Sends bursts unprompted (a change made at the device). Queued behind any answer still
    // being sent; nothing is sent while the line is down.
    void push(const MatrixModel::Bursts &bursts);

    int burstGap() const { return m_burstGap; }
    void setBurstGap(int milliseconds) { m_burstGap = milliseconds; }

    // How often the terminal's queue was full of bytes nobody read on the panel's side, and
    // they were thrown away to make room, as a line does not keep what no receiver took.
    int flushCount() const { return m_flushes; }

signals:
    void opened(const QString &slavePath);
    void frameReceived(const QByteArray &frame);
    void burstSent(const QByteArray &burst);
    void hungUp();

private:
    void readMaster();
    void handleFrames(const QList<QByteArray> &frames);
    void sendNextBurst();
    void writeOut(const QByteArray &bytes);
    void closeTerminal();

    MatrixModel m_model;
    FrameReader m_reader;
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
    QSocketNotifier *m_readNotifier = nullptr;
    QTimer *m_gapTimer = nullptr;
    QTimer *m_frameTimer = nullptr;
    QList<QByteArray> m_queue;
    int m_burstGap = defaultBurstGap;
    int m_flushes = 0;
};
