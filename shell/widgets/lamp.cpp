// SPDX-License-Identifier: MIT
#include "lamp.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPainter>

namespace {

// A screen reader sees a lamp as an indicator with its name and the value "lit" or "dark".
class LampAccessible final : public QAccessibleWidget
{
public:
    explicit LampAccessible(Lamp *lamp) : QAccessibleWidget(lamp, QAccessible::Indicator) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return static_cast<const Lamp *>(widget())->stateText();
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface *describeLamp(const QString &className, QObject *object)
{
    if (className == QLatin1String("Lamp") && object && object->isWidgetType())
        return new LampAccessible(static_cast<Lamp *>(object));
    return nullptr;
}

} // namespace

Lamp::Lamp(const QColor &color, QWidget *parent) : QWidget(parent), m_color(color)
{
    static const bool described = [] {
        QAccessible::installFactory(describeLamp);
        return true;
    }();
    Q_UNUSED(described);
}

QString Lamp::stateText() const
{
    return m_fill == 1 ? QStringLiteral("lit") : QStringLiteral("dark");
}

void Lamp::setFillStyle(int fill)
{
    if (fill == m_fill)
        return;
    m_fill = fill;
    update();
    QAccessibleValueChangeEvent event(this, stateText());
    QAccessible::updateAccessibility(&event);
}

void Lamp::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(palette().color(QPalette::WindowText), 1));
    painter.setBrush(m_fill == 1 ? QBrush(m_color) : QBrush(Qt::NoBrush));
    painter.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}
