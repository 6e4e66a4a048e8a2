// SPDX-License-Identifier: MIT
#include "framereader.h"

namespace {
constexpr char startMarker = char(0x55);
constexpr char endMarker = char(0x77);
constexpr char borderReset = 0x04;
} // namespace

QList<QByteArray> FrameReader::feed(QByteArrayView bytes)
{
    QList<QByteArray> frames;
    // One byte at a time, judging the pending bytes after each, so they never exceed
    // maxFrameSize. After a skipped byte the rest is judged again from its new first byte; it
    // may then hold a whole shorter frame and more.
    for (const char byte : bytes) {
        m_pending.append(byte);
        while (!m_pending.isEmpty()) {
            qsizetype size = 0;
            const Verdict verdict = check(&size);
            if (verdict == Verdict::NeedMore)
                break;
            if (verdict == Verdict::Complete) {
                frames.append(m_pending.first(size));
                m_pending.remove(0, size);
            } else {
                m_pending.remove(0, 1);
                ++m_skipped;
            }
        }
    }
    return frames;
}

QList<QByteArray> FrameReader::expire()
{
    if (m_pending.isEmpty())
        return {};
    const QByteArray rest = m_pending.mid(1);
    m_pending.clear();
    ++m_skipped;
    return feed(rest);
}

void FrameReader::clear()
{
    m_pending.clear();
    m_skipped = 0;
}

FrameReader::Verdict FrameReader::check(qsizetype *frameSize) const
{
    const qsizetype size = m_pending.size();
    const int length = m_pending.at(0);
    if (length != 4 && length != 5 && length != 8)
        return Verdict::NotAFrame;
    if (size < 2)
        return Verdict::NeedMore;
    if (m_pending.at(1) != startMarker)
        return Verdict::NotAFrame;
    // 05 55 04 77: BorderReset's length byte says 5 but the frame ends after four bytes. No
    // five-byte frame has command 0x04, so these three bytes always mean the short frame.
    if (length == 5 && size >= 3 && m_pending.at(2) == borderReset) {
        if (size < 4)
            return Verdict::NeedMore;
        *frameSize = 4;
        return m_pending.at(3) == endMarker ? Verdict::Complete : Verdict::NotAFrame;
    }
    if (size < length)
        return Verdict::NeedMore;
    *frameSize = length;
    return m_pending.at(length - 1) == endMarker ? Verdict::Complete : Verdict::NotAFrame;
}
