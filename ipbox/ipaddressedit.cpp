#include "ipaddressedit.h"

#include "addresstext.h"
#include "ipaddressaccessible.h"

#include <QApplication>
#include <QClipboard>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>

namespace {

constexpr int MaxDigits = 3;
constexpr int MaxValue = 255;
constexpr int InnerMargin = 2; // between the frame and the fields, as in a line edit
constexpr int HintMilliseconds = 2000;

QStyleOptionFrame frameOption(const QWidget *widget)
{
    QStyleOptionFrame opt;
    opt.initFrom(widget);
    opt.rect = widget->rect();
    opt.lineWidth = widget->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, widget);
    opt.midLineWidth = 0;
    opt.state |= QStyle::State_Sunken;
    return opt;
}

} // namespace

IpAddressEdit::IpAddressEdit(QWidget *parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    setAttribute(Qt::WA_KeyCompression, false);
    setCursor(Qt::IBeamCursor);
    setBackgroundRole(QPalette::Base);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    for (QString &text : m_text)
        text = QStringLiteral("0");
    installIpAddressAccessibility();
    m_hintTimer.setSingleShot(true);
    m_hintTimer.setInterval(HintMilliseconds);
    connect(&m_hintTimer, &QTimer::timeout, this, [this] {
        if (m_hint)
            m_hint->hide();
    });
}

IpAddressEdit::~IpAddressEdit()
{
    delete m_hint; // it stands on the window, which may outlive the editor
}

void IpAddressEdit::setPackedAddress(quint32 packed)
{
    for (int k = 0; k < FieldCount; ++k)
        m_text[k] = QString::number((packed >> (8 * (FieldCount - 1 - k))) & 0xFF);
    m_cursor = 0;
    m_selected = !m_text[m_field].isEmpty();
    m_autoAdvanced = false;
    m_allSelected = false;
    update();
}

quint32 IpAddressEdit::packedAddress() const
{
    quint32 packed = 0;
    for (int k = 0; k < FieldCount; ++k)
        packed = (packed << 8) | quint32(m_text[k].toUInt()); // blank: toUInt() gives 0
    return packed;
}

QString IpAddressEdit::fieldText(int field) const
{
    return field >= 0 && field < FieldCount ? m_text[field] : QString();
}

QSize IpAddressEdit::sizeHint() const
{
    const QFontMetrics fm(font());
    const QStyleOptionFrame opt = frameOption(this);
    const int width = FieldCount * fm.horizontalAdvance(QStringLiteral("2555")) +
                      (FieldCount - 1) * dotWidth() + 2 * (opt.lineWidth + InnerMargin);
    const int height = fm.height() + 2 * (opt.lineWidth + InnerMargin);
    return QSize(width, height);
}

QSize IpAddressEdit::minimumSizeHint() const
{
    const QFontMetrics fm(font());
    const QStyleOptionFrame opt = frameOption(this);
    return QSize(FieldCount * fm.horizontalAdvance(QStringLiteral("255")) +
                     (FieldCount - 1) * dotWidth() + 2 * opt.lineWidth,
                 fm.height() + 2 * opt.lineWidth);
}

QRect IpAddressEdit::contentsArea() const
{
    const QStyleOptionFrame opt = frameOption(this);
    const int inset = opt.lineWidth + InnerMargin;
    return rect().adjusted(inset, inset, -inset, -inset);
}

int IpAddressEdit::dotWidth() const
{
    return QFontMetrics(font()).horizontalAdvance(u'.') + 2;
}

// The fields share the width left between the three dots equally.
QRect IpAddressEdit::fieldRect(int field) const
{
    const QRect area = contentsArea();
    const int fieldWidth = (area.width() - (FieldCount - 1) * dotWidth()) / FieldCount;
    return QRect(area.left() + field * (fieldWidth + dotWidth()), area.top(), fieldWidth,
                 area.height());
}

int IpAddressEdit::textLeft(int field) const
{
    const QRect r = fieldRect(field);
    const int width = QFontMetrics(font()).horizontalAdvance(m_text[field]);
    return r.left() + (r.width() - width) / 2;
}

int IpAddressEdit::fieldAt(int x) const
{
    for (int k = 0; k < FieldCount - 1; ++k) {
        if (x < fieldRect(k).right() + dotWidth() / 2)
            return k;
    }
    return FieldCount - 1;
}

int IpAddressEdit::cursorAt(int field, int x) const
{
    const QFontMetrics fm(font());
    const int left = textLeft(field);
    const QString &text = m_text[field];
    int best = 0;
    for (int pos = 1; pos <= text.size(); ++pos) {
        if (qAbs(left + fm.horizontalAdvance(text.left(pos)) - x) <
            qAbs(left + fm.horizontalAdvance(text.left(best)) - x))
            best = pos;
    }
    return best;
}

void IpAddressEdit::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QStyleOptionFrame opt = frameOption(this);
    style()->drawPrimitive(QStyle::PE_PanelLineEdit, &opt, &p, this);

    const QFontMetrics fm(font());
    const QPalette &pal = opt.palette;
    const bool focused = hasFocus();
    const QRect area = contentsArea();
    const int textHeight = fm.height();
    const int textTop = area.top() + (area.height() - textHeight) / 2;

    const bool wholeShown = focused && m_allSelected;
    if (wholeShown) {
        const int last = FieldCount - 1;
        const int right = textLeft(last) + fm.horizontalAdvance(m_text[last]);
        p.fillRect(QRect(textLeft(0), textTop, right - textLeft(0), textHeight),
                   pal.brush(QPalette::Highlight));
    }
    const QColor textColor = pal.color(wholeShown ? QPalette::HighlightedText : QPalette::Text);
    for (int k = 0; k < FieldCount; ++k) {
        const QRect textRect(textLeft(k), textTop, fm.horizontalAdvance(m_text[k]), textHeight);
        if (focused && k == m_field && m_selected && !m_allSelected) {
            p.fillRect(textRect, pal.brush(QPalette::Highlight));
            p.setPen(pal.color(QPalette::HighlightedText));
        } else {
            p.setPen(textColor);
        }
        p.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter, m_text[k]);

        if (k < FieldCount - 1) {
            p.setPen(textColor);
            const QRect field = fieldRect(k);
            p.drawText(QRect(field.right() + 1, textTop, dotWidth(), textHeight), Qt::AlignCenter,
                       QStringLiteral("."));
        }
    }

    if (focused && !m_selected && !m_allSelected) {
        const int x = textLeft(m_field) + fm.horizontalAdvance(m_text[m_field].left(m_cursor));
        p.fillRect(QRect(x, textTop, 1, textHeight), pal.color(QPalette::Text));
    }
}

namespace {

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
    return QWidget::event(event);
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
    if (m_allSelected) {
        // Typing or deleting replaces the whole selected address; any other key only ends
        // the selection and then does what it always does.
        m_allSelected = false;
        const QString text = event->text();
        const bool digit = text.size() == 1 && text.front() >= u'0' && text.front() <= u'9';
        if (digit || event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete) {
            clearAll();
            if (!digit) {
                event->accept();
                update();
                return;
            }
        }
    }
    switch (event->key()) {
    case Qt::Key_Backspace:
        backspace();
        break;
    case Qt::Key_Delete:
        deleteForward();
        break;
    case Qt::Key_Left:
        moveLeft();
        break;
    case Qt::Key_Right:
        moveRight();
        break;
    case Qt::Key_Home:
        enterField(0, 0, false);
        break;
    case Qt::Key_End:
        enterField(FieldCount - 1, int(m_text[FieldCount - 1].size()), false);
        break;
    default: {
        const QString text = event->text();
        if (text.size() != 1 || !text.front().isPrint()) {
            event->ignore();
            return;
        }
        const QChar c = text.front();
        if (c >= u'0' && c <= u'9')
            typeDigit(c);
        else if (c == u'.')
            typeDot(afterAutoAdvance);
        else
            refuse(QStringLiteral("0 to 255")); // the fields hold digits only
        break;
    }
    }
    event->accept();
    update();
}

void IpAddressEdit::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_autoAdvanced = false;
    m_allSelected = false;
    const int x = event->position().toPoint().x();
    const int field = fieldAt(x);
    enterField(field, 0, false);
    m_cursor = cursorAt(field, x);
    m_fresh = true;
    update();
}

void IpAddressEdit::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseDoubleClickEvent(event);
        return;
    }
    m_allSelected = false;
    enterField(fieldAt(event->position().toPoint().x()), 0, true);
    update();
}

void IpAddressEdit::focusInEvent(QFocusEvent *event)
{
    // Tab starts at the first field, Shift+Tab at the last; a click places the caret itself
    // (mousePressEvent), and getting the window back keeps the caret where it was.
    if (event->reason() == Qt::TabFocusReason)
        enterField(0, 0, true);
    else if (event->reason() == Qt::BacktabFocusReason)
        enterField(FieldCount - 1, 0, true);
    m_autoAdvanced = false;
    m_fresh = true;
    QWidget::focusInEvent(event);
    announceCurrentField(this);
    update();
}

void IpAddressEdit::focusOutEvent(QFocusEvent *event)
{
    m_allSelected = false;
    tidyField(m_field);
    QWidget::focusOutEvent(event);
    update();
}

void IpAddressEdit::hideEvent(QHideEvent *event)
{
    if (m_hint) // the hint goes with the field it is about
        m_hint->hide();
    QWidget::hideEvent(event);
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

void IpAddressEdit::enterField(int field, int cursor, bool selectAll)
{
    const bool moved = field != m_field;
    if (moved)
        tidyField(m_field);
    m_field = field;
    m_cursor = qBound(0, cursor, int(m_text[field].size()));
    m_selected = selectAll && !m_text[field].isEmpty();
    if (moved)
        m_fresh = true;
    if (moved && hasFocus())
        announceCurrentField(this);
}

// A field left behind shows its number without leading zeros ("010" -> "10"); a blank field
// stays blank.
void IpAddressEdit::tidyField(int field)
{
    if (!m_text[field].isEmpty())
        m_text[field] = QString::number(m_text[field].toUInt());
    if (field == m_field)
        m_cursor = qMin(m_cursor, int(m_text[field].size()));
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

void IpAddressEdit::backspace()
{
    m_fresh = false;
    QString &text = m_text[m_field];
    if (m_selected) {
        text.clear();
        m_cursor = 0;
        m_selected = false;
    } else if (m_cursor > 0) {
        text.remove(m_cursor - 1, 1);
        --m_cursor;
    } else if (m_field > 0) {
        enterField(m_field - 1, int(m_text[m_field - 1].size()), false);
    }
}

void IpAddressEdit::deleteForward()
{
    m_fresh = false;
    QString &text = m_text[m_field];
    if (m_selected) {
        text.clear();
        m_cursor = 0;
        m_selected = false;
    } else if (m_cursor < text.size()) {
        text.remove(m_cursor, 1);
    }
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
