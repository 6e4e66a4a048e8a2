// SPDX-License-Identifier: MIT
#include "appearance.h"

#include <QApplication>
#include <QStyleFactory>

void setUpPanelAppearance()
{
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
}
