// SPDX-License-Identifier: MIT
#pragma once

// The emulated line's timing: how the device's bytes reach the panel.
//
// A device sends its replies back to back at the pace of the line (9600 baud, 8N1: ten bits,
// about 1.04 ms a byte), and what sits between it and the program decides how the bytes are
// handed over: a USB serial adapter collects them and hands over what has arrived every
// 16 ms, a plain UART about byte by byte. LinePacer is that timing as pure code: replies go
// in with the time they were sent, and take() gives what the panel's side receives at a
// given time. The clock is the caller's (microseconds), so the timing can be tested without
// waiting.
//
// The device holds at most capacity bytes it has not yet sent, about a second of the line: a
// reply that does not fit behind them is lost whole, as a device asked more often than its
// line can answer loses what its send buffer cannot take.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <optional>

struct LineDelivery
{
    int bytesPerWrite = 0;   // at most this many bytes are handed over at once; 0: no limit
    int writeIntervalMs = 0; // handed over on a grid of this many ms; 0: as soon as arrived
    bool linePace = false;   // bytes take the line's time to arrive, 9600 baud 8N1
    int replyGapMs = 0;      // quiet the device leaves after each reply line

    // What a USB serial adapter does with a device: line pace, handed over every 16 ms.
    static LineDelivery usbAdapter() { return {0, 16, true, 0}; }
    // Everything at once, the moment the device sends it.
    static LineDelivery allAtOnce() { return {}; }
    // Line pace, each byte as it arrives.
    static LineDelivery byteByByte() { return {1, 0, true, 0}; }
    // count bytes every intervalMs, no line pace.
    static LineDelivery chunks(int count, int intervalMs) { return {count, intervalMs, false, 0}; }

    // "usb", "instant", "bytes" or "chunks:N/M" (N bytes every M ms); with "+gap:MS" after
    // any of them for a pause after each reply. nullopt and *error for anything else.
    static std::optional<LineDelivery> parse(const QString &text, QString *error = nullptr);
    // The same form back, for the console's "state".
    QString toString() const;

    bool operator==(const LineDelivery &) const = default;
};

class LinePacer
{
public:
    static constexpr qint64 byteUs = 10'000'000 / 9600; // ten bits a byte at 9600 baud
    static constexpr qsizetype capacity = 1024;

    explicit LinePacer(const LineDelivery &delivery = LineDelivery::usbAdapter())
        : m_delivery(delivery)
    {
    }

    // Takes effect for the bytes sent from now on.
    void setDelivery(const LineDelivery &delivery) { m_delivery = delivery; }
    const LineDelivery &delivery() const { return m_delivery; }

    // The device sends bytes (one or more replies) at nowUs, behind what it is still sending;
    // false, and nothing is kept, when they do not fit in what is left of its capacity.
    bool send(QByteArrayView bytes, qint64 nowUs);
    // What the panel's side is handed at nowUs (empty when nothing is due).
    QByteArray take(qint64 nowUs);
    // When take() next hands something over; -1 when nothing is waiting.
    qint64 nextTakeUs() const;

    bool isEmpty() const { return m_bytes.isEmpty(); }
    qsizetype waitingBytes() const { return m_bytes.size(); }
    void clear();

private:
    LineDelivery m_delivery;
    QByteArray m_bytes;       // sent, not yet handed over
    QList<qint64> m_arrivals; // when each of them has arrived at the panel's end
    qint64 m_lineFreeUs = 0;  // when the line has finished what was sent so far
    qint64 m_lastTakeUs = -1;
};
