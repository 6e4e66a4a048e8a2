// SPDX-License-Identifier: MIT
#pragma once

// Cuts the panel's command frames out of the byte stream that arrives on the line.
//
// A frame is [length byte 4, 5 or 8] [0x55] [command] [parameters] [0x77], with no checksum;
// the one exception is BorderReset, the four bytes 05 55 04 77. Bytes arrive in any pieces: a
// frame split over several reads is joined, several frames in one read come out one by one.
// Bytes that cannot start a frame are skipped one at a time until a frame lines up again.
// At most one partial frame is held (fewer than maxFrameSize bytes), whatever arrives.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

class FrameReader
{
public:
    static constexpr qsizetype maxFrameSize = 8;

    // Takes the next bytes from the line; returns the frames they complete, in order.
    QList<QByteArray> feed(QByteArrayView bytes);

    // For the line gone quiet with a frame begun: a byte that seemed to start a frame was
    // noise (08 55 then a StatusRequest would otherwise wait for four more bytes). Discards the
    // first pending byte and judges the rest anew; returns the frames that completes.
    QList<QByteArray> expire();

    // Bytes of a frame begun but not yet complete.
    qsizetype pendingSize() const { return m_pending.size(); }
    // Bytes thrown away as not belonging to any frame, since construction or clear().
    qsizetype skippedCount() const { return m_skipped; }

    void clear();

private:
    enum class Verdict { NeedMore, Complete, NotAFrame };
    // Judges the pending bytes from their first; on Complete, *frameSize is the frame's size.
    Verdict check(qsizetype *frameSize) const;

    QByteArray m_pending;
    qsizetype m_skipped = 0;
};
