// SPDX-License-Identifier: MIT
#pragma once

#include "replylines.h"

#include <QByteArray>
#include <QMetaObject>
#include <QObject>

class QIODevice;
class QTimer;

// Reads what the device sends from an open QIODevice and hands it over one reply line at a
// time: lineReady() once for every line, in arrival order, each taken with takeLine().
//
// The device answers back to back, and the line hands over what has arrived in pieces: a
// UART interrupts every few bytes, a USB adapter delivers every 16 ms, so one read may hold
// part of a reply or several replies. What arrives is cut at line ends (ReplyLines) and
// every complete line is ready at once. Text with no line end yet waits until the line has
// been quiet for settleMs, and at the latest maxDelayMs after its first byte, so a flood
// cannot hold the reader off; then it is handed over as it stands.
//
// One line at a time, and always from the event loop: lineReady() is never raised inside the
// device's own readyRead (a modal box opened by the receiver would otherwise run inside that
// signal, and QSerialPort does not signal what arrives while its readyRead is still being
// handled), nor while a receiver of lineReady() runs already, nor while a hold is in force.
// Lines that arrive meanwhile wait and are handed over in order afterwards. A line that the
// receiver does not take stays first and waits for the next takeLine().
class ReplyPump : public QObject
{
    Q_OBJECT

public:
    static constexpr int settleMs = 30;
    static constexpr int maxDelayMs = 200;

    explicit ReplyPump(QObject *parent = nullptr);

    // Reads device from now on; nullptr reads nothing. Whatever was still waiting, ready or
    // not, is dropped: it came from the previous device.
    void setDevice(QIODevice *device);

    // The oldest ready line without its line end, or at most maxBytes of it (the rest stays
    // first in line); empty when no line is ready.
    QByteArray takeLine(qsizetype maxBytes = -1);

    // While held (the calls nest), lineReady() is not raised; the lines that arrive wait. The
    // last release hands them over in order once control is back in the event loop.
    void holdReplies();
    void releaseReplies();

signals:
    void lineReady();

private:
    bool reading() const;
    void onReadyRead();
    void endWaitingText();
    void stopTimers();
    void postDelivery();
    void deliverLines();

    QIODevice *m_device = nullptr;
    QMetaObject::Connection m_readyRead;
    ReplyLines m_lines;
    QTimer *m_settle = nullptr;   // restarted by every piece that leaves text waiting
    QTimer *m_deadline = nullptr; // started by the first byte of the waiting text
    int m_holds = 0;
    bool m_delivering = false;
    bool m_deliveryPosted = false;
    quint64 m_bytesTaken = 0; // by takeLine(), so that delivery sees whether a line was taken
};
