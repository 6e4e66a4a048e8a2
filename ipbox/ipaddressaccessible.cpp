#include "ipaddressaccessible.h"

#include "addresstext.h"
#include "ipaddressedit.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPointer>
#include <QWindow>

namespace {

class FieldAccessible final : public QAccessibleInterface
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

    QString text(QAccessible::Text t) const override
    {
        if (!m_edit)
            return {};
        if (t == QAccessible::Name)
            return QStringLiteral("%1 field %2")
                .arg(parent()->text(QAccessible::Name))
                .arg(m_field + 1);
        if (t == QAccessible::Value)
            return m_edit->fieldText(m_field);
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
        s.focused = m_edit && m_edit->hasFocus() && m_edit->currentField() == m_field;
        s.invisible = !m_edit || !m_edit->isVisible();
        return s;
    }

private:
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
        if (t == QAccessible::Value)
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

void announceCurrentField(IpAddressEdit *edit)
{
    QAccessibleEvent event(edit, QAccessible::Focus);
    event.setChild(edit->currentField());
    QAccessible::updateAccessibility(&event);
}
