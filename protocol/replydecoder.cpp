// SPDX-License-Identifier: MIT
#include "replydecoder.h"

namespace {

constexpr qsizetype RecordSlots[] = {0, 5, 10, 15};

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The value of the digit at position i, or -1 when the line is shorter or it is no digit.
int digitAt(QByteArrayView line, qsizetype i)
{
    if (i >= line.size() || !isDigit(line[i]))
        return -1;
    return line[i] - '0';
}

// The output named by a record of the given kind at slot, or 0 when there is none there.
// A record needs its kind letter and digits at both following positions.
int recordOutput(QByteArrayView line, qsizetype slot, char kind)
{
    if (slot + 2 >= line.size() || line[slot] != kind || !isDigit(line[slot + 2]))
        return 0;
    const int output = digitAt(line, slot + 1);
    return output >= 1 && output <= 4 ? output : 0;
}

} // namespace

void decodeReply(QByteArrayView line, ReplySink &sink)
{
    for (qsizetype slot : RecordSlots) {
        if (const int output = recordOutput(line, slot, 's'))
            sink.outputStatus(output, line[slot + 2] - '0');
    }
    for (qsizetype slot : RecordSlots) {
        if (const int output = recordOutput(line, slot, 'p'))
            sink.outputWithoutDisplay(output);
    }

    // The tag argument must be a digit in range; anything else, or a missing argument, is no
    // report at all ("RS9" names a resolution the device list does not have).
    const int argument = digitAt(line, 2);
    if (line.startsWith("MP")) {
        if (argument >= 0 && argument <= 3)
            sink.wallInput(argument);
    } else if (line.startsWith("MD")) {
        if (argument == 0 || argument == 1)
            sink.mode(argument);
    } else if (line.startsWith("RS")) {
        if (argument >= 0 && argument <= 8)
            sink.resolution(argument);
    }

    if (line.startsWith("IP"))
        sink.addressConfirmed();
    if (line.startsWith("DHCP"))
        sink.addressConfirmed();
}
