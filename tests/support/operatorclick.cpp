// SPDX-License-Identifier: MIT
#include "operatorclick.h"

#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QtTest>

void clickAsOperator(QAbstractButton *button)
{
    QPoint where = button->rect().center();
    if (auto *radio = qobject_cast<QRadioButton *>(button)) {
        // The same option QRadioButton builds for its own hit test.
        QStyleOptionButton option;
        option.initFrom(radio);
        option.text = radio->text();
        option.icon = radio->icon();
        option.iconSize = radio->iconSize();
        option.state |= radio->isChecked() ? QStyle::State_On : QStyle::State_Off;
        where = radio->style()
                    ->subElementRect(QStyle::SE_RadioButtonClickRect, &option, radio)
                    .center();
    }
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, where);
}
