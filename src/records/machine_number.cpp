#include "records/machine_number.h"

#include <cmath>

#include "common/text.h"

namespace yukt::records {

QString MachineNumber(double value) { return QString::fromStdString(FloatToStr(value)); }

std::optional<double> MachineNumberOf(const QString& text) {
    double v = 0;
    if (!StrToFloatStrict(text.trimmed().toStdString(), v) || !std::isfinite(v))
        return std::nullopt;
    return v;
}

}  // namespace yukt::records
