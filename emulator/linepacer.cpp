// SPDX-License-Identifier: MIT
#include "linepacer.h"

#include <QRegularExpression>

#include <algorithm>

namespace {

constexpr int maxBytesPerWrite = 65536;
constexpr int maxMs = 10'000;

std::optional<LineDelivery> fail(QString *error, const QString &text)
{
    if (error)
        *error = QStringLiteral("unknown delivery \"%1\" (usb, instant, bytes or chunks:N/M, "
                                "optionally followed by +gap:MS)")
                     .arg(text);
    return std::nullopt;
}

} // namespace

std::optional<LineDelivery> LineDelivery::parse(const QString &text, QString *error)
{
    static const QRegularExpression form(QStringLiteral(
        "^(usb|instant|bytes|chunks:([0-9]{1,5})/([0-9]{1,5}))(\\+gap:([0-9]{1,5}))?\\z"));
    const QRegularExpressionMatch match = form.match(text.trimmed().toLower());
    if (!match.hasMatch())
        return fail(error, text);
    LineDelivery delivery;
    const QString mode = match.captured(1);
    if (mode == QLatin1String("usb")) {
        delivery = usbAdapter();
    } else if (mode == QLatin1String("instant")) {
        delivery = allAtOnce();
    } else if (mode == QLatin1String("bytes")) {
        delivery = byteByByte();
    } else {
        const int count = match.captured(2).toInt();
        const int interval = match.captured(3).toInt();
        if (count < 1 || count > maxBytesPerWrite || interval > maxMs)
            return fail(error, text);
        delivery = chunks(count, interval);
    }
    if (match.hasCaptured(5)) {
        delivery.replyGapMs = match.captured(5).toInt();
        if (delivery.replyGapMs > maxMs)
            return fail(error, text);
    }
    return delivery;
}

QString LineDelivery::toString() const
{
    QString mode;
    if (linePace && bytesPerWrite == 0 && writeIntervalMs == 16)
        mode = QStringLiteral("usb");
    else if (!linePace && bytesPerWrite == 0 && writeIntervalMs == 0)
        mode = QStringLiteral("instant");
    else if (linePace && bytesPerWrite == 1 && writeIntervalMs == 0)
        mode = QStringLiteral("bytes");
    else
        mode = QStringLiteral("chunks:%1/%2").arg(bytesPerWrite).arg(writeIntervalMs);
    if (replyGapMs > 0)
        mode += QStringLiteral("+gap:%1").arg(replyGapMs);
    return mode;
}

bool LinePacer::send(QByteArrayView bytes, qint64 nowUs)
{
    if (m_bytes.size() + bytes.size() > capacity)
        return false;
    qint64 at = std::max(nowUs, m_lineFreeUs);
    for (const char c : bytes) {
        if (m_delivery.linePace)
            at += byteUs; // the byte is in once its stop bit is
        m_bytes.append(c);
        m_arrivals.append(at);
        if (c == '\n')
            at += qint64(m_delivery.replyGapMs) * 1000;
    }
    m_lineFreeUs = at;
    return true;
}

qint64 LinePacer::nextTakeUs() const
{
    if (m_bytes.isEmpty())
        return -1;
    const qint64 arrived = m_arrivals.first();
    const qint64 intervalUs = qint64(m_delivery.writeIntervalMs) * 1000;
    if (intervalUs == 0)
        return std::max(arrived, m_lastTakeUs);
    // Handed over on a fixed grid, as an adapter's latency timer does: the first grid point
    // that is past the last hand-over and not before the byte has arrived.
    const qint64 earliest = std::max(arrived, m_lastTakeUs + 1);
    return (earliest + intervalUs - 1) / intervalUs * intervalUs;
}

QByteArray LinePacer::take(qint64 nowUs)
{
    const qint64 due = nextTakeUs();
    if (due < 0 || nowUs < due)
        return {};
    qsizetype count = 0;
    const qsizetype limit =
        m_delivery.bytesPerWrite > 0 ? m_delivery.bytesPerWrite : m_bytes.size();
    while (count < m_bytes.size() && count < limit && m_arrivals.at(count) <= nowUs)
        ++count;
    m_lastTakeUs = m_delivery.writeIntervalMs > 0 ? due : nowUs;
    const QByteArray handed = m_bytes.first(count);
    m_bytes.remove(0, count);
    m_arrivals.remove(0, count);
    return handed;
}

void LinePacer::clear()
{
    m_bytes.clear();
    m_arrivals.clear();
    m_lineFreeUs = 0;
    m_lastTakeUs = -1;
}
