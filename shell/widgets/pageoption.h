// SPDX-License-Identifier: MIT
#pragma once

#include <QRadioButton>

// An option button standing directly on the tab control. The four of them ("Martix", "Video
// wall" and the two address options) form one exclusive group across the pages, so Qt's rules
// for a group would make the whole group one Tab stop and let an arrow key move to a member
// on a page that is not shown. Here every member stays a Tab stop of its own, and the arrow
// keys move only among the members on the shown page: Down and Right to the next one, Up and
// Left to the previous one, taking the selection along when the focused member is selected,
// as the options of a frame do.
class PageOption : public QRadioButton
{
    Q_OBJECT

public:
    explicit PageOption(const QString &text, QWidget *parent = nullptr);

protected:
    void focusInEvent(QFocusEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
};
