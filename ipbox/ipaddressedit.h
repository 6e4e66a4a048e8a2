// SPDX-License-Identifier: MIT
#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>

class QLabel;

// A four-field IPv4 address editor that behaves like the platform's address entry window:
// a sunken line-edit frame with four decimal fields of 0..255 separated by dots.
//
// Keys: digits only; a third digit or "." moves on to the next field (a "." typed right after
// such a move is taken as the end of the full field and swallowed, so "192.168.1.100" can be
// typed as written); a field that holds just "0" when the caret comes into it takes the first
// digit typed in place of the 0; Backspace at the start of a field moves back into the
// previous one; Left/Right cross field borders; Home/End go to the first/last field.
// A digit that would make a field exceed 255, or a letter, is refused with a beep and the
// hint "0 to 255" under the field for two seconds: the field never shows a value the
// operator did not type. Ctrl+C copies the dotted address, Ctrl+A selects all of it, Ctrl+V
// or Shift+Insert pastes a dotted address into all four fields (other text is refused like a
// digit). The whole editor is one Tab stop: Tab enters the first field, Shift+Tab the last,
// and the next Tab leaves the editor. Blank fields are allowed and read as 0.
class IpAddressEdit : public QWidget
{
    Q_OBJECT

public:
    static constexpr int FieldCount = 4;

    explicit IpAddressEdit(QWidget *parent = nullptr);
    ~IpAddressEdit() override;

    // a.b.c.d as a x 2^24 + b x 2^16 + c x 2^8 + d; a blank field reads as 0.
    void setPackedAddress(quint32 packed);
    quint32 packedAddress() const;

    // The text of one field as shown (may be blank while editing), and the field with the caret.
    QString fieldText(int field) const;
    int currentField() const { return m_field; }
    int cursorPosition() const { return m_cursor; }
    // The rectangle of one field inside the editor.
    QRect fieldRect(int field) const;
    // Ctrl+A: every field is selected, typing or deleting replaces the whole address.
    bool allSelected() const { return m_allSelected; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    QRect contentsArea() const;
    int dotWidth() const;
    int textLeft(int field) const;
    int fieldAt(int x) const;
    int cursorAt(int field, int x) const;

    bool handleShortcut(QKeyEvent *event);
    bool replaceSelectedAddress(const QKeyEvent *event);
    bool editKey(const QKeyEvent *event, bool afterAutoAdvance);
    bool typeCharacter(const QString &text, bool afterAutoAdvance);
    void copy() const;
    void paste();
    void clearAll();
    void refuse(const QString &hint);
    void enterField(int field, int cursor, bool selectAll);
    void tidyField(int field);
    void typeDigit(QChar digit);
    void typeDot(bool afterAutoAdvance);
    bool clearSelectedField();
    void backspace();
    void deleteForward();
    void moveLeft();
    void moveRight();

    QString m_text[FieldCount];
    int m_field = 0;             // field with the caret
    int m_cursor = 0;            // caret position inside that field
    bool m_selected = false;     // the whole current field is selected (typing replaces it)
    bool m_autoAdvanced = false; // the last key filled a field and moved on
    bool m_allSelected = false;  // Ctrl+A: the whole address is selected
    bool m_fresh = true;         // nothing typed into the current field since the caret came

    // The hint shown after a refused key. It stands on the window, not on the editor, so it
    // can lie under the field without clipping and without moving anything.
    QPointer<QLabel> m_hint;
    QTimer m_hintTimer;
};
