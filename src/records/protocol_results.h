// The "Результаты поверки" part of a protocol: for a record made by a
// methodology, each operation with its answer, the error tables per physical
// channel and the error chart; for a record of a single procedure, a table
// per channel as it was measured.
#pragma once

#include <QList>

#include "records/page_flow.h"
#include "records/record.h"

namespace yukt::records {

QList<FlowBlock> ResultBlocks(const Record& record);

// The software identification the record keeps (both modules of a
// composite); empty when none was obtained.
QString SoftwareIdentification(const Record& record);
// True when the record's plan checks the software (the results print the
// identification, the instrument's fields do not).
bool HasSoftwareItem(const Record& record);

// "соответствует", "не соответствует", "не измерено: reason"
QString PointVerdictText(const RecordPoint& point);

}  // namespace yukt::records
