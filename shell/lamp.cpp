#include "lamp.h"

#include <QPainter>

Lamp::Lamp(const QColor &color, QWidget *parent) : QWidget(parent), m_color(color) {}

void Lamp::setFillStyle(int fill)
{
    if (fill == m_fill)
        return;
    m_fill = fill;
    update();
}

void Lamp::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(palette().color(QPalette::WindowText), 1));
    painter.setBrush(m_fill == 1 ? QBrush(m_color) : QBrush(Qt::NoBrush));
    painter.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}
