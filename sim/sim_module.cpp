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

double SimModule::currentAtChannelMa(int channel) const {
    return m_role == Role::Meter ? physics().meterCurrentMa() : physics().inputCurrentMa(channel);
}

double SimModule::paramOr(int n, double fallback) const {
    return m_flash.param(n).value_or(fallback);
}

void SimModule::cutPowerAfterWrites(int n) { m_writesBeforeCut = n > 0 ? n : 0; }

void SimModule::setPower(bool on) {
    if (on && !m_powered) {
        m_powered = true;
        powerOn();
    }
    if (!on) m_powered = false;
}

void SimModule::setFlashLag(bool on) {
    m_flashLag = on;
    m_lagging.clear();
}

void SimModule::clearFaults() {
    m_writesBeforeCut = 0;
    setFlashLag(false);
    setPower(true);
}

Answer SimModule::writeFlash(int cell, std::uint8_t value) {
    if (m_flashLag) m_lagging.emplace(cell, m_flash.read(cell));
    m_flash.write(cell, value);
    if (m_writesBeforeCut > 0 && --m_writesBeforeCut == 0) {
        m_powered = false;
        m_lagging.clear();
        return std::nullopt;
    }
    return Reply::ok();
}

std::uint8_t SimModule::readFlash(int cell) {
    const auto lag = m_lagging.find(cell);
    if (lag == m_lagging.end()) return m_flash.read(cell);
    const std::uint8_t before = lag->second;
    m_lagging.erase(lag);
    return before;
}

Answer SimModule::request(int command, std::span<const std::uint8_t> data) {
    if (!m_powered) return std::nullopt;
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
        return Reply::ok({readFlash(cell)});
    }
    if (data.size() == 3 && data[0] < ids::kFlashReadTag)
        return writeFlash(data[0] * 256 + data[1], data[2]);
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
