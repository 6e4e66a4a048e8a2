// SPDX-License-Identifier: MIT
#pragma once

#include <QGroupBox>

// A frame as the window draws it: an etched rectangle whose top edge runs through the middle
// of the caption, the caption standing on the edge. Children are placed absolutely.
class FrameBox : public QGroupBox
{
    Q_OBJECT

public:
    explicit FrameBox(const QString &caption, QWidget *parent = nullptr);
    explicit FrameBox(QWidget *parent = nullptr) : FrameBox(QString(), parent) {}

protected:
    void paintEvent(QPaintEvent *event) override;
};
