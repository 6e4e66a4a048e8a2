// SPDX-License-Identifier: MIT
#include "linehints.h"

#include "frames.h"
#include "linelog.h"
#include "linewords.h"
#include "replydecoder.h"
#include "vocabulary.h"

#include <QList>
#include <QTimer>

#include <optional>
#include <utility>

namespace {

const char noReplyText[] = "bytes arrive but none is a reply: baud rate or device?";
const char noAnswerText[] = "no answer: cable, adapter, or TX/RX swapped?";
const char changedElsewhereText[] = "changed at the device or by another controller";

struct SentRoute
{
    int row; // as in the frame: 0..3 for Out1..Out4, allRouteRow for "ALL"
    int input;
};

std::optional<SentRoute> routeOf(const QByteArray &frame)
{
    if (frame.size() != 5 || quint8(frame[2]) != 0x19)
        return std::nullopt;
    const int parameter = quint8(frame[3]);
    const SentRoute route{vocabulary::routeRowOf(parameter), vocabulary::routeInputOf(parameter)};
    if (frame != frames::Route(route.row, route.input))
        return std::nullopt;
    return route;
}

// The routes a reply line reports: (output 1..4, input 0..3), in the order the window
// applies them.
class RouteSink final : public ReplySink
{
public:
    QList<std::pair<int, int>> routes;

    void outputStatus(int output, int inputDigit) override
    {
        if (inputDigit < vocabulary::inputCount)
            routes.append({output, inputDigit});
    }
    void outputWithoutDisplay(int) override {}
    void wallInput(int) override {}
    void mode(int) override {}
    void resolution(int) override {}
    void addressConfirmed() override {}
};

} // namespace

LineHints::LineHints(LineLog &log, QObject *parent)
    : QObject(parent), m_noReply(new QTimer(this)), m_noAnswer(new QTimer(this))
{
    m_noReply->setSingleShot(true);
    m_noReply->setInterval(noReplyMs);
    m_noAnswer->setSingleShot(true);
    m_noAnswer->setInterval(noAnswerMs);
    connect(m_noReply, &QTimer::timeout, this,
            [this] { show(Case::NoReply, QString::fromUtf8(noReplyText)); });
    connect(m_noAnswer, &QTimer::timeout, this,
            [this] { show(Case::NoAnswer, QString::fromUtf8(noAnswerText)); });

    connect(&log, &LineLog::added, this, &LineHints::onEntry);
    connect(&log, &LineLog::opened, this, &LineHints::onOpened);
    connect(&log, &LineLog::closed, this, &LineHints::onClosed);
    connect(&log, &LineLog::cleared, this, [this] { show(Case::None, QString()); });
}

void LineHints::onOpened()
{
    onClosed();
    m_routes.fill(-1);
    show(Case::None, QString());
}

void LineHints::onClosed()
{
    m_noReply->stop();
    m_noAnswer->stop();
}

void LineHints::onEntry(const LineEntry &entry)
{
    if (entry.direction == LineEntry::Direction::In)
        onReply(entry);
    else
        onFrame(entry);
}

void LineHints::onFrame(const LineEntry &entry)
{
    // The first request that waits for its answer sets the time; one more does not put it off.
    if (entry.bytes == frames::StatusRequest() && !m_noAnswer->isActive())
        m_noAnswer->start();
    if (const std::optional<SentRoute> route = routeOf(entry.bytes)) {
        if (vocabulary::rowOutput(route->row) == vocabulary::allOutputs)
            m_routes.fill(route->input);
        else
            m_routes[size_t(route->row)] = route->input;
    }
}

void LineHints::onReply(const LineEntry &entry)
{
    // Whatever arrives is an answer of a kind; whether it is a reply is the other case's.
    m_noAnswer->stop();
    endCase(Case::NoAnswer);

    if (!linewords::isReply(entry.bytes)) {
        if (!m_noReply->isActive())
            m_noReply->start();
        return;
    }
    m_noReply->stop();
    endCase(Case::NoReply);

    RouteSink sink;
    decodeReply(entry.bytes, sink);
    for (const auto &[output, input] : std::as_const(sink.routes)) {
        int &known = m_routes[size_t(vocabulary::outputIndex(output))];
        if (known >= 0 && known != input)
            show(Case::ChangedElsewhere, QStringLiteral("Out%1 now shows IN%2: %3")
                                             .arg(output)
                                             .arg(vocabulary::inputAt(input))
                                             .arg(QString::fromUtf8(changedElsewhereText)));
        known = input;
    }
}

void LineHints::show(Case reason, const QString &hint)
{
    m_case = reason;
    if (hint == m_hint)
        return;
    m_hint = hint;
    emit hintChanged(m_hint);
}

void LineHints::endCase(Case reason)
{
    if (m_case == reason)
        show(Case::None, QString());
}
