// SPDX-License-Identifier: MIT
#pragma once

#include <QPushButton>

// A graphical push button whose face is painted in its own back colour, held as the
// window's colour value 0x00BBGGRR (red in the lowest byte): green 0xFF00, red 0xFF. Its
// accessible description says what the colour means for the output: "display attached",
// "no display" or "not reported yet", after a note when it has one ("Out1 Projector: display
// attached").
class ColorButton : public QPushButton
{
    Q_OBJECT

public:
    static constexpr quint32 green = 0x00FF00;
    static constexpr quint32 red = 0x0000FF;

    explicit ColorButton(const QString &text, QWidget *parent = nullptr);

    quint32 BackColor() const { return m_backColor; }
    void setBackColor(quint32 bgr);
    // Said before what the colour means; empty for none.
    void setNote(const QString &note);

    static QColor toQColor(quint32 bgr);
    static quint32 fromQColor(const QColor &color);
    static QString describe(quint32 bgr);

signals:
    // The back colour became another one.
    void backColorChanged(quint32 bgr);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void describeColour();

    quint32 m_backColor;
    QString m_note;
};
