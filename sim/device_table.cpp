#include "sim/device_table.h"

#include <array>

namespace yukt::sim {

// Each model's device file defines its factory.
std::unique_ptr<SimModule> makeDevice745t();
std::unique_ptr<SimModule> makeDevice787x();
std::unique_ptr<SimModule> makeDevice788t();

namespace {

struct DeviceRow {
    std::string_view model;
    std::unique_ptr<SimModule> (*make)();
};

// One line per simulated model, in the system's model order.
constexpr DeviceRow kDevices[] = {
    {"745t", makeDevice745t},
    {"787x", makeDevice787x},
    {"788t", makeDevice788t},
};

}  // namespace

std::unique_ptr<SimModule> makeDevice(std::string_view model) {
    for (const DeviceRow& row : kDevices)
        if (row.model == model) return row.make();
    return nullptr;
}

std::vector<std::string_view> simulatedModels() {
    std::vector<std::string_view> out;
    for (const DeviceRow& row : kDevices) out.push_back(row.model);
    return out;
}

}  // namespace yukt::sim
