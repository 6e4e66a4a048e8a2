// SPDX-License-Identifier: MIT
#pragma once

// Order statistics and the result lines the benchmarks print for scripts/bench:
//   ROW|<measure>|<value>|<target>|<ok or MISSED>

#include <QList>

#include <algorithm>
#include <cstdio>

// Each latency row takes at least this many samples: with 100, the p99 would be the second
// worst sample of the run, and one busy moment of the machine moves it.
inline constexpr int minLatencySamples = 1000;

// The samples a row takes when requested were asked for: never fewer than minLatencySamples.
inline int latencySamples(int requested)
{
    return std::max(requested, minLatencySamples);
}

// The q-quantile (0..1) of samples, nearest rank.
inline double quantile(QList<double> samples, double q)
{
    if (samples.isEmpty())
        return 0;
    std::sort(samples.begin(), samples.end());
    const qsizetype rank = qsizetype(q * double(samples.size() - 1) + 0.5);
    return samples.at(std::clamp<qsizetype>(rank, 0, samples.size() - 1));
}

inline void printRow(const char *measure, const char *value, const char *target, bool met)
{
    std::printf("ROW|%s|%s|%s|%s\n", measure, value, target, met ? "ok" : "MISSED");
    std::fflush(stdout);
}
