// SPDX-License-Identifier: MIT
#include "pagemenu.h"

#include <QMenu>
#include <QWidget>

PageMenu::PageMenu(QWidget *page) : QObject(page), m_page(page)
{
    m_page->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_page, &QWidget::customContextMenuRequested, this, &PageMenu::open);
}

void PageMenu::addEntries(Entries entries)
{
    m_groups.push_back(std::move(entries));
}

std::unique_ptr<QMenu> PageMenu::build() const
{
    auto menu = std::make_unique<QMenu>(m_page);
    for (const Entries &group : m_groups) {
        if (!menu->isEmpty())
            menu->addSeparator();
        group(*menu);
    }
    return menu;
}

void PageMenu::open(const QPoint &at)
{
    const std::unique_ptr<QMenu> menu = build();
    if (!menu->isEmpty())
        menu->exec(m_page->mapToGlobal(at));
}
