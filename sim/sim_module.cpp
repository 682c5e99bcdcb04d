#include "sim/sim_module.h"

#include "common/module_ids.h"
#include "sim/bench.h"

namespace yukt::sim {

namespace {

// The identification reply carries at most this many characters.
constexpr std::size_t kIdentLength = 8;

std::string defaultIdent(std::string_view model) {
    for (const ids::ModelType& t : ids::kModelTypes)
        if (t.model == model)
            return std::string(t.type) + ids::kDefaultVariant + std::string(ids::kDefaultVersion);
    return "?????" + std::string(1, ids::kDefaultVariant) + std::string(ids::kDefaultVersion);
}

}  // namespace

SimModule::SimModule(std::string model)
    : m_model(std::move(model)), m_ident(defaultIdent(m_model)) {
    m_flash.setAddress(1);
}

SimModule::~SimModule() = default;

void SimModule::powerOn() {
    m_address = m_flash.address().value_or(-1);
    onReset();
}

void SimModule::attach(Bench* bench, Role role) {
    m_bench = bench;
    m_role = role;
}

Physics& SimModule::physics() { return m_bench ? m_bench->physics() : m_ownPhysics; }
const Physics& SimModule::physics() const { return m_bench ? m_bench->physics() : m_ownPhysics; }
double SimModule::now() const { return m_bench ? m_bench->now() : 0.0; }

double SimModule::currentAtInputMa() const {
    return m_role == Role::Meter ? physics().meterCurrentMa() : physics().inputCurrentMa();
}

double SimModule::paramOr(int n, double fallback) const {
    return m_flash.param(n).value_or(fallback);
}

Answer SimModule::request(int command, std::span<const std::uint8_t> data) {
    if (command == ids::kResetCommand && data.empty()) {
        // The reply goes out first; the module then restarts with its FLASH.
        powerOn();
        return Reply::ok();
    }
    if (command == ids::kIdentCommand) return identify(data);
    return onCommand(command, data);
}

Answer SimModule::identify(std::span<const std::uint8_t> data) {
    if (data.empty()) {
        const std::string text = m_ident.substr(0, kIdentLength);
        return Reply::ok(std::vector<std::uint8_t>(text.begin(), text.end()));
    }
    if (data.size() == 2 && data[0] >= ids::kFlashReadTag) {
        const int cell = (data[0] - ids::kFlashReadTag) * 256 + data[1];
        if (cell >= ids::kFlashSize) return Reply::refused();
        return Reply::ok({m_flash.read(cell)});
    }
    if (data.size() == 3 && data[0] < ids::kFlashReadTag) {
        m_flash.write(data[0] * 256 + data[1], data[2]);
        return Reply::ok();
    }
    return Reply::refused();
}

void putLe(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

std::uint64_t getLe(std::span<const std::uint8_t> in, std::size_t offset, int bytes) {
    std::uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        const std::size_t at = offset + static_cast<std::size_t>(i);
        v = (v << 8) | (at < in.size() ? in[at] : 0);
    }
    return v;
}

}  // namespace yukt::sim
