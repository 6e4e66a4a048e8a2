// SPDX-License-Identifier: MIT
#pragma once

// Order statistics and the result lines the benchmarks print for scripts/bench:
//   ROW|<measure>|<value>|<target>|<ok or MISSED>

#include <QList>

#include <algorithm>
#include <cstdio>

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
