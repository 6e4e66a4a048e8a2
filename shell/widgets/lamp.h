// SPDX-License-Identifier: MIT
#pragma once

#include <QColor>
#include <QWidget>

// A connection lamp: an oval with a thin outline, filled with its colour when lit. Screen
// readers read it as a label that says its state in words, "Connected: lit", and are told
// when that changes.
class Lamp : public QWidget
{
    Q_OBJECT

public:
    explicit Lamp(const QColor &color, QWidget *parent = nullptr);

    // 1 = lit (opaque fill), 0 = dark (only the outline shows).
    int FillStyle() const { return m_fill; }
    void setFillStyle(int fill);
    QString stateText() const; // "lit" or "dark"

    QColor color() const { return m_color; }

signals:
    void fillChanged(int fill);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_color;
    int m_fill = 1;
};
