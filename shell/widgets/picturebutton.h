// SPDX-License-Identifier: MIT
#pragma once

#include <QPixmap>
#include <QPushButton>

// A push button that shows only a picture: centred, and clipped by the button when the
// picture is larger than the button (the border buttons' 80 x 80 arrows).
class PictureButton : public QPushButton
{
    Q_OBJECT

public:
    explicit PictureButton(const QPixmap &picture, QWidget *parent = nullptr);

    QPixmap picture() const { return m_picture; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QPixmap m_picture;
};
