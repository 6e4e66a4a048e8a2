// SPDX-License-Identifier: MIT
#pragma once

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class QWidget;

// One message box as it was shown.
struct ShownMessageBox
{
    QString text;
    QString title;
    QMessageBox::StandardButtons buttons;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool windowVisible = false; // was the watched window on the screen at that moment
    bool modal = false;
};

// Records every QMessageBox the moment it is shown and closes it as the operator would, by
// pressing OK (or the box's escape button, or rejecting it when it has neither). Works for
// boxes shown with exec() inside a handler: the close is posted to the box's own event loop.
class MessageBoxWatcher : public QObject
{
    Q_OBJECT

public:
    // window: whose visibility is recorded with each box (may be set later).
    explicit MessageBoxWatcher(QWidget *window = nullptr, QObject *parent = nullptr);
    ~MessageBoxWatcher() override;

    void setWindow(QWidget *window) { m_window = window; }
    // false: record boxes but leave them open (the test closes them itself).
    void setAutoClose(bool close) { m_autoClose = close; }
    // The operator in front of each box from now on: called from inside the box's own event
    // loop once it is shown, it acts as it likes and must close the box.
    void setOperator(std::function<void(QMessageBox *)> actor) { m_operator = std::move(actor); }

    const QList<ShownMessageBox> &boxes() const { return m_boxes; }
    qsizetype count() const { return m_boxes.size(); }
    ShownMessageBox last() const { return m_boxes.isEmpty() ? ShownMessageBox{} : m_boxes.last(); }
    void clear() { m_boxes.clear(); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPointer<QWidget> m_window;
    QList<ShownMessageBox> m_boxes;
    bool m_autoClose = true;
    std::function<void(QMessageBox *)> m_operator;
};
