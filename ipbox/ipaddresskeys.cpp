// SPDX-License-Identifier: MIT
// The address editor's keys: typing and deleting in the fields, moving the caret, the
// clipboard, and the hint under a refused key.
#include "ipaddressedit.h"

#include "ipaddressaccessible.h"

#include "addresstext.h"

#include <algorithm>
#include <iterator>

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLabel>

namespace {

constexpr int MaxDigits = 3;
constexpr int MaxValue = 255;

bool isPaste(const QKeyEvent *event)
{
    return event->matches(QKeySequence::Paste) ||
           (event->key() == Qt::Key_Insert && event->modifiers() == Qt::ShiftModifier);
}

bool isCopy(const QKeyEvent *event)
{
    return event->matches(QKeySequence::Copy);
}

bool isSelectAll(const QKeyEvent *event)
{
    return event->matches(QKeySequence::SelectAll);
}

} // namespace

// The editor's own shortcuts are keys for it, not for a shortcut of the window.
bool IpAddressEdit::event(QEvent *event)
{
    if (event->type() == QEvent::ShortcutOverride) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (isPaste(key) || isCopy(key) || isSelectAll(key)) {
            event->accept();
            return true;
        }
    }
    // Keys, clicks and leaving a field change the digits; a screen reader hears each change.
    QString before[FieldCount];
    std::copy(std::begin(m_text), std::end(m_text), std::begin(before));
    const bool handled = QWidget::event(event);
    if (!std::equal(std::begin(m_text), std::end(m_text), std::begin(before)))
        announceFieldChanges(this, before);
    return handled;
}

bool IpAddressEdit::handleShortcut(QKeyEvent *event)
{
    if (isPaste(event))
        paste();
    else if (isCopy(event))
        copy();
    else if (isSelectAll(event))
        m_allSelected = true;
    else
        return false;
    return true;
}

void IpAddressEdit::keyPressEvent(QKeyEvent *event)
{
    const bool afterAutoAdvance = m_autoAdvanced;
    m_autoAdvanced = false;

    if (handleShortcut(event)) {
        event->accept();
        update();
        return;
    }
    // Other shortcuts (Ctrl, Alt, Meta) and keys the editor has no use for, such as Return and
    // Escape, go on to the window; Shift is allowed with the movement keys.
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) {
        event->ignore();
        return;
    }
    if (!replaceSelectedAddress(event) && !editKey(event, afterAutoAdvance)) {
        event->ignore();
        return;
    }
    event->accept();
    update();
}

// After Ctrl+A typing or deleting replaces the whole selected address; any other key only
// ends the selection and then does what it always does. True when the key has done all it
// does (Backspace and Delete clear the address).
bool IpAddressEdit::replaceSelectedAddress(const QKeyEvent *event)
{
    if (!m_allSelected)
        return false;
    m_allSelected = false;
    const QString text = event->text();
    const bool digit = text.size() == 1 && text.front() >= u'0' && text.front() <= u'9';
    if (!digit && event->key() != Qt::Key_Backspace && event->key() != Qt::Key_Delete)
        return false;
    clearAll();
    return !digit;
}

// The key's edit or caret move; false for a key the editor has no use for.
bool IpAddressEdit::editKey(const QKeyEvent *event, bool afterAutoAdvance)
{
    switch (event->key()) {
    case Qt::Key_Backspace:
        backspace();
        return true;
    case Qt::Key_Delete:
        deleteForward();
        return true;
    case Qt::Key_Left:
        moveLeft();
        return true;
    case Qt::Key_Right:
        moveRight();
        return true;
    case Qt::Key_Home:
        enterField(0, 0, false);
        return true;
    case Qt::Key_End:
        enterField(FieldCount - 1, int(m_text[FieldCount - 1].size()), false);
        return true;
    default:
        return typeCharacter(event->text(), afterAutoAdvance);
    }
}

// A printable character: a digit or a dot goes into the address, anything else is refused.
bool IpAddressEdit::typeCharacter(const QString &text, bool afterAutoAdvance)
{
    if (text.size() != 1 || !text.front().isPrint())
        return false;
    const QChar c = text.front();
    if (c >= u'0' && c <= u'9')
        typeDigit(c);
    else if (c == u'.')
        typeDot(afterAutoAdvance);
    else
        refuse(QStringLiteral("0 to 255")); // the fields hold digits only
    return true;
}

void IpAddressEdit::copy() const
{
    QApplication::clipboard()->setText(PackedToAddressText(packedAddress()));
}

void IpAddressEdit::paste()
{
    const std::optional<quint32> packed = PastedAddressToPacked(QApplication::clipboard()->text());
    if (!packed) {
        refuse(QStringLiteral("Not an address: a.b.c.d, each 0 to 255"));
        return;
    }
    for (int k = 0; k < FieldCount; ++k)
        m_text[k] = QString::number((*packed >> (8 * (FieldCount - 1 - k))) & 0xFF);
    m_allSelected = false;
    enterField(FieldCount - 1, int(m_text[FieldCount - 1].size()), false);
}

void IpAddressEdit::clearAll()
{
    for (QString &text : m_text)
        text.clear();
    enterField(0, 0, false);
}

// A refused key: the beep, and a hint under the field for a short while, shown on the window
// itself over whatever lies there, so that nothing in the window moves.
void IpAddressEdit::refuse(const QString &hint)
{
    QApplication::beep();
    QWidget *host = window();
    if (!m_hint || m_hint->parentWidget() != host) {
        delete m_hint;
        m_hint = new QLabel(host);
        m_hint->setObjectName(QStringLiteral("ipAddressHint"));
        m_hint->setFrameStyle(QFrame::Box | QFrame::Plain);
        m_hint->setMargin(2);
        m_hint->setForegroundRole(QPalette::ToolTipText);
        m_hint->setBackgroundRole(QPalette::ToolTipBase);
        m_hint->setAutoFillBackground(true);
        m_hint->setFont(font());
    }
    m_hint->setText(hint);
    m_hint->adjustSize();
    const QRect field = fieldRect(m_field);
    QPoint place = mapTo(host, QPoint(field.left(), height()));
    place.setX(qBound(0, place.x(), qMax(0, host->width() - m_hint->width())));
    if (place.y() + m_hint->height() > host->height()) // no room below: above the field
        place.setY(mapTo(host, QPoint(0, 0)).y() - m_hint->height());
    m_hint->move(place);
    m_hint->raise();
    m_hint->show();
    m_hintTimer.start();
}

void IpAddressEdit::typeDigit(QChar digit)
{
    QString &text = m_text[m_field];
    // A lone 0 gives way to the first digit typed into the field, wherever the caret stands.
    const bool replace = m_selected || (m_fresh && text == QStringLiteral("0"));
    m_fresh = false;
    const QString typed =
        replace ? QString(digit) : text.left(m_cursor) + digit + text.mid(m_cursor);
    if (typed.size() > MaxDigits || typed.toUInt() > MaxValue) {
        refuse(QStringLiteral("0 to 255"));
        return;
    }
    text = typed;
    m_cursor = replace ? 1 : m_cursor + 1;
    m_selected = false;
    if (m_cursor == MaxDigits && m_field < FieldCount - 1) {
        enterField(m_field + 1, 0, true);
        m_autoAdvanced = true;
    }
}

void IpAddressEdit::typeDot(bool afterAutoAdvance)
{
    if (afterAutoAdvance)
        return; // this dot ends the field that was just filled and left
    if (m_field < FieldCount - 1 && !m_text[m_field].isEmpty())
        enterField(m_field + 1, 0, true);
}

// Backspace and Delete on a selected field empty it; returns whether they did.
bool IpAddressEdit::clearSelectedField()
{
    m_fresh = false;
    if (!m_selected)
        return false;
    m_text[m_field].clear();
    m_cursor = 0;
    m_selected = false;
    return true;
}

void IpAddressEdit::backspace()
{
    if (clearSelectedField())
        return;
    if (m_cursor > 0) {
        m_text[m_field].remove(m_cursor - 1, 1);
        --m_cursor;
    } else if (m_field > 0) {
        enterField(m_field - 1, int(m_text[m_field - 1].size()), false);
    }
}

void IpAddressEdit::deleteForward()
{
    QString &text = m_text[m_field];
    if (!clearSelectedField() && m_cursor < text.size())
        text.remove(m_cursor, 1);
}

void IpAddressEdit::moveLeft()
{
    if (m_selected) {
        m_selected = false;
        m_cursor = 0;
    } else if (m_cursor > 0) {
        --m_cursor;
    } else if (m_field > 0) {
        enterField(m_field - 1, int(m_text[m_field - 1].size()), false);
    }
}

void IpAddressEdit::moveRight()
{
    if (m_selected) {
        m_selected = false;
        m_cursor = int(m_text[m_field].size());
    } else if (m_cursor < m_text[m_field].size()) {
        ++m_cursor;
    } else if (m_field < FieldCount - 1) {
        enterField(m_field + 1, 0, false);
    }
}
