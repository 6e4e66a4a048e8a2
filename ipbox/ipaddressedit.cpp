#include "ipaddressedit.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>

namespace {

constexpr int MaxDigits = 3;
constexpr int MaxValue = 255;
constexpr int InnerMargin = 2; // between the frame and the fields, as in a line edit

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
}

void IpAddressEdit::setPackedAddress(quint32 packed)
{
    for (int k = 0; k < FieldCount; ++k)
        m_text[k] = QString::number((packed >> (8 * (FieldCount - 1 - k))) & 0xFF);
    m_cursor = 0;
    m_selected = !m_text[m_field].isEmpty();
    m_autoAdvanced = false;
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

    for (int k = 0; k < FieldCount; ++k) {
        const QRect textRect(textLeft(k), textTop, fm.horizontalAdvance(m_text[k]), textHeight);
        if (focused && k == m_field && m_selected) {
            p.fillRect(textRect, pal.brush(QPalette::Highlight));
            p.setPen(pal.color(QPalette::HighlightedText));
        } else {
            p.setPen(pal.color(QPalette::Text));
        }
        p.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter, m_text[k]);

        if (k < FieldCount - 1) {
            p.setPen(pal.color(QPalette::Text));
            const QRect field = fieldRect(k);
            p.drawText(QRect(field.right() + 1, textTop, dotWidth(), textHeight), Qt::AlignCenter,
                       QStringLiteral("."));
        }
    }

    if (focused && !m_selected) {
        const int x = textLeft(m_field) + fm.horizontalAdvance(m_text[m_field].left(m_cursor));
        p.fillRect(QRect(x, textTop, 1, textHeight), pal.color(QPalette::Text));
    }
}

void IpAddressEdit::keyPressEvent(QKeyEvent *event)
{
    const bool afterAutoAdvance = m_autoAdvanced;
    m_autoAdvanced = false;

    // Shortcuts (Ctrl, Alt, Meta) and keys the editor has no use for, such as Return and
    // Escape, go on to the window; Shift is allowed with the movement keys.
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) {
        event->ignore();
        return;
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
        // Any other printable character is swallowed, as the fields hold digits only.
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
    const int x = event->position().toPoint().x();
    const int field = fieldAt(x);
    if (field != m_field)
        tidyField(m_field);
    m_field = field;
    m_cursor = cursorAt(field, x);
    m_selected = false;
    update();
}

void IpAddressEdit::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseDoubleClickEvent(event);
        return;
    }
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
    QWidget::focusInEvent(event);
    update();
}

void IpAddressEdit::focusOutEvent(QFocusEvent *event)
{
    tidyField(m_field);
    QWidget::focusOutEvent(event);
    update();
}

void IpAddressEdit::enterField(int field, int cursor, bool selectAll)
{
    if (field != m_field)
        tidyField(m_field);
    m_field = field;
    m_cursor = qBound(0, cursor, int(m_text[field].size()));
    m_selected = selectAll && !m_text[field].isEmpty();
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
    const QString typed =
        m_selected ? QString(digit) : text.left(m_cursor) + digit + text.mid(m_cursor);
    if (typed.size() > MaxDigits || typed.toUInt() > MaxValue) {
        QApplication::beep();
        return;
    }
    text = typed;
    m_cursor = m_selected ? 1 : m_cursor + 1;
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
