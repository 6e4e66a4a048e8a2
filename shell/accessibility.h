// SPDX-License-Identifier: MIT
#pragma once

#include <QList>
#include <QPointer>
#include <QTimer>
#include <QWidget>

class ColorButton;
class Lamp;
class QRadioButton;

// What the window adds for screen readers beyond names and descriptions:
// - the window is a frame, the current tab is selected, and an option's "Toggle" or a tab's
//   "Press" asked for by a screen reader is carried out after the request has been answered,
//   so a message box it opens never holds the request (installWindowAccessibility);
// - every change the device reports is spoken without the operator moving the focus
//   (ChangeAnnouncer).

// Makes the accessibility layer describe Form1, every option button and tab bar this way; safe
// to call often.
void installWindowAccessibility();

// The spoken news of the window: a notification, never shown on the screen, that tells the
// screen reader it shows each time there is news, named with the changes of the moment ("Out2
// Stage left: IN3 Camera. Out2 Stage left: no display"). Screen readers present a notification
// that shows, wherever the focus is; the bridge of this Qt gives them no text with a name,
// description or state change, so those go unspoken.
//
// It is told of changes by the widgets themselves: an option that becomes selected, an out
// button's colour, a lamp that lights. An option selected where the focus is goes unannounced,
// as the screen reader speaks the focused option itself; so do changes while the window is
// hidden (start-up). Changes that come together are spoken as one notice, each control's latest.
class ChangeAnnouncer : public QWidget
{
    Q_OBJECT

public:
    explicit ChangeAnnouncer(QWidget *window);

    void watch(QRadioButton *option);
    void watch(ColorButton *outButton);
    void watch(Lamp *lamp);

    // The notice last shown; empty before the first.
    QString notice() const { return m_notice; }
    // What a selected option says: its description, else its group's name and its caption.
    static QString spokenSelection(const QRadioButton *option);

signals:
    void announced(const QString &notice);

private:
    void note(QWidget *source, const QString &text, bool unlessFocused = false);
    void announce();

    struct Change
    {
        QPointer<QWidget> source;
        QString text;
        bool unlessFocused; // an option the operator selected where the focus is
    };
    QList<Change> m_changes;
    QTimer m_gather;
    QString m_notice;
};
