// SPDX-License-Identifier: MIT
#include "ipaddressaccessible.h"

#include "addresstext.h"
#include "ipaddressedit.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPointer>
#include <QWindow>

namespace {

// One field: editable text whose text is its digits, so that a screen reader reads what is
// typed into it.
class FieldAccessible final : public QAccessibleInterface, public QAccessibleTextInterface
{
public:
    FieldAccessible(IpAddressEdit *edit, int field) : m_edit(edit), m_field(field) {}

    bool isValid() const override { return !m_edit.isNull(); }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override { return m_edit ? m_edit->window()->windowHandle() : nullptr; }
    QAccessibleInterface *parent() const override
    {
        return QAccessible::queryAccessibleInterface(m_edit.data());
    }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    void *interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::TextInterface ? static_cast<QAccessibleTextInterface *>(this)
                                                  : nullptr;
    }

    QString text(QAccessible::Text t) const override
    {
        if (!m_edit)
            return {};
        if (t == QAccessible::Name)
            return QStringLiteral("%1 field %2")
                .arg(parent()->text(QAccessible::Name))
                .arg(m_field + 1);
        if (t == QAccessible::Value)
            return digits();
        return {};
    }
    void setText(QAccessible::Text, const QString &) override {}
    QRect rect() const override
    {
        if (!m_edit)
            return {};
        const QRect r = m_edit->fieldRect(m_field);
        return QRect(m_edit->mapToGlobal(r.topLeft()), r.size());
    }
    QAccessible::Role role() const override { return QAccessible::EditableText; }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        s.focusable = true;
        s.editable = true;
        s.focused = m_edit && m_edit->hasFocus() && m_edit->currentField() == m_field;
        s.invisible = !m_edit || !m_edit->isVisible();
        s.disabled = m_edit && !m_edit->isEnabled();
        return s;
    }

    // The text: the field's digits; the caret where the editor has it. Selections are not
    // reported: the editor selects whole fields only.
    QString text(int startOffset, int endOffset) const override
    {
        const QString all = digits();
        startOffset = qBound(0, startOffset, int(all.size()));
        endOffset = endOffset < 0 ? int(all.size()) : qBound(startOffset, endOffset, int(all.size()));
        return all.mid(startOffset, endOffset - startOffset);
    }
    int characterCount() const override { return int(digits().size()); }
    int cursorPosition() const override
    {
        return m_edit && m_edit->currentField() == m_field ? m_edit->cursorPosition() : 0;
    }
    void setCursorPosition(int) override {}
    void selection(int, int *startOffset, int *endOffset) const override
    {
        *startOffset = *endOffset = 0;
    }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    QRect characterRect(int) const override { return rect(); }
    int offsetAtPoint(const QPoint &) const override { return 0; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int, int *startOffset, int *endOffset) const override
    {
        *startOffset = 0;
        *endOffset = characterCount();
        return {};
    }

private:
    QString digits() const { return m_edit ? m_edit->fieldText(m_field) : QString(); }

    QPointer<IpAddressEdit> m_edit;
    int m_field;
};

class EditAccessible final : public QAccessibleWidget
{
public:
    explicit EditAccessible(IpAddressEdit *edit)
        : QAccessibleWidget(edit, QAccessible::Grouping, QStringLiteral("IP address"))
    {
    }
    ~EditAccessible() override
    {
        for (QAccessible::Id id : m_fields) {
            if (id)
                QAccessible::deleteAccessibleInterface(id);
        }
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return QStringLiteral("IP address");
        // The whole address is the value, and the description too: the desktop's bridge passes
        // a value on only when it is a number.
        if (t == QAccessible::Value || t == QAccessible::Description)
            return PackedToAddressText(edit()->packedAddress());
        return QAccessibleWidget::text(t);
    }

    int childCount() const override { return IpAddressEdit::FieldCount; }
    QAccessibleInterface *child(int index) const override
    {
        if (index < 0 || index >= IpAddressEdit::FieldCount)
            return nullptr;
        QAccessible::Id &id = m_fields[index];
        if (!id)
            id = QAccessible::registerAccessibleInterface(new FieldAccessible(edit(), index));
        return QAccessible::accessibleInterface(id);
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        for (int k = 0; k < IpAddressEdit::FieldCount; ++k) {
            if (m_fields[k] && QAccessible::accessibleInterface(m_fields[k]) == child)
                return k;
        }
        return -1;
    }
    QAccessibleInterface *childAt(int x, int y) const override
    {
        const QPoint local = edit()->mapFromGlobal(QPoint(x, y));
        for (int k = 0; k < IpAddressEdit::FieldCount; ++k) {
            if (edit()->fieldRect(k).contains(local))
                return child(k);
        }
        return nullptr;
    }

private:
    IpAddressEdit *edit() const { return static_cast<IpAddressEdit *>(widget()); }

    mutable QAccessible::Id m_fields[IpAddressEdit::FieldCount] = {};
};

QAccessibleInterface *describe(const QString &className, QObject *object)
{
    if (className == QLatin1String("IpAddressEdit") && object && object->isWidgetType())
        return new EditAccessible(static_cast<IpAddressEdit *>(object));
    return nullptr;
}

} // namespace

void installIpAddressAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(describe);
        return true;
    }();
    Q_UNUSED(installed);
}

void announceFieldChanges(IpAddressEdit *edit, const QString (&before)[IpAddressEdit::FieldCount])
{
    if (!QAccessible::isActive())
        return;
    QAccessibleInterface *box = QAccessible::queryAccessibleInterface(edit);
    bool changed = false;
    for (int k = 0; k < IpAddressEdit::FieldCount; ++k) {
        const QString now = edit->fieldText(k);
        if (now == before[k])
            continue;
        changed = true;
        QAccessibleTextUpdateEvent event(box->child(k), 0, before[k], now);
        QAccessible::updateAccessibility(&event);
    }
    if (!changed)
        return;
    // No value change: the desktop's bridge drops it, with a warning, for a value that is no
    // number.
    QAccessibleEvent description(edit, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&description);
}

void announceCurrentField(IpAddressEdit *edit)
{
    QAccessibleEvent event(edit, QAccessible::Focus);
    event.setChild(edit->currentField());
    QAccessible::updateAccessibility(&event);
}
