// SPDX-License-Identifier: MIT
// The emulator's frame reader, and the model behind it, under an arbitrary byte stream cut
// into arbitrary pieces, with the quiet-line expiry in between.
//
// Input layout: a sequence of [control byte][piece]. The low four bits of the control byte
// give the piece length - 1; its top bit asks for expire() before the piece is fed.
//
// Checked: every frame is well formed; at most one partial frame is held; no byte is lost or
// made up (fed = framed + skipped + pending); without expiry the frames do not depend on how
// the stream was cut; every answer of the model is short text lines the panel can decode.

#include "framereader.h"
#include "matrixmodel.h"

#include <QByteArray>
#include <QList>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

void checkFrame(const QByteArray &frame)
{
    require(frame.size() == 4 || frame.size() == 5 || frame.size() == 8);
    require(frame.at(1) == char(0x55) && frame.back() == char(0x77));
    if (frame.size() == 4)
        require(frame.at(0) == 4 || (frame.at(0) == 5 && frame.at(2) == 0x04));
    else
        require(frame.at(0) == frame.size());
}

void checkAnswer(const MatrixModel::Replies &replies)
{
    for (const QByteArray &reply : replies) {
        // One reply is at most four five-character records, or one tagged reply.
        require(!reply.isEmpty() && reply.size() <= 20 && reply.endsWith("\r\n"));
        for (char c : reply)
            require((c >= 0x20 && c < 0x7F) || c == '\r' || c == '\n');
    }
}

void checkModel(const MatrixModel &model)
{
    for (int o = 0; o < MatrixModel::outputCount; ++o)
        require(model.route(o) >= 0 && model.route(o) < MatrixModel::inputCount);
    require(model.mode() == 0 || model.mode() == 1);
    require(model.resolution() >= 0 && model.resolution() < MatrixModel::resolutionCount);
    require(model.wallInput() >= 0 && model.wallInput() < MatrixModel::inputCount);
    require(qAbs(model.borderHorizontal()) <= MatrixModel::borderLimit);
    require(qAbs(model.borderVertical()) <= MatrixModel::borderLimit);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FrameReader reader;
    MatrixModel model;
    QByteArray stream;      // every byte fed, in order
    QList<QByteArray> seen; // every frame that came out
    qsizetype framed = 0;
    bool expired = false;

    const auto take = [&](const QList<QByteArray> &frames) {
        for (const QByteArray &frame : frames) {
            checkFrame(frame);
            framed += frame.size();
            seen.append(frame);
            checkAnswer(model.handleFrame(frame));
            checkModel(model);
        }
        require(reader.pendingSize() < FrameReader::maxFrameSize);
    };

    size_t at = 0;
    while (at < size) {
        const uint8_t control = data[at++];
        if (control & 0x80) {
            take(reader.expire());
            expired = true;
        }
        const size_t length = qMin<size_t>((control & 0x0F) + 1, size - at);
        const QByteArrayView piece(reinterpret_cast<const char *>(data + at), qsizetype(length));
        at += length;
        stream.append(piece);
        take(reader.feed(piece));
        require(framed + reader.skippedCount() + reader.pendingSize() == stream.size());
    }

    if (!expired) {
        FrameReader whole;
        require(whole.feed(stream) == seen);
        require(whole.pendingSize() == reader.pendingSize());
    }
    checkAnswer(model.statusReport());
    return 0;
}
