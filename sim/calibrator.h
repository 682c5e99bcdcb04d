#pragma once
// The calibrator's reference modules as the bench installs them, with the
// calibration values their FLASH keeps for the workstation's start-up.

#include <memory>

#include "sim/sim_module.h"

namespace yukt::sim {

// Parameter 1 of the frequency generator: its quartz, kHz.
inline constexpr double kCalibratorQuartzKHz = 7374.6075;
// Parameters 2 and 5 of the meter: its shunt and reference resistor, ohm.
inline constexpr double kMeterShuntOhm = 99.87;
inline constexpr double kMeterReferenceOhm = 100.02;

std::unique_ptr<SimModule> makeCalibratorGenerator();           // 787x
std::unique_ptr<SimModule> makeCalibratorFrequencyGenerator();  // 788t
std::unique_ptr<SimModule> makeCalibratorMeter();               // 745t

}  // namespace yukt::sim
