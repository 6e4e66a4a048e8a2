// SPDX-License-Identifier: MIT
// Decoder throughput: decodes a stream of 20-character status replies (four "s" records, the
// longest line the decoder examines in full) and prints reply lines per second.
//
//   bench_decoder [lines]     default 20,000,000

#include "benchstats.h"
#include "replydecoder.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>

#include <cstdio>
#include <cstdlib>

namespace {

class CountingSink : public ReplySink
{
public:
    long long status = 0;
    long long other = 0;

    void outputStatus(int output, int inputDigit) override { status += output + inputDigit; }
    void outputWithoutDisplay(int output) override { other += output; }
    void wallInput(int input) override { other += input; }
    void mode(int mode) override { other += mode; }
    void resolution(int index) override { other += index; }
    void addressConfirmed() override { ++other; }
};

} // namespace

int main(int argc, char **argv)
{
    const long long lines = argc > 1 ? std::atoll(argv[1]) : 20'000'000;

    // 256 different lines, so the branch predictor cannot learn one answer.
    QList<QByteArray> replies;
    for (int v = 0; v < 256; ++v) {
        QByteArray line;
        for (int o = 1; o <= 4; ++o) {
            const int input = (v >> (2 * (o - 1))) & 3;
            line += (v % 7 == 0 && o == 3 ? 'p' : 's');
            line += char('0' + o);
            line += char('0' + input);
            line += "\r\n";
        }
        replies << line;
    }

    CountingSink sink;
    QElapsedTimer timer;
    timer.start();
    for (long long i = 0; i < lines; ++i)
        decodeReply(replies[qsizetype(i & 255)], sink);
    const qint64 ns = timer.nsecsElapsed();

    const double perSecond = double(lines) * 1e9 / double(ns > 0 ? ns : 1);
    std::printf("decoded %lld lines of 20 characters in %.3f s: %.0f lines/s (%.1f ns/line)\n",
                lines, double(ns) / 1e9, perSecond, double(ns) / double(lines));
    std::printf("checksum %lld %lld\n", sink.status, sink.other);

    char value[96];
    std::snprintf(value, sizeof value, "%.0f lines/s (%.1f ns a line)", perSecond,
                  double(ns) / double(lines));
    printRow("decoder throughput", value, ">= 1 000 000 lines/s", perSecond >= 1e6);
    return 0;
}
