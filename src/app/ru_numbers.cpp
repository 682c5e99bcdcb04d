#include "app/ru_numbers.h"

#include "common/text.h"

namespace yukt {

QString RuFloat(double value) { return QString::fromStdString(FloatToStr(value, ',')); }

QString RuFixed(double value, int decimals) {
    return QString::fromStdString(FixedStr(value, decimals, ','));
}

bool RuToFloat(const QString& text, double& value) {
    const std::string s = text.trimmed().toStdString();
    if (s.find('.') != std::string::npos) return false;
    return StrToFloatStrict(CommaToPoint(s), value);
}

double RuToFloatDef(const QString& text, double fallback) {
    double v = 0;
    return RuToFloat(text, v) ? v : fallback;
}

bool RuToInt(const QString& text, int& value) {
    const QString s = text.trimmed();
    if (s.isEmpty() || s.startsWith(QLatin1Char('$'))) return false;
    bool ok = false;
    const int v = s.toInt(&ok, 10);
    if (ok) value = v;
    return ok;
}

std::string CfgNumber(double value) { return CommaToPoint(FloatToStr(value, ',')); }

}  // namespace yukt
