// Twenty records over two years for the history, the statistics and the
// report: model 745t by a methodology's plan (an inspection, the software and
// two error points on channel 11, 4 and 20 mA, limit 0,05 mA), model 748t
// from a single procedure (4 and 12 mA, limit 0,1 mA), with a re-measured
// failure, stopped runs, a correction and a record left open. The expected
// figures in the tests are worked out by hand from the table in the .cpp.
#pragma once

#include <QString>

namespace yukt::records {
class RecordStore;
}

namespace yukt::records::test {

// Fills the store; false (with the store's error) when it fails.
bool FillAnalysisFixture(RecordStore& store, QString* error);

}  // namespace yukt::records::test
