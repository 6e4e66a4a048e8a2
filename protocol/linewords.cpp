// SPDX-License-Identifier: MIT
#include "linewords.h"

#include "frames.h"
#include "replydecoder.h"
#include "vocabulary.h"

#include <QStringList>

namespace linewords {

namespace {

QString inputName(int index)
{
    return QStringLiteral("IN%1").arg(vocabulary::inputAt(index));
}

QString routeWords(int parameter)
{
    const int row = vocabulary::routeRowOf(parameter);
    const QString input = inputName(vocabulary::routeInputOf(parameter));
    if (vocabulary::rowOutput(row) == vocabulary::allOutputs)
        return QStringLiteral("Route: %1 \u2192 all outputs (from the ALL row)").arg(input);
    const QString output = QStringLiteral("Out%1").arg(vocabulary::outputAt(row));
    return QStringLiteral("Route: %1 \u2192 %2 (from the %2 row)").arg(input, output);
}

QString modeWords(int mode)
{
    return mode == 0 ? QStringLiteral("matrix mode") : QStringLiteral("video-wall mode");
}

// A four-byte frame of the catalogue; empty for any other.
QString plainFrame(QByteArrayView bytes)
{
    const struct
    {
        QByteArray bytes;
        const char *words;
    } plain[] = {
        {frames::BorderReset(), "BorderReset: the picture border back to its start"},
        {frames::BorderVerticalIn(),
         "BorderVerticalIn: the picture border one step in, vertically"},
        {frames::BorderVerticalOut(),
         "BorderVerticalOut: the picture border one step out, vertically"},
        {frames::BorderHorizontalIn(),
         "BorderHorizontalIn: the picture border one step in, horizontally"},
        {frames::BorderHorizontalOut(),
         "BorderHorizontalOut: the picture border one step out, horizontally"},
        {frames::StatusRequest(), "StatusRequest: asks the device for its state"},
        {frames::SetAutoAddress(), "SetAutoAddress: the device obtains its address by itself"},
    };
    for (const auto &entry : plain) {
        if (bytes == entry.bytes)
            return QString::fromUtf8(entry.words);
    }
    return {};
}

// A five-byte frame of the catalogue, matched against the frame the catalogue builds for its
// parameter, so that a parameter out of range names nothing; empty for any other.
QString frameWithParameter(QByteArrayView bytes)
{
    const quint8 command = quint8(bytes[2]);
    const int p = quint8(bytes[3]);
    switch (command) {
    case 0x02:
        if (bytes == frames::OutputSelect(p))
            return QStringLiteral("OutputSelect: out%1").arg(vocabulary::outputAt(p));
        break;
    case 0x19:
        if (bytes == frames::Route(vocabulary::routeRowOf(p), vocabulary::routeInputOf(p)))
            return routeWords(p);
        break;
    case 0x21:
        if (bytes == frames::SetMode(p))
            return QStringLiteral("SetMode: ") + modeWords(p);
        break;
    case 0x22:
        if (bytes == frames::SetResolution(p))
            return QStringLiteral("SetResolution: %1")
                .arg(QLatin1String(vocabulary::resolutionCaption[p]));
        break;
    case 0x23:
        if (bytes == frames::VideoWallInput(p))
            return QStringLiteral("VideoWallInput: ") + inputName(p);
        break;
    }
    return {};
}

QString fixedAddressFrame(QByteArrayView bytes)
{
    std::array<quint8, 4> octets{};
    for (int i = 0; i < 4; ++i)
        octets[size_t(i)] = quint8(bytes[3 + i]);
    if (bytes != frames::SetFixedAddress(octets))
        return {};
    return QStringLiteral("SetFixedAddress: %1.%2.%3.%4")
        .arg(octets[0])
        .arg(octets[1])
        .arg(octets[2])
        .arg(octets[3]);
}

// Collects the words of each report, in the order the decoder gives them.
class WordsSink final : public ReplySink
{
public:
    explicit WordsSink(QByteArrayView line) : m_line(line) {}

    QStringList words;

    void outputStatus(int output, int inputDigit) override
    {
        const QString record = QStringLiteral("s%1%2").arg(output).arg(inputDigit);
        if (inputDigit < vocabulary::inputCount)
            words.append(QStringLiteral("%1: output %2 shows %3")
                             .arg(record)
                             .arg(output)
                             .arg(inputName(inputDigit)));
        else
            words.append(QStringLiteral("%1: output %2 has a display; the digit %3 names no input")
                             .arg(record)
                             .arg(output)
                             .arg(inputDigit));
    }
    void outputWithoutDisplay(int output) override
    {
        words.append(QStringLiteral("p%1: output %1 has no display").arg(output));
    }
    void wallInput(int input) override
    {
        words.append(QStringLiteral("MP%1: video-wall input %2").arg(input).arg(inputName(input)));
    }
    void mode(int mode) override
    {
        words.append(QStringLiteral("MD%1: ").arg(mode) + modeWords(mode));
    }
    void resolution(int index) override
    {
        words.append(QStringLiteral("RS%1: resolution %2")
                         .arg(index)
                         .arg(QLatin1String(vocabulary::resolutionCaption[index])));
    }
    void addressConfirmed() override
    {
        words.append(m_line.startsWith("DHCP")
                         ? QStringLiteral("DHCP: the device took the automatic address")
                         : QStringLiteral("IP: the device took the fixed address"));
    }

private:
    QByteArrayView m_line;
};

// Counts the reports only.
class CountingSink final : public ReplySink
{
public:
    int reports = 0;

    void outputStatus(int, int) override { ++reports; }
    void outputWithoutDisplay(int) override { ++reports; }
    void wallInput(int) override { ++reports; }
    void mode(int) override { ++reports; }
    void resolution(int) override { ++reports; }
    void addressConfirmed() override { ++reports; }
};

QString bytesCount(qsizetype count)
{
    return count == 1 ? QStringLiteral("1 byte") : QStringLiteral("%1 bytes").arg(count);
}

} // namespace

QString frame(QByteArrayView bytes)
{
    const bool framed = bytes.size() >= 4 && bytes[1] == 0x55 && bytes.back() == 0x77;
    QString words;
    if (framed && bytes.size() == 4)
        words = plainFrame(bytes);
    else if (framed && bytes.size() == 5)
        words = frameWithParameter(bytes);
    else if (framed && bytes.size() == 8 && quint8(bytes[2]) == 0x31)
        words = fixedAddressFrame(bytes);
    if (words.isEmpty())
        return QStringLiteral("not a frame of the catalogue: ") + bytesCount(bytes.size());
    return words;
}

QString reply(QByteArrayView line)
{
    WordsSink sink(line);
    decodeReply(line, sink);
    if (sink.words.isEmpty())
        return QStringLiteral("not a reply: ") + bytesCount(line.size());
    return sink.words.join(QStringLiteral("; "));
}

bool isReply(QByteArrayView line)
{
    CountingSink sink;
    decodeReply(line, sink);
    return sink.reports > 0;
}

} // namespace linewords
