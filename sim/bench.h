#pragma once
// The simulated calibrator bench: one Link line with the modules on it.
//
//  - The calibrator: current generator 787x at address 1, frequency and
//    interval generator 788t at 2, optionally the meter 745t at 4.
//  - The exchange bus: the module under test answers at address 0 while the
//    mode switch is at "Режим замены модуля" and at its FLASH address at
//    "Режим поверки"; the optional second module of a composite device
//    answers at 7 (at its own FLASH address in "Режим поверки").
//  - Any other module may be placed at a fixed address (driver tests).
//  - Physics shared by the modules (physics.h), a bench clock, faults on
//    request, a frame log.
//
// The host reaches the bench through connect(): an in-process ByteTransport
// whose replies are produced synchronously as the last byte of a request is
// written. The pseudo-terminal program feeds the same core through HostPort.
//
// Thread safety: every member function locks the bench. physics() and the
// module accessors hand out references; change what they refer to from
// another thread than the one exchanging frames only under lock().

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "link/byte_transport.h"
#include "link/trace_format.h"
#include "sim/bench_clock.h"
#include "sim/device_codec.h"
#include "sim/physics.h"
#include "sim/sim_module.h"

namespace yukt::sim {

// The calibrator's mode switch.
enum class ModeSwitch {
    Replacement,   // "Режим замены модуля": the module under test answers at 0
    Verification,  // "Режим поверки": it answers at its FLASH address
};

inline constexpr int kAnyAddress = -1;
inline constexpr int kForever = -1;

enum class FaultKind {
    Silence,    // no reply at all
    Refuse,     // the acceptance bit of the status byte is clear
    BadSum,     // the check sum is off by one
    Noise,      // `bytes` noise bytes (never 170) before the preamble
    TornFrame,  // only the first `bytes` bytes of the reply are sent
    ZeroBytes,  // instead of the reply, `bytes` zero bytes (a broken line)
    Disappear,  // the module goes away and answers nothing from then on
};

struct Fault {
    FaultKind kind = FaultKind::Silence;
    int address = kAnyAddress;  // requests to this address (kAnyAddress: all)
    int after = 0;              // replies that pass unharmed before it strikes
    int times = 1;              // replies it affects (kForever: every one)
    int bytes = 8;              // Noise, TornFrame, ZeroBytes: how many bytes
};

// One host connection to the line: decodes the host's bytes and produces the
// bytes the line sends back.
class HostPort {
  public:
    virtual ~HostPort() = default;
    // Feeds one byte from the host; returns the bytes the line answers with
    // (empty until a request frame is complete).
    virtual std::vector<std::uint8_t> feed(std::uint8_t b) = 0;
    // Bytes the line sent unasked (pushToHost, sendText) since the last call.
    virtual std::vector<std::uint8_t> takeUnasked() = 0;
};

// Addresses of the calibrator's modules and of the exchange bus.
inline constexpr int kGeneratorAddress = 1;
inline constexpr int kFrequencyGeneratorAddress = 2;
inline constexpr int kMeterAddress = 4;
inline constexpr int kUnderTestBusAddress = 0;  // in "Режим замены модуля"
inline constexpr int kSecondAddress = 7;

class Bench {
  public:
    Bench();
    ~Bench();
    Bench(const Bench&) = delete;
    Bench& operator=(const Bench&) = delete;

    std::unique_lock<std::recursive_mutex> lock() const;

    // ---- The calibrator ----
    // Places the calibrator's reference modules with their FLASH values: the
    // generator's quartz (parameter 1 of the 788t), the meter's shunt and
    // reference resistance (parameters 2 and 5 of the 745t).
    void installCalibrator(bool withMeter = true);
    void setMeter(bool present);            // adds or removes the 745t at address 4
    SimModule* generator() const;           // 787x at 1, or null
    SimModule* frequencyGenerator() const;  // 788t at 2, or null
    SimModule* meter() const;               // 745t at 4, or null

    // ---- Modules at fixed addresses ----
    // Places (or replaces) the module at the address 0..15, powering it on.
    SimModule& place(int address, std::unique_ptr<SimModule> module, Role role = Role::Free);
    std::unique_ptr<SimModule> remove(int address);
    SimModule* at(int address) const;

    // ---- The exchange bus ----
    SimModule& plugUnderTest(std::unique_ptr<SimModule> module);
    std::unique_ptr<SimModule> unplugUnderTest();
    SimModule* underTest() const;
    SimModule& plugSecond(std::unique_ptr<SimModule> module);
    std::unique_ptr<SimModule> unplugSecond();
    SimModule* second() const;
    void setModeSwitch(ModeSwitch position);
    ModeSwitch modeSwitch() const;

    // ---- Physics and time ----
    Physics& physics() { return m_physics; }
    const Physics& physics() const { return m_physics; }
    BenchClock& clock() { return m_clock; }
    double now() const;

    // ---- Faults ----
    void injectFault(const Fault& fault);
    // Also ends the faults of every module (SimModule) and powers it up.
    void clearFaults();

    // ---- The line ----
    // In-process transport for the link layer (see the header comment).
    std::unique_ptr<yukt::ByteTransport> connect();
    // The decoding core for other faces (the pseudo-terminal program).
    std::unique_ptr<HostPort> openPort();

    // Line speed in baud (default 9600): the duration of a byte on the wire.
    void setLineSpeed(int baud);
    int lineSpeed() const;
    double byteSeconds() const;
    // In-process transport: replies arrive 10 bit times per byte after the
    // request has passed, and reads wait for them in real time.
    void setWireTiming(bool on);
    bool wireTiming() const;
    // In-process transport: a read with nothing pending fails at once instead
    // of waiting its limit (default on: silence costs no time in tests).
    void setInstantTimeouts(bool on);
    bool instantTimeouts() const;

    // Bytes sent to every connected host unasked (noise, a console's text).
    void pushToHost(const std::vector<std::uint8_t>& bytes);
    void sendText(std::string_view text);  // as one text frame
    // Text frames the host has sent since the last call.
    std::vector<std::string> takeTextFrames();

    // One line per request and reply.
    void setFrameLog(std::function<void(const std::string&)> log);

    // Requests whose frame was complete, answered or not.
    std::uint64_t requestCount() const;

    // Serves one decoded request frame as the line would; returns the bytes
    // of the reply (empty: nobody answers).
    std::vector<std::uint8_t> serve(int address, int command, std::span<const std::uint8_t> data);

  private:
    struct Connection;
    class Transport;
    class Port;
    struct ActiveFault {
        Fault fault;
        int seen = 0;  // requests to its address so far
    };

    std::vector<std::uint8_t> hostByte(RequestDecoder& decoder, std::uint8_t b);
    void receivedText(std::string text);
    std::vector<SimModule*> answering(int address) const;
    const Fault* strikingFault(int address);
    // Lines of the host's trace format (link/trace_format.h).
    void note(std::string_view text) const;
    void logFrame(yukt::TraceDir dir, std::span<const std::uint8_t> bytes,
                  std::string_view remark = {}) const;
    void detachConnection(Connection* c);

    mutable std::recursive_mutex m_mutex;
    std::unique_ptr<SimModule> m_fixed[16];
    std::unique_ptr<SimModule> m_underTest;
    std::unique_ptr<SimModule> m_second;
    ModeSwitch m_switch = ModeSwitch::Replacement;
    Physics m_physics;
    BenchClock m_clock;
    std::vector<ActiveFault> m_faults;
    std::set<const SimModule*> m_gone;
    std::vector<Connection*> m_connections;
    std::vector<std::string> m_texts;
    std::function<void(const std::string&)> m_log;
    int m_baud = 9600;
    bool m_wireTiming = false;
    bool m_instantTimeouts = true;
    std::uint64_t m_requests = 0;
};

}  // namespace yukt::sim
