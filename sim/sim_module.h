#pragma once
// The device side of one module of the line. Every simulated model derives
// from SimModule and answers its own commands in onCommand; the base answers
// what every module has in common: reset (command 0), identification and the
// FLASH requests (command 7), and the address latched from FLASH.
//
// A model is written from the request and reply layouts alone; it never
// includes driver code. Models are created by code through makeDevice
// (device_table.h), one line per model in device_table.cpp.

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sim/flash.h"
#include "sim/physics.h"

namespace yukt::sim {

class Bench;

// A module's answer: the acceptance bit of its status byte and the data.
struct Reply {
    bool accepted = true;
    std::vector<std::uint8_t> data;

    static Reply ok(std::vector<std::uint8_t> data = {}) { return {true, std::move(data)}; }
    static Reply refused(std::vector<std::uint8_t> data = {}) { return {false, std::move(data)}; }
};
// No value: the module stays silent.
using Answer = std::optional<Reply>;

// The place a module has on the bench; devices whose behaviour depends on it
// (a generator drives the inputs or the meter) look at it.
enum class Role {
    Free,                // on the line at its own address, not part of the calibrator
    Generator,           // the calibrator's current generator (787x, address 1)
    FrequencyGenerator,  // the calibrator's frequency generator (788t, address 2)
    Meter,               // the calibrator's meter (745t, address 4)
    UnderTest,           // the module on the exchange bus
    SecondUnderTest,     // the second module of a composite device
};

class SimModule {
  public:
    // model: the model code ("745t"); the identification text is the model's
    // type code, the default variant and version.
    explicit SimModule(std::string model);
    virtual ~SimModule();
    SimModule(const SimModule&) = delete;
    SimModule& operator=(const SimModule&) = delete;

    const std::string& model() const { return m_model; }
    const std::string& ident() const { return m_ident; }
    // At most 8 characters are sent.
    void setIdent(std::string ident) { m_ident = std::move(ident); }

    Flash& flash() { return m_flash; }
    const Flash& flash() const { return m_flash; }

    // Address the module answers at outside the exchange bus: its FLASH
    // address as it stood at power-on or at the last reset (-1: none valid).
    int address() const { return m_address; }
    // Power-on: latches the FLASH address and resets the model's state.
    void powerOn();

    // ---- Faults of the module itself ----
    // Power fails as the n-th FLASH write from now is stored: that write
    // stays in FLASH, its reply never comes, and the module answers nothing
    // until setPower(true). 0 disarms.
    void cutPowerAfterWrites(int n);
    // Off: the module answers nothing. On (after off): it powers up again
    // with what its FLASH holds.
    void setPower(bool on);
    bool powered() const { return m_powered; }
    // FLASH read-back lags: the first read of a cell after a write to it
    // still gives the value the cell had before.
    void setFlashLag(bool on);
    // Ends the module's faults and powers it up again.
    void clearFaults();

    // One request addressed to this module.
    Answer request(int command, std::span<const std::uint8_t> data);

    Role role() const { return m_role; }
    // Set by the bench when it places or removes the module.
    void attach(Bench* bench, Role role);

  protected:
    // The model's own commands (everything but 0 and 7).
    virtual Answer onCommand(int command, std::span<const std::uint8_t> data) = 0;
    // After power-on and after a reset command; the address is latched already.
    virtual void onReset() {}

    // The shared physics of the bench, or a private default when the module
    // is not on a bench.
    Physics& physics();
    const Physics& physics() const;
    // Bench time in seconds (0 when not on a bench).
    double now() const;
    Bench* bench() const { return m_bench; }
    // The current at this module's current inputs, mA: the meter sees a
    // generator under test, every other input the calibrator's generator.
    double currentAtInputMa() const;
    // The same at channel `channel` (from 1) of a multi-channel current input.
    double currentAtChannelMa(int channel) const;
    // FLASH parameter n as a number, or the fallback when it is not set.
    double paramOr(int n, double fallback) const;

  private:
    Answer identify(std::span<const std::uint8_t> data);
    Answer writeFlash(int cell, std::uint8_t value);
    std::uint8_t readFlash(int cell);

    std::string m_model;
    std::string m_ident;
    Flash m_flash;
    int m_address = -1;
    Role m_role = Role::Free;
    Bench* m_bench = nullptr;
    Physics m_ownPhysics;
    bool m_powered = true;
    int m_writesBeforeCut = 0;  // 0: no power cut armed
    bool m_flashLag = false;
    std::map<int, std::uint8_t> m_lagging;  // cell -> value a read still gives
};

// Little-endian helpers for model replies.
void putLe(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes);
std::uint64_t getLe(std::span<const std::uint8_t> in, std::size_t offset, int bytes);

}  // namespace yukt::sim
