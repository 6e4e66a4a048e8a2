// SPDX-License-Identifier: MIT
#pragma once

// The hints of the line monitor: what the traffic on the line suggests to a technician on
// site, one line at a time, never a box. Three cases are told:
//
//   - bytes arrived that are no reply, and nothing decoded in the noReplyMs after them: the
//     line runs at another baud rate, or another device is on it;
//   - a StatusRequest went out and nothing at all came back within noAnswerMs: the cable, the
//     adapter, or TX and RX swapped;
//   - the device reported a route other than the one the panel last sent or heard for that
//     output: it was changed at the device or by another controller.
//
// A hint stays until another takes its place, the case is over (a reply decodes, an answer
// comes), the log is cleared or the port opens again. Fed by a LineLog; Qt Core only.

#include <QObject>
#include <QString>

#include <array>

class LineLog;
class QTimer;
struct LineEntry;

class LineHints : public QObject
{
    Q_OBJECT

public:
    static constexpr int noReplyMs = 2000;
    static constexpr int noAnswerMs = 1000;

    explicit LineHints(LineLog &log, QObject *parent = nullptr);

    // The hint shown now; empty when there is none.
    QString hint() const { return m_hint; }

signals:
    void hintChanged(const QString &hint);

private:
    enum class Case { None, NoReply, NoAnswer, ChangedElsewhere };

    void onOpened();
    void onClosed();
    void onEntry(const LineEntry &entry);
    void onFrame(const LineEntry &entry);
    void onReply(const LineEntry &entry);
    void show(Case reason, const QString &hint);
    void endCase(Case reason);

    QTimer *m_noReply = nullptr;
    QTimer *m_noAnswer = nullptr;
    // The input (0..3) each output was last sent or reported with since the port opened; -1
    // while unknown.
    std::array<int, 4> m_routes{-1, -1, -1, -1};
    Case m_case = Case::None;
    QString m_hint;
};
