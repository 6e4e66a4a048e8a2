// SPDX-License-Identifier: MIT
#include "accessibility.h"

#include "colorbutton.h"
#include "lamp.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QGroupBox>
#include <QRadioButton>

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
    hide(); // shown for each notice
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
    // A control's latest change replaces its earlier one not yet spoken.
    m_changes.removeIf([source](const Change &change) { return change.source == source; });
    m_changes.append({source, text, unlessFocused});
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
    // Hidden and shown again: the screen reader presents a notification as it shows.
    hide();
    QAccessibleEvent renamed(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&renamed);
    show();
    emit announced(m_notice);
}
