// SPDX-License-Identifier: MIT
#include "pageoption.h"

#include <QButtonGroup>
#include <QKeyEvent>

#include <algorithm>

PageOption::PageOption(const QString &text, QWidget *parent) : QRadioButton(text, parent) {}

void PageOption::focusInEvent(QFocusEvent *event)
{
    // The base class takes Tab focus away from every other member of the group.
    QRadioButton::focusInEvent(event);
    if (QButtonGroup *members = group()) {
        for (QAbstractButton *member : members->buttons())
            member->setFocusPolicy(Qt::FocusPolicy(member->focusPolicy() | Qt::TabFocus));
    }
}

void PageOption::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    const bool forward = key == Qt::Key_Down || key == Qt::Key_Right;
    if (!group() || (!forward && key != Qt::Key_Up && key != Qt::Key_Left)) {
        QRadioButton::keyPressEvent(event);
        return;
    }

    // The members the operator can see, in reading order.
    QList<QAbstractButton *> shown;
    for (QAbstractButton *member : group()->buttons()) {
        if (member->isVisible() && member->isEnabled())
            shown.append(member);
    }
    auto readingPlace = [this](const QAbstractButton *member) {
        const QPoint place = member->mapTo(window(), QPoint(0, 0));
        return std::pair(place.y(), place.x());
    };
    std::sort(shown.begin(), shown.end(), [&](const QAbstractButton *a, const QAbstractButton *b) {
        return readingPlace(a) < readingPlace(b);
    });
    const qsizetype here = shown.indexOf(this);
    const qsizetype there = forward ? here + 1 : here - 1;
    if (here < 0 || there < 0 || there >= shown.size()) {
        event->ignore(); // no member that way on this page
        return;
    }
    QAbstractButton *next = shown[there];
    if (isChecked())
        next->click();
    next->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
}
