#pragma once
// Creation of simulated modules by model code. The table lives in
// device_table.cpp, one line per model; a model's device file defines its
// factory function.

#include <memory>
#include <string_view>
#include <vector>

#include "sim/sim_module.h"

namespace yukt::sim {

// A new module of that model with its model's default FLASH contents and
// FLASH address 1 (not yet latched: place it on a bench or call powerOn);
// null for a model code that has no simulation.
std::unique_ptr<SimModule> makeDevice(std::string_view model);

// Model codes that makeDevice knows, in table order.
std::vector<std::string_view> simulatedModels();

}  // namespace yukt::sim
