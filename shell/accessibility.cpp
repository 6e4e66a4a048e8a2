// SPDX-License-Identifier: MIT
#include "accessibility.h"

#include "colorbutton.h"
#include "lamp.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QHash>
#include <QGroupBox>
#include <QPointer>
#include <QRadioButton>
#include <QTabBar>
#include <QWindow>

namespace {

// Changes that arrive within this time are spoken as one notice: a status reply reports the
// four outputs in lines a few milliseconds apart.
constexpr int gatherMs = 100;

QString withoutMnemonic(QString caption)
{
    caption.replace(QLatin1String("&&"), QStringLiteral("\x01"));
    caption.remove(QLatin1Char('&'));
    return caption.replace(QLatin1Char('\x01'), QLatin1Char('&'));
}

// An option button as the accessibility layer describes one, except that "Toggle" (and
// "Press") click it after the screen reader's request has returned. The click runs the
// option's handler, which may show a modal box; done inside the request, the request would wait
// for the operator to close the box, and the screen reader would give up on it.
class OptionAccessible final : public QAccessibleWidget
{
public:
    explicit OptionAccessible(QRadioButton *option)
        : QAccessibleWidget(option, QAccessible::RadioButton)
    {
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return withoutMnemonic(option()->text());
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.checkable = true;
        s.checked = option()->isChecked();
        return s;
    }

    QStringList actionNames() const override
    {
        QStringList names;
        if (widget()->isEnabled())
            names << toggleAction();
        return names + QAccessibleWidget::actionNames();
    }

    void doAction(const QString &action) override
    {
        if (action != toggleAction() && action != pressAction()) {
            QAccessibleWidget::doAction(action);
            return;
        }
        if (widget()->isEnabled())
            QMetaObject::invokeMethod(option(), &QAbstractButton::click, Qt::QueuedConnection);
    }

private:
    QRadioButton *option() const { return static_cast<QRadioButton *>(widget()); }
};

// One tab of a tab bar: a page tab that is selected while its page shows, and that a screen
// reader may press to show the page.
class TabAccessible final : public QAccessibleInterface, public QAccessibleActionInterface
{
public:
    TabAccessible(QTabBar *bar, int index) : m_bar(bar), m_index(index) {}

    bool isValid() const override { return m_bar && m_index < m_bar->count(); }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override { return m_bar ? m_bar->window()->windowHandle() : nullptr; }
    QAccessibleInterface *parent() const override
    {
        return QAccessible::queryAccessibleInterface(m_bar.data());
    }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    void *interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface
                   ? static_cast<QAccessibleActionInterface *>(this)
                   : nullptr;
    }

    QString text(QAccessible::Text t) const override
    {
        if (!isValid())
            return {};
        if (t == QAccessible::Name)
            return withoutMnemonic(m_bar->tabText(m_index));
        if (t == QAccessible::Description)
            return m_bar->tabToolTip(m_index);
        return {};
    }
    void setText(QAccessible::Text, const QString &) override {}
    QRect rect() const override
    {
        if (!isValid())
            return {};
        const QRect r = m_bar->tabRect(m_index);
        return QRect(m_bar->mapToGlobal(r.topLeft()), r.size());
    }
    QAccessible::Role role() const override { return QAccessible::PageTab; }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        const bool current = m_bar->currentIndex() == m_index;
        s.focusable = true;
        s.selectable = true;
        s.selected = current;
        s.focused = current && m_bar->hasFocus();
        s.disabled = !m_bar->isEnabled() || !m_bar->isTabEnabled(m_index);
        s.invisible = !m_bar->isVisible() || !m_bar->isTabVisible(m_index);
        return s;
    }

    QStringList actionNames() const override
    {
        return state().disabled ? QStringList() : QStringList{pressAction()};
    }
    QStringList keyBindingsForAction(const QString &) const override { return {}; }
    void doAction(const QString &action) override
    {
        if (action == pressAction() && !state().disabled)
            QMetaObject::invokeMethod(m_bar.data(), "setCurrentIndex", Qt::QueuedConnection,
                                      Q_ARG(int, m_index));
    }

private:
    QPointer<QTabBar> m_bar;
    int m_index;
};

// A tab bar whose tabs are its children, the current one selected.
class TabBarAccessible final : public QAccessibleWidget
{
public:
    explicit TabBarAccessible(QTabBar *bar) : QAccessibleWidget(bar, QAccessible::PageTabList) {}
    ~TabBarAccessible() override
    {
        for (QAccessible::Id id : std::as_const(m_tabs))
            QAccessible::deleteAccessibleInterface(id);
    }

    int childCount() const override { return bar()->count(); }
    QAccessibleInterface *child(int index) const override
    {
        if (index < 0 || index >= bar()->count())
            return nullptr;
        if (!m_tabs.contains(index))
            m_tabs.insert(index, QAccessible::registerAccessibleInterface(
                                     new TabAccessible(bar(), index)));
        return QAccessible::accessibleInterface(m_tabs.value(index));
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        for (auto it = m_tabs.cbegin(); it != m_tabs.cend(); ++it) {
            if (QAccessible::accessibleInterface(it.value()) == child)
                return it.key();
        }
        return -1;
    }
    QAccessibleInterface *childAt(int x, int y) const override
    {
        const int index = bar()->tabAt(bar()->mapFromGlobal(QPoint(x, y)));
        return index >= 0 ? child(index) : nullptr;
    }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return withoutMnemonic(bar()->tabText(bar()->currentIndex()));
        return QAccessibleWidget::text(t);
    }

private:
    QTabBar *bar() const { return static_cast<QTabBar *>(widget()); }

    mutable QHash<int, QAccessible::Id> m_tabs;
};

// The spoken news: a notification named by its notice.
class NewsAccessible final : public QAccessibleWidget
{
public:
    explicit NewsAccessible(ChangeAnnouncer *news)
        : QAccessibleWidget(news, QAccessible::Notification)
    {
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name)
            return static_cast<const ChangeAnnouncer *>(widget())->notice();
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface *describe(const QString &className, QObject *object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    auto *widget = static_cast<QWidget *>(object);
    if (className == QLatin1String("QRadioButton"))
        return new OptionAccessible(static_cast<QRadioButton *>(widget));
    if (className == QLatin1String("QTabBar"))
        return new TabBarAccessible(static_cast<QTabBar *>(widget));
    if (className == QLatin1String("ChangeAnnouncer"))
        return new NewsAccessible(static_cast<ChangeAnnouncer *>(widget));
    // The top-level window is a frame, as a screen reader expects a main window to be.
    if (className == QLatin1String("Form1") && widget->isWindow())
        return new QAccessibleWidget(widget, QAccessible::Window);
    return nullptr;
}

} // namespace

void installWindowAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(describe);
        return true;
    }();
    Q_UNUSED(installed);
}

ChangeAnnouncer::ChangeAnnouncer(QWidget *window) : QWidget(window)
{
    installWindowAccessibility();
    setObjectName(QStringLiteral("changeAnnouncer"));
    setGeometry(0, 0, 0, 0);
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    // Never shown, so that it changes nothing in the window; each notice tells the screen
    // reader that it shows.
    hide();
    m_gather.setSingleShot(true);
    m_gather.setInterval(gatherMs);
    connect(&m_gather, &QTimer::timeout, this, &ChangeAnnouncer::announce);
}

QString ChangeAnnouncer::spokenSelection(const QRadioButton *option)
{
    if (!option->accessibleDescription().isEmpty())
        return option->accessibleDescription();
    const QString caption = withoutMnemonic(option->text());
    for (const QWidget *group = option->parentWidget(); group; group = group->parentWidget()) {
        const auto *frame = qobject_cast<const QGroupBox *>(group);
        QString name = group->accessibleName();
        if (name.isEmpty() && frame)
            name = frame->title();
        if (!name.isEmpty())
            return name + QStringLiteral(": ") + caption;
    }
    return caption;
}

void ChangeAnnouncer::watch(QRadioButton *option)
{
    connect(option, &QRadioButton::toggled, this, [this, option](bool on) {
        if (on)
            note(option, spokenSelection(option), true);
    });
}

void ChangeAnnouncer::watch(ColorButton *outButton)
{
    connect(outButton, &ColorButton::backColorChanged, this,
            [this, outButton] { note(outButton, outButton->accessibleDescription()); });
}

void ChangeAnnouncer::watch(Lamp *lamp)
{
    // The two lamps change together: the one that lights says what happened.
    connect(lamp, &Lamp::fillChanged, this, [this, lamp](int fill) {
        if (fill == 1)
            note(lamp, QAccessible::queryAccessibleInterface(lamp)->text(QAccessible::Name));
    });
}

void ChangeAnnouncer::note(QWidget *source, const QString &text, bool unlessFocused)
{
    if (!window()->isVisible() || text.isEmpty())
        return;
    // A control's latest change replaces its earlier one not yet spoken, so the list holds one
    // for each control at most; the time runs from the first, so a device that reports without
    // pause is still heard.
    m_changes.removeIf([source](const Change &change) { return change.source == source; });
    m_changes.append({source, text, unlessFocused});
    if (!m_gather.isActive())
        m_gather.start();
}

void ChangeAnnouncer::announce()
{
    QStringList texts;
    for (const Change &change : std::as_const(m_changes)) {
        if (change.source && !(change.unlessFocused && change.source->hasFocus()))
            texts.append(change.text);
    }
    m_changes.clear();
    if (texts.isEmpty())
        return;
    m_notice = texts.join(QStringLiteral(". "));
    // A screen reader presents a notification as it shows.
    QAccessibleEvent renamed(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&renamed);
    QAccessibleEvent shown(this, QAccessible::ObjectShow);
    QAccessible::updateAccessibility(&shown);
    emit announced(m_notice);
}
