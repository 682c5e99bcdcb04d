#include "records/xml_text.h"

namespace yukt::records {

QString XmlIllegalCharacter(const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        bool bad = (c < 0x20 && c != 0x09 && c != 0x0A && c != 0x0D) || c == 0xFFFE || c == 0xFFFF;
        if (QChar::isHighSurrogate(c)) {
            if (i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode())) {
                ++i;
                continue;
            }
            bad = true;
        } else if (QChar::isLowSurrogate(c)) {
            bad = true;
        }
        if (bad) return QStringLiteral("U+%1").arg(static_cast<uint>(c), 4, 16, QChar('0')).toUpper();
    }
    return {};
}

QString XmlIllegalProblem(const QString& field, const QString& text) {
    const QString c = XmlIllegalCharacter(text);
    if (c.isEmpty()) return {};
    return QStringLiteral("%1: недопустимый управляющий символ %2").arg(field, c);
}

}  // namespace yukt::records
