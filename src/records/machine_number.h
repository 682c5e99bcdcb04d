#pragma once
// Numbers kept as text in the database (readings, remembered settings) and
// given on the command line: "." as decimal mark whatever the process locale
// is, through the project's C-locale helpers.

#include <QString>
#include <optional>

namespace yukt::records {

// Shortest form with up to 15 significant digits: 4.0025, 1E-7.
QString MachineNumber(double value);
// The whole text, blanks around it allowed; nothing for anything else,
// "nan" and "inf" included.
std::optional<double> MachineNumberOf(const QString& text);

}  // namespace yukt::records
