// SPDX-License-Identifier: MIT
#pragma once

// "Find the matrix": probes a list of serial devices at once, each on a thread of its own
// (probeDevice), and reports each verdict on the thread that started it as soon as it is
// known. A device that hangs on open or on write is given up after deviceLimitMs and
// reported as it stands, so a search takes about listenMs plus the slowest open, and
// deviceLimitMs at most; a thread given up goes on alone until the system lets it go.

#include "matrixprobe.h"
#include "portmap.h"
#include "serialdevices.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QTimer;

// The devices a search visits: every serial device the system lists (by its stable path where
// it has one), then every device the port map names, each once however it is named. Network
// ports are left out: they are no serial device of this computer.
QStringList devicesToVisit(const QList<SerialDevice> &found, const PortMap &ports);

class MatrixFinder : public QObject
{
    Q_OBJECT

public:
    static constexpr int listenMs = 500;
    static constexpr int deviceLimitMs = 2000;

    // What asks one device; probeDevice unless replaced.
    using Probe =
        std::function<ProbeVerdict(const QString &device, int listenMs, ProbeProgress &progress)>;

    explicit MatrixFinder(QObject *parent = nullptr);
    void setProbe(Probe probe) { m_probe = std::move(probe); }
    ~MatrixFinder() override;

    // Starts a search of devices; a search that runs is given up first.
    void start(const QStringList &devices);
    bool isRunning() const;

    const QStringList &devices() const { return m_devices; }
    // The verdict on devices()[index], once it is known.
    std::optional<ProbeVerdict> verdict(int index) const { return m_verdicts.at(index); }
    bool foundMatrix() const;

    // Probes given up that still wait in the system.
    static int probesStillRunning();

signals:
    void verdictKnown(int index);
    void finished();

private:
    void collect();

    Probe m_probe = probeDevice;
    QStringList m_devices;
    std::vector<std::shared_ptr<ProbeProgress>> m_progress;
    QList<std::optional<ProbeVerdict>> m_verdicts;
    QElapsedTimer m_clock;
    QTimer *m_poll = nullptr;
};
