// SPDX-License-Identifier: MIT
#include "framebox.h"

#include <QPainter>

FrameBox::FrameBox(const QString &caption, QWidget *parent) : QGroupBox(caption, parent) {}

void FrameBox::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QFontMetrics metrics(font());
    const int edge = title().isEmpty() ? 0 : metrics.height() / 2;
    const QRect outline = rect().adjusted(0, edge, -2, -2);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(outline);
    painter.setPen(palette().color(QPalette::Light));
    painter.drawRect(outline.translated(1, 1));
    if (title().isEmpty())
        return;
    const QRect caption(6, 0, metrics.horizontalAdvance(title()) + 4, metrics.height());
    painter.fillRect(caption, palette().color(QPalette::Window));
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(caption, Qt::AlignCenter, title());
}
