#include "ipbox.h"

#include "addresstext.h"
#include "ipaddressedit.h"

#include <QApplication>
#include <QResizeEvent>

ipBox::ipBox(QWidget *parent) : QWidget(parent)
{
    setAccessibleName(QStringLiteral("IP address"));
    resize(sizeHint());
    UserControl_Initialize();
}

void ipBox::UserControl_Initialize()
{
    CreateTextBox();
    setAddress(QStringLiteral("0.0.0.0"));
}

void ipBox::CreateTextBox()
{
    delete m_edit; // a second call replaces the editor instead of stacking another one
    m_edit = new IpAddressEdit(this);
    m_edit->setGeometry(QRect(QPoint(0, 0), contentsRect().size()));

    // The editor uses the application's GUI font, not whatever font the container has.
    // Marking every property as set stops the container's font from propagating into it.
    QFont guiFont = QApplication::font();
    guiFont.setResolveMask(QFont::AllPropertiesResolved);
    m_edit->setFont(guiFont);

    // The box stands in its container's tab order as one stop; focusing it (Tab, setFocus, a
    // buddy label) enters the editor.
    setFocusPolicy(m_edit->focusPolicy());
    setFocusProxy(m_edit);
    m_edit->show();
}

void ipBox::UserControl_Resize()
{
    if (!m_edit)
        return;
    m_edit->setGeometry(QRect(QPoint(0, 0), contentsRect().size()));
}

void ipBox::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    UserControl_Resize();
}

QString ipBox::Address() const
{
    return PackedToAddressText(m_edit ? m_edit->packedAddress() : 0);
}

void ipBox::setAddress(const QString &NewIP)
{
    const quint32 packed = AddressTextToPacked(NewIP); // throws before the editor is touched
    if (m_edit)
        m_edit->setPackedAddress(packed);
}

qint16 ipBox::CountIF(const QString &lzExpr, const QString &nChar) const
{
    return ::CountIF(lzExpr, nChar);
}

QSize ipBox::sizeHint() const
{
    return QSize(2100 / 15, 345 / 15);
}
