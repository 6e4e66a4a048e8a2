// SPDX-License-Identifier: MIT
#pragma once

// Asking one serial device whether the matrix is on it: open it at 9600 8N1 (with the same
// hold the panel takes, so that a device another program holds is left alone), write one
// StatusRequest, listen for a while, put the line back as it was and close it. What came back
// decides the verdict. Blocks while it works; MatrixFinder runs one probe for each device, each
// on a thread of its own, so that one that hangs in the system holds up nothing else.

#include <QByteArrayView>
#include <QString>

#include <atomic>
#include <mutex>
#include <optional>

struct ProbeVerdict
{
    enum class Kind {
        Matrix,     // replies came back: `replies` lines that decode
        NoReply,    // bytes came back, none of them a reply
        NoAnswer,   // nothing came back
        Held,       // another program holds the device
        CannotOpen, // `why`
    };

    Kind kind = Kind::NoAnswer;
    int replies = 0;
    QString why;

    // The verdict as the finder reports it: "answers as a matrix (7 replies)", "sends bytes
    // that are no reply", "no answer", "held by another program", "cannot open (why)".
    QString text() const;

    bool operator==(const ProbeVerdict &) const = default;
};

// The verdict on what came back in answer to the StatusRequest: cut into reply lines as the
// panel cuts them (the last one without its line end too), and counted as replies when the
// panel would decode something from them.
ProbeVerdict verdictOnAnswer(QByteArrayView answer);

// How far a probe has got, for the one who waits for it on another thread: the verdict is
// there as soon as it is known, before the device is closed.
class ProbeProgress
{
public:
    enum class Step { Opening, Writing, Listening, Closing, Done };

    Step step() const { return m_step.load(); }
    void enter(Step step) { m_step.store(step); }

    std::optional<ProbeVerdict> verdict() const;
    void setVerdict(const ProbeVerdict &verdict);

private:
    std::atomic<Step> m_step{Step::Opening};
    mutable std::mutex m_lock;
    std::optional<ProbeVerdict> m_verdict;
};

// Probes device, listening listenMs after the StatusRequest has gone out; the verdict is also
// given to progress.
ProbeVerdict probeDevice(const QString &device, int listenMs, ProbeProgress &progress);
