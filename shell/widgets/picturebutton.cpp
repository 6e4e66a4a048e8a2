// SPDX-License-Identifier: MIT
#include "picturebutton.h"

#include <QStyleOptionButton>
#include <QStylePainter>

PictureButton::PictureButton(const QPixmap &picture, QWidget *parent)
    : QPushButton(parent), m_picture(picture)
{
}

void PictureButton::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    painter.drawControl(QStyle::CE_PushButtonBevel, option);

    const QRect inside = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
    QRect target(QPoint(), m_picture.deviceIndependentSize().toSize());
    target.moveCenter(rect().center());
    if (isDown())
        target.translate(1, 1);
    painter.setClipRect(inside);
    painter.drawPixmap(target, m_picture);
}
