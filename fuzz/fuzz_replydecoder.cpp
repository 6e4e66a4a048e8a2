// SPDX-License-Identifier: MIT
// Reply decoder under arbitrary line contents: any bytes, any length.
//
// Checks what the window relies on: every report names a value in range that stands at one of
// the record slots of the line; the reports come in their fixed order (all "s", all "p", at
// most one tagged value, then the address confirmations); nothing from character 20 on counts.

#include "replydecoder.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

struct Report
{
    enum Kind { Status, NoDisplay, Tagged, Address } kind;
    int a = 0;
    int b = 0;
    bool operator==(const Report &) const = default;
};

class RecordingSink : public ReplySink
{
public:
    QList<Report> reports;

    void outputStatus(int output, int inputDigit) override
    {
        reports.append({Report::Status, output, inputDigit});
    }
    void outputWithoutDisplay(int output) override { reports.append({Report::NoDisplay, output}); }
    void wallInput(int input) override { reports.append({Report::Tagged, 'P', input}); }
    void mode(int mode) override { reports.append({Report::Tagged, 'D', mode}); }
    void resolution(int index) override { reports.append({Report::Tagged, 'S', index}); }
    void addressConfirmed() override { reports.append({Report::Address}); }
};

void require(bool condition)
{
    if (!condition)
        std::abort();
}

bool recordAt(QByteArrayView line, char kind, int output, int digit)
{
    for (qsizetype slot : {0, 5, 10, 15}) {
        if (slot + 2 < line.size() && line[slot] == kind && line[slot + 1] == '0' + output &&
            (digit < 0 || line[slot + 2] == '0' + digit))
            return true;
    }
    return false;
}

QList<Report> decode(QByteArrayView line)
{
    RecordingSink sink;
    decodeReply(line, sink);
    return sink.reports;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView line(reinterpret_cast<const char *>(data), qsizetype(size));
    const QList<Report> reports = decode(line);

    int stage = 0; // 0 "s", 1 "p", 2 tagged, 3 address
    int tagged = 0;
    int addresses = 0;
    int statuses = 0;
    int noDisplays = 0;
    for (const Report &r : reports) {
        require(int(r.kind) >= stage);
        stage = int(r.kind);
        switch (r.kind) {
        case Report::Status:
            require(r.a >= 1 && r.a <= 4 && r.b >= 0 && r.b <= 9);
            require(recordAt(line, 's', r.a, r.b));
            ++statuses;
            break;
        case Report::NoDisplay:
            require(r.a >= 1 && r.a <= 4);
            require(recordAt(line, 'p', r.a, -1));
            ++noDisplays;
            break;
        case Report::Tagged: {
            ++tagged;
            const char *tag = r.a == 'P' ? "MP" : r.a == 'D' ? "MD" : "RS";
            require(line.startsWith(tag));
            require(line.size() > 2 && line[2] == '0' + r.b);
            const int highest = r.a == 'P' ? 3 : r.a == 'D' ? 1 : 8;
            require(r.b >= 0 && r.b <= highest);
            break;
        }
        case Report::Address:
            ++addresses;
            require(line.startsWith("IP") || line.startsWith("DHCP"));
            break;
        }
    }
    require(statuses <= 4 && noDisplays <= 4 && tagged <= 1 && addresses <= 1);

    // Characters from 20 on never change the outcome.
    if (line.size() > 20)
        require(decode(line.first(20)) == reports);
    return 0;
}
