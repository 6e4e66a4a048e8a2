// SPDX-License-Identifier: MIT
#pragma once

// A software model of the 4x4 HDMI matrix: what the device holds and what it says on the line.
//
// The model takes whole command frames (FrameReader cuts them from the byte stream) and answers
// with the text the panel decodes. An answer is a list of replies, each one or more whole
// lines ending in CR LF, in the order the device sends them; the device sends them back to
// back, and the host (PtyHost) gives them the line's timing.
//
// Numbering as on the line (vocabulary.h): outputs and inputs count from 0 here and in the
// frames; the output records name outputs from 1 and inputs from 0 ("s21\r\n" is output 2
// showing IN2).

#include "vocabulary.h"

#include <QByteArray>
#include <QList>
#include <QtGlobal>

#include <array>

class MatrixModel
{
public:
    static constexpr int outputCount = vocabulary::outputCount;
    static constexpr int inputCount = vocabulary::inputCount;
    static constexpr int resolutionCount = vocabulary::resolutionCount; // "720P@60" .. "1920X1200"
    static constexpr int allOutputs = vocabulary::allRouteRow; // the "ALL" row of a Route frame
    static constexpr int borderLimit = 16;                     // steps each way from the centre

    enum class AddressMode { Automatic, Fixed };

    using Replies = QList<QByteArray>;

    // One complete frame from FrameReader. Changes the state as the command says and returns
    // the answer; a frame the device does not know, or with a parameter out of range, changes
    // nothing and gets no answer.
    Replies handleFrame(const QByteArray &frame);

    // The answer to StatusRequest: the four output records, then mode, resolution and
    // video-wall input.
    Replies statusReport() const;

    // The record of one output (0..3): "s<o><i>\r\n" with a display, "p<o>0\r\n" without.
    QByteArray outputRecord(int output) const;

    // Changes as the device's front panel or another controller makes them. Each returns what
    // the device reports about the change (empty when the argument is out of range).
    Replies setRoute(int output, int input); // output 0..3, or allOutputs; input 0..3
    Replies setDisplayAttached(int output, bool attached);
    Replies setMode(int mode); // 0 matrix, 1 video wall
    Replies setResolution(int index);
    Replies setWallInput(int input);

    int route(int output) const { return m_routes.at(output); }
    bool displayAttached(int output) const { return m_attached.at(output); }
    int mode() const { return m_mode; }
    int resolution() const { return m_resolution; }
    int wallInput() const { return m_wallInput; }
    int selectedOutput() const { return m_selectedOutput; }
    AddressMode addressMode() const { return m_addressMode; }
    std::array<quint8, 4> fixedAddress() const { return m_fixedAddress; }
    int borderHorizontal() const { return m_borderHorizontal; }
    int borderVertical() const { return m_borderVertical; }

private:
    static int step(int offset, int by);

    std::array<int, outputCount> m_routes{0, 1, 2, 3};
    std::array<bool, outputCount> m_attached{true, true, true, true};
    int m_mode = 0;
    int m_resolution = 1; // "1080P@60"
    int m_wallInput = 0;
    int m_selectedOutput = 0;
    AddressMode m_addressMode = AddressMode::Automatic;
    std::array<quint8, 4> m_fixedAddress{192, 168, 0, 10};
    int m_borderHorizontal = 0;
    int m_borderVertical = 0;
};
