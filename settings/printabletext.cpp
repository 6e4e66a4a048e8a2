// SPDX-License-Identifier: MIT
#include "printabletext.h"

#include <QChar>

bool isControlCharacter(char32_t c)
{
    const QChar::Category category = QChar::category(c);
    return category == QChar::Other_Control || category == QChar::Separator_Line ||
           category == QChar::Separator_Paragraph;
}

QString printableText(QStringView text, qsizetype maxLength)
{
    const QString ellipsis = QStringLiteral("\u2026");
    QString shown;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype start = i;
        char32_t c = text[i++].unicode();
        if (QChar::isHighSurrogate(c) && i < text.size() && text[i].isLowSurrogate())
            c = QChar::surrogateToUcs4(char16_t(c), text[i++].unicode());
        const QString piece = !isControlCharacter(c) ? text.sliced(start, i - start).toString()
                              : c < 0x100
                                  ? QStringLiteral("\\x%1").arg(uint(c), 2, 16, QLatin1Char('0'))
                                  : QStringLiteral("\\u%1").arg(uint(c), 4, 16, QLatin1Char('0'));
        // Room for the ellipsis stays free while more text follows.
        const bool more = i < text.size();
        if (shown.size() + piece.size() > maxLength - (more ? ellipsis.size() : 0))
            return shown + ellipsis;
        shown += piece;
    }
    return shown;
}
