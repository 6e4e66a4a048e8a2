// SPDX-License-Identifier: MIT
#include "lamp.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPainter>

namespace {

// A screen reader sees a lamp as a label whose name carries its state, "Connected: lit": the
// bridge to the desktop's screen readers drops the value of an indicator (it has no role for
// one), but every screen reader speaks a label's name.
class LampAccessible final : public QAccessibleWidget
{
public:
    explicit LampAccessible(Lamp *lamp) : QAccessibleWidget(lamp, QAccessible::StaticText) {}

    QString text(QAccessible::Text t) const override
    {
        const QString state = static_cast<const Lamp *>(widget())->stateText();
        if (t == QAccessible::Value)
            return state;
        if (t == QAccessible::Name) {
            const QString name = widget()->accessibleName();
            return name.isEmpty() ? state : name + QStringLiteral(": ") + state;
        }
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
    QAccessibleEvent event(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
    emit fillChanged(m_fill);
}

void Lamp::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(palette().color(QPalette::WindowText), 1));
    painter.setBrush(m_fill == 1 ? QBrush(m_color) : QBrush(Qt::NoBrush));
    painter.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}
