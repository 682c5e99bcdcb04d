#include "sim/device_table.h"

#include <array>

namespace yukt::sim {

// Each model's device file defines its factory.
std::unique_ptr<SimModule> makeDevice745t();
std::unique_ptr<SimModule> makeDevice745x();
std::unique_ptr<SimModule> makeDevice745b();
std::unique_ptr<SimModule> makeDevice746x();
std::unique_ptr<SimModule> makeDevice747x();
std::unique_ptr<SimModule> makeDevice748x();
std::unique_ptr<SimModule> makeDevice748t();
std::unique_ptr<SimModule> makeDevice787d();
std::unique_ptr<SimModule> makeDevice735x();
std::unique_ptr<SimModule> makeDevice735r();
std::unique_ptr<SimModule> makeDevice735t();
std::unique_ptr<SimModule> makeDevice735d();
std::unique_ptr<SimModule> makeDevice735v();
std::unique_ptr<SimModule> makeDevice765x();
std::unique_ptr<SimModule> makeDevice795b();
std::unique_ptr<SimModule> makeDevice787x();
std::unique_ptr<SimModule> makeDevice788x();
std::unique_ptr<SimModule> makeDevice788t();
std::unique_ptr<SimModule> makeDevice788v();

namespace {

struct DeviceRow {
    std::string_view model;
    std::unique_ptr<SimModule> (*make)();
};

// One line per simulated model, in the system's model order.
constexpr DeviceRow kDevices[] = {
    {"745x", makeDevice745x},
    {"745b", makeDevice745b},
    {"745t", makeDevice745t},
    {"735x", makeDevice735x},
    {"735r", makeDevice735r},
    {"735t", makeDevice735t},
    {"735d", makeDevice735d},
    {"735v", makeDevice735v},
    {"746x", makeDevice746x},
    {"747x", makeDevice747x},
    {"748x", makeDevice748x},
    {"748t", makeDevice748t},
    {"765x", makeDevice765x},
    {"795b", makeDevice795b},
    {"787x", makeDevice787x},
    {"787d", makeDevice787d},
    {"788x", makeDevice788x},
    {"788t", makeDevice788t},
    {"788v", makeDevice788v},
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
