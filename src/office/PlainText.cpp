#include "office/PlainText.h"

namespace PlainText {

QString visible(const QString &text)
{
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        const bool bidi = (u >= 0x202a && u <= 0x202e) || (u >= 0x2066 && u <= 0x2069);
        if (c.category() == QChar::Other_Control || c.category() == QChar::Separator_Line ||
            c.category() == QChar::Separator_Paragraph || bidi) {
            if (u == '\n')
                shown += QStringLiteral("\\n");
            else if (u == '\r')
                shown += QStringLiteral("\\r");
            else if (u == '\t')
                shown += QStringLiteral("\\t");
            else if (u < 0x100)
                shown += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
            else
                shown += QStringLiteral("\\u%1").arg(u, 4, 16, QLatin1Char('0'));
        } else {
            shown += c;
        }
    }
    return shown;
}

} // namespace PlainText
