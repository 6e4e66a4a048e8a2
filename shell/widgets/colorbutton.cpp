// SPDX-License-Identifier: MIT
#include "colorbutton.h"

#include <QPainter>
#include <QStyleOptionFocusRect>

ColorButton::ColorButton(const QString &text, QWidget *parent)
    : QPushButton(text, parent), m_backColor(fromQColor(palette().color(QPalette::Button)))
{
    setAccessibleDescription(describe(m_backColor));
}

// What the colour says about the output, for screen readers: the device reported a display
// attached to it (green) or none (red), or it has not reported the output since the window
// opened.
QString ColorButton::describe(quint32 bgr)
{
    if (bgr == green)
        return QStringLiteral("display attached");
    if (bgr == red)
        return QStringLiteral("no display");
    return QStringLiteral("not reported yet");
}

void ColorButton::setBackColor(quint32 bgr)
{
    bgr &= 0xFFFFFF;
    if (bgr == m_backColor)
        return;
    m_backColor = bgr;
    update();
    describeColour();
    emit backColorChanged(m_backColor);
}

void ColorButton::setNote(const QString &note)
{
    m_note = note;
    describeColour();
}

void ColorButton::describeColour()
{
    const QString description = m_note.isEmpty()
                                    ? describe(m_backColor)
                                    : m_note + QStringLiteral(": ") + describe(m_backColor);
    // Setting the description tells a screen reader that it changed.
    if (accessibleDescription() != description)
        setAccessibleDescription(description);
}

// The face is one flat colour, as the device's state colours must read at a glance; a raised
// or sunken edge, drawn on the outermost pixels, shows the button's state.
void ColorButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect face = rect();
    painter.fillRect(face, toQColor(m_backColor));
    const QColor light = palette().color(QPalette::Light);
    const QColor dark = palette().color(QPalette::Shadow);
    const bool sunken = isDown() || isChecked();
    painter.setPen(sunken ? dark : light);
    painter.drawLine(face.topLeft(), face.topRight());
    painter.drawLine(face.topLeft(), face.bottomLeft());
    painter.setPen(sunken ? light : dark);
    painter.drawLine(face.bottomLeft(), face.bottomRight());
    painter.drawLine(face.topRight(), face.bottomRight());

    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    painter.drawText(sunken ? face.translated(1, 1) : face, Qt::AlignCenter, text());
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = face.adjusted(2, 2, -2, -2);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
    }
}

QColor ColorButton::toQColor(quint32 bgr)
{
    return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}

quint32 ColorButton::fromQColor(const QColor &color)
{
    return quint32(color.red()) | quint32(color.green()) << 8 | quint32(color.blue()) << 16;
}
