// SPDX-License-Identifier: MIT
#include "messageboxwatcher.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QTimer>

MessageBoxWatcher::MessageBoxWatcher(QWidget *window, QObject *parent)
    : QObject(parent), m_window(window)
{
    qApp->installEventFilter(this);
}

MessageBoxWatcher::~MessageBoxWatcher()
{
    qApp->removeEventFilter(this);
}

bool MessageBoxWatcher::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::Show)
        return false;
    auto *box = qobject_cast<QMessageBox *>(watched);
    if (!box)
        return false;
    ShownMessageBox shown;
    shown.text = box->text();
    shown.title = box->windowTitle();
    shown.buttons = box->standardButtons();
    shown.icon = box->icon();
    shown.windowVisible = m_window && m_window->isVisible();
    shown.modal = box->isModal();
    m_boxes.append(shown);
    if (m_operator) {
        const QPointer<QMessageBox> target(box);
        QTimer::singleShot(0, box, [this, target] {
            if (target)
                m_operator(target);
        });
    } else if (m_autoClose) {
        const QPointer<QMessageBox> target(box);
        QTimer::singleShot(0, box, [target] {
            if (!target)
                return;
            if (QAbstractButton *ok = target->button(QMessageBox::Ok))
                ok->click();
            else if (QAbstractButton *escape = target->escapeButton())
                escape->click();
            else
                target->reject();
        });
    }
    return false;
}
