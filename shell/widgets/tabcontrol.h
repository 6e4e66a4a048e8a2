// SPDX-License-Identifier: MIT
#pragma once

#include <QTabWidget>

// SSTab1: a tab control whose page children are placed in the tab control's own coordinates,
// tab strip included, as the window's layout gives them.
class TabControl : public QTabWidget
{
    Q_OBJECT

public:
    explicit TabControl(QWidget *parent = nullptr) : QTabWidget(parent) {}

    // Where the pages' top-left corner lies inside the tab control. QTabWidget lays its pages
    // out only once shown, so this asks the style the same question it will ask then.
    QPoint pageOrigin() const;
};
