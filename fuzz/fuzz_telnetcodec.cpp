// SPDX-License-Identifier: MIT
// The Telnet layer of a network port under anything a far end may send, cut into reads of any
// size.
//
// The first byte of the input chooses how the rest is cut into reads (a seed for the sizes)
// and whether the COM Port Control option is offered; the rest is the stream from the far
// end. Checks what the link relies on: however the stream is cut, the line's bytes, the
// answers and the events are the same as for the stream in one read; the answers are well
// formed Telnet; and the line's bytes, escaped again, are no longer than the stream.

#include "telnetcodec.h"

#include <QByteArray>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

// Every IAC in an answer starts a command: a negotiation, or a subnegotiation that ends with
// IAC SE and holds only doubled IACs.
bool wellFormed(const QByteArray &out)
{
    for (qsizetype i = 0; i < out.size();) {
        if (out[i] != TelnetCodec::IAC)
            return false; // the layer never answers with line data
        if (i + 2 >= out.size())
            return false;
        const char verb = out[i + 1];
        if (verb == TelnetCodec::DO || verb == TelnetCodec::DONT || verb == TelnetCodec::WILL ||
            verb == TelnetCodec::WONT) {
            i += 3;
            continue;
        }
        if (verb != TelnetCodec::SB)
            return false;
        qsizetype j = i + 2;
        for (;; ++j) {
            if (j + 1 >= out.size())
                return false;
            if (out[j] == TelnetCodec::IAC) {
                if (out[j + 1] == TelnetCodec::SE)
                    break;
                if (out[j + 1] != TelnetCodec::IAC)
                    return false;
                ++j;
            }
        }
        i = j + 2;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    unsigned seed = data[0];
    const bool comPort = (data[0] & 1) != 0;
    const QByteArray stream(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));

    TelnetCodec whole(comPort);
    QByteArray wholeReply = whole.start();
    QByteArray wholeData;
    whole.receive(stream, &wholeData, &wholeReply);

    TelnetCodec cut(comPort);
    QByteArray reply = cut.start();
    QByteArray lineData;
    for (qsizetype at = 0; at < stream.size();) {
        seed = seed * 1103515245u + 12345u;
        const qsizetype piece = std::min<qsizetype>(1 + (seed >> 16) % 9, stream.size() - at);
        cut.receive(QByteArrayView(stream).sliced(at, piece), &lineData, &reply);
        at += piece;
    }
    require(lineData == wholeData);
    require(reply == wholeReply);
    require(cut.takeEvents() == whole.takeEvents());
    require(cut.comPort() == whole.comPort());
    require(wellFormed(reply));
    require(TelnetCodec::escape(lineData).size() <= stream.size());
    require(whole.confirmedSettings() >= 0 && whole.confirmedSettings() <= 4);
    return 0;
}
