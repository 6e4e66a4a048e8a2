#include "colorbutton.h"

ColorButton::ColorButton(const QString &text, QWidget *parent)
    : QPushButton(text, parent), m_backColor(fromQColor(palette().color(QPalette::Button)))
{
}

void ColorButton::setBackColor(quint32 bgr)
{
    m_backColor = bgr & 0xFFFFFF;
    // Fusion paints a push button's face from the Button role.
    QPalette face = palette();
    face.setColor(QPalette::Button, toQColor(m_backColor));
    setPalette(face);
}

QColor ColorButton::toQColor(quint32 bgr)
{
    return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}

quint32 ColorButton::fromQColor(const QColor &color)
{
    return quint32(color.red()) | quint32(color.green()) << 8 | quint32(color.blue()) << 16;
}
