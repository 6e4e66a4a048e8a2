// SPDX-License-Identifier: MIT
#include "matrixfinder.h"

#include <QFileInfo>
#include <QSet>
#include <QTimer>

#include <atomic>
#include <thread>

namespace {

std::atomic<int> runningProbes{0};

constexpr int pollMs = 10;

// What a probe that did not finish in time is reported as, by the step it hangs in.
ProbeVerdict givenUp(ProbeProgress::Step step)
{
    if (step == ProbeProgress::Step::Opening)
        return {
            ProbeVerdict::Kind::CannotOpen, 0,
            QStringLiteral("it did not open within %1 s").arg(MatrixFinder::deviceLimitMs / 1000)};
    return {ProbeVerdict::Kind::NoAnswer, 0, {}};
}

} // namespace

QStringList devicesToVisit(const QList<SerialDevice> &found, const PortMap &ports)
{
    QStringList devices;
    QSet<QString> seen;
    const auto visit = [&](const QString &device) {
        const QString canonical = QFileInfo(device).canonicalFilePath();
        const QString key = canonical.isEmpty() ? device : canonical;
        if (device.isEmpty() || seen.contains(key))
            return;
        seen.insert(key);
        devices.append(device);
    };
    for (const SerialDevice &device : found)
        visit(device.preferredPath());
    for (int port = 1; port <= PortMap::maxPort; ++port) {
        if (ports.isMapped(port) && !isNetworkEntry(ports.deviceFor(port)))
            visit(ports.deviceFor(port));
    }
    return devices;
}

MatrixFinder::MatrixFinder(QObject *parent) : QObject(parent), m_poll(new QTimer(this))
{
    m_poll->setInterval(pollMs);
    connect(m_poll, &QTimer::timeout, this, &MatrixFinder::collect);
}

MatrixFinder::~MatrixFinder() = default;

void MatrixFinder::start(const QStringList &devices)
{
    m_poll->stop();
    m_devices = devices;
    m_progress.clear();
    m_verdicts = QList<std::optional<ProbeVerdict>>(devices.size());
    m_clock.start();
    for (const QString &device : devices) {
        auto progress = std::make_shared<ProbeProgress>();
        m_progress.push_back(progress);
        ++runningProbes;
        std::thread([probe = m_probe, device, progress] {
            probe(device, listenMs, *progress);
            --runningProbes;
        }).detach();
    }
    m_poll->start();
    collect();
}

bool MatrixFinder::isRunning() const
{
    return m_poll->isActive();
}

bool MatrixFinder::foundMatrix() const
{
    for (const std::optional<ProbeVerdict> &verdict : m_verdicts) {
        if (verdict && verdict->kind == ProbeVerdict::Kind::Matrix)
            return true;
    }
    return false;
}

int MatrixFinder::probesStillRunning()
{
    return runningProbes.load();
}

void MatrixFinder::collect()
{
    const bool late = m_clock.elapsed() >= deviceLimitMs;
    bool allKnown = true;
    for (qsizetype i = 0; i < m_verdicts.size(); ++i) {
        if (m_verdicts[i])
            continue;
        const ProbeProgress &progress = *m_progress[size_t(i)];
        if (const std::optional<ProbeVerdict> verdict = progress.verdict())
            m_verdicts[i] = verdict;
        else if (late)
            m_verdicts[i] = givenUp(progress.step());
        if (!m_verdicts[i]) {
            allKnown = false;
            continue;
        }
        emit verdictKnown(int(i));
    }
    if (allKnown && isRunning()) {
        m_poll->stop();
        emit finished();
    }
}
