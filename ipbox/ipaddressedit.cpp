// SPDX-License-Identifier: MIT
#include "ipaddressedit.h"

#include "ipaddressaccessible.h"

#include <algorithm>
#include <iterator>

#include <QFocusEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>

namespace {

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
    QString before[FieldCount];
    std::copy(std::begin(m_text), std::end(m_text), std::begin(before));
    for (int k = 0; k < FieldCount; ++k)
        m_text[k] = QString::number((packed >> (8 * (FieldCount - 1 - k))) & 0xFF);
    announceFieldChanges(this, before);
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
