// SPDX-License-Identifier: MIT
#pragma once

// The context menu of a tab page, where each capability puts its own entries: the window
// knows none of them. A capability adds a group of entries once, with a function that puts
// them into the menu; the menu is built afresh each time it opens, so a group whose entries
// change (a list of presets, a checked one) shows them as they are now. Groups follow in the
// order they were added, with a line between them; a menu without entries does not open.
//
// The menu opens over the page and over every control on it that has no menu of its own, by
// the mouse or by the menu key. An entry with a shortcut should also be added to the window
// (QWidget::addAction), so that the shortcut works wherever the window has the focus.

#include <QObject>

#include <functional>
#include <memory>
#include <vector>

class QMenu;
class QPoint;
class QWidget;

class PageMenu : public QObject
{
    Q_OBJECT

public:
    using Entries = std::function<void(QMenu &menu)>;

    explicit PageMenu(QWidget *page);

    void addEntries(Entries entries);

    // The menu as it would open now.
    std::unique_ptr<QMenu> build() const;

private:
    void open(const QPoint &at);

    QWidget *m_page = nullptr;
    std::vector<Entries> m_groups;
};
