#include "sim/calibrator.h"

#include "sim/device_table.h"

namespace yukt::sim {

std::unique_ptr<SimModule> makeCalibratorGenerator() { return makeDevice("787x"); }

std::unique_ptr<SimModule> makeCalibratorFrequencyGenerator() {
    std::unique_ptr<SimModule> m = makeDevice("788t");
    m->flash().setParam(1, kCalibratorQuartzKHz);
    return m;
}

std::unique_ptr<SimModule> makeCalibratorMeter() {
    std::unique_ptr<SimModule> m = makeDevice("745t");
    m->flash().setParam(2, kMeterShuntOhm);
    m->flash().setParam(5, kMeterReferenceOhm);
    return m;
}

}  // namespace yukt::sim
