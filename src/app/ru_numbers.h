#pragma once
// Numbers as the operator sees and types them: decimal comma, whatever the
// process locale is. Commands and configuration files keep the point.

#include <QString>
#include <string>

namespace yukt {

// Shortest general form with a decimal comma: 12 -> "12", 0.5 -> "0,5".
QString RuFloat(double value);
// Fixed notation with `decimals` decimals and a decimal comma.
QString RuFixed(double value, int decimals);
// A number typed with a decimal comma (blanks around it allowed); a point,
// an empty text or anything else that is not a number gives false.
bool RuToFloat(const QString& text, double& value);
// The value, or `fallback` when the text is not a number.
double RuToFloatDef(const QString& text, double fallback);
// A whole decimal number (optional sign), blanks around it allowed.
bool RuToInt(const QString& text, int& value);

// A number for a command or a configuration file: shortest form, point.
std::string CfgNumber(double value);

}  // namespace yukt
