#include "sim/bench.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <utility>

#include "link/trace_format.h"
#include "sim/calibrator.h"
#include "sim/device_codec.h"

namespace yukt::sim {

namespace {

// A byte on the line: start bit, 8 data bits, stop bit.
constexpr int kBitsPerByte = 10;
// Noise bytes before a preamble: printable line garbage, never a sync byte.
constexpr std::uint8_t kNoise[] = {0x4E, 0x6F, 0x69, 0x73, 0x65, 0x21, 0x3F, 0x07};

// The line's name in the frame log; the host's trace names its COM port.
constexpr char kLogLine[] = "bench";

}  // namespace

// ---------------------------------------------------------------------------
// Connections

struct Bench::Connection {
    using Clock = std::chrono::steady_clock;
    struct Pending {
        std::uint8_t byte;
        Clock::time_point at;
    };

    Bench* bench = nullptr;  // null once the bench is gone
    RequestDecoder decoder;
    std::deque<Pending> inbound;
    std::condition_variable_any arrived;
    Clock::time_point lineFreeAt{};
};

std::vector<std::uint8_t> Bench::hostByte(RequestDecoder& decoder, std::uint8_t b) {
    m_clock.advance(byteSeconds());
    switch (decoder.push(b)) {
        case RequestDecoder::Step::NeedMore:
            return {};
        case RequestDecoder::Step::Frame:
            logFrame(TraceDir::Sent, decoder.raw());
            return serve(decoder.address(), decoder.command(), decoder.data());
        case RequestDecoder::Step::Text:
            logFrame(TraceDir::Sent, decoder.raw());
            receivedText(decoder.text());
            return {};
        case RequestDecoder::Step::Broken:
            logFrame(TraceDir::Sent, decoder.raw());
            return {};
    }
    return {};
}

class Bench::Transport final : public yukt::ByteTransport {
  public:
    explicit Transport(std::shared_ptr<Connection> c) : m_c(std::move(c)) {}
    ~Transport() override {
        if (Bench* bench = m_c->bench) bench->detachConnection(m_c.get());
    }

  private:
    using Clock = Connection::Clock;

    bool doWrite(std::uint8_t b, std::chrono::milliseconds limit) override {
        return doWriteAll(&b, 1, limit);
    }

    // The whole frame under one lock, as one write reaches a device.
    bool doWriteAll(const std::uint8_t* data, std::size_t n, std::chrono::milliseconds) override {
        Bench* bench = m_c->bench;
        if (!bench) return false;
        auto lk = bench->lock();
        for (std::size_t i = 0; i < n; ++i) take(*bench, data[i]);
        return true;
    }

    // Bytes already on the line are dropped; those still travelling (wire
    // timing) are not there yet, as on a real port.
    std::size_t doDiscardInput() override {
        Bench* bench = m_c->bench;
        if (!bench) return 0;
        auto lk = bench->lock();
        std::size_t dropped = 0;
        const auto now = Clock::now();
        while (!m_c->inbound.empty() && m_c->inbound.front().at <= now) {
            m_c->inbound.pop_front();
            ++dropped;
        }
        return dropped;
    }

    bool doLost() const override { return m_c->bench == nullptr; }

    // One host byte into the bench; the caller holds the bench lock.
    void take(Bench& bench, std::uint8_t b) {
        const auto byteTime = std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(bench.byteSeconds()));
        const bool timed = bench.m_wireTiming;
        if (timed) m_c->lineFreeAt = std::max(Clock::now(), m_c->lineFreeAt) + byteTime;
        const std::vector<std::uint8_t> reply = bench.hostByte(m_c->decoder, b);
        Clock::time_point at = timed ? m_c->lineFreeAt : Clock::time_point{};
        for (std::uint8_t r : reply) {
            if (timed) at += byteTime;
            m_c->inbound.push_back({r, at});
        }
        if (timed && !reply.empty()) m_c->lineFreeAt = at;
        if (!reply.empty()) m_c->arrived.notify_all();
    }

    int doRead(std::chrono::milliseconds limit) override {
        Bench* bench = m_c->bench;
        if (!bench) return -1;
        const auto deadline = Clock::now() + limit;
        auto lk = bench->lock();
        for (;;) {
            if (!m_c->inbound.empty()) {
                const Connection::Pending next = m_c->inbound.front();
                if (next.at <= Clock::now()) {
                    m_c->inbound.pop_front();
                    return next.byte;
                }
                if (next.at > deadline) {
                    m_c->arrived.wait_until(lk, deadline);
                    if (m_c->inbound.empty() || m_c->inbound.front().at > Clock::now()) return -1;
                    continue;
                }
                m_c->arrived.wait_until(lk, next.at);
                continue;
            }
            if (bench->m_instantTimeouts || Clock::now() >= deadline) return -1;
            m_c->arrived.wait_until(lk, deadline);
            if (m_c->bench == nullptr) return -1;
        }
    }

    std::shared_ptr<Connection> m_c;
};

class Bench::Port final : public HostPort {
  public:
    explicit Port(std::shared_ptr<Connection> c) : m_c(std::move(c)) {}
    ~Port() override {
        if (Bench* bench = m_c->bench) bench->detachConnection(m_c.get());
    }

    std::vector<std::uint8_t> feed(std::uint8_t b) override {
        Bench* bench = m_c->bench;
        if (!bench) return {};
        auto lk = bench->lock();
        std::vector<std::uint8_t> out(m_c->inbound.size());
        std::transform(m_c->inbound.begin(), m_c->inbound.end(), out.begin(),
                       [](const Connection::Pending& p) { return p.byte; });
        m_c->inbound.clear();
        const std::vector<std::uint8_t> reply = bench->hostByte(m_c->decoder, b);
        out.insert(out.end(), reply.begin(), reply.end());
        return out;
    }

    std::vector<std::uint8_t> takeUnasked() override {
        Bench* bench = m_c->bench;
        if (!bench) return {};
        auto lk = bench->lock();
        std::vector<std::uint8_t> out;
        for (const Connection::Pending& p : m_c->inbound) out.push_back(p.byte);
        m_c->inbound.clear();
        return out;
    }

  private:
    std::shared_ptr<Connection> m_c;
};

// ---------------------------------------------------------------------------
// The bench

Bench::Bench() = default;

Bench::~Bench() {
    auto lk = lock();
    for (Connection* c : m_connections) {
        c->bench = nullptr;
        c->arrived.notify_all();
    }
    for (auto& m : m_fixed)
        if (m) m->attach(nullptr, Role::Free);
    if (m_underTest) m_underTest->attach(nullptr, Role::Free);
    if (m_second) m_second->attach(nullptr, Role::Free);
}

std::unique_lock<std::recursive_mutex> Bench::lock() const {
    return std::unique_lock<std::recursive_mutex>(m_mutex);
}

// ---- The calibrator ----

void Bench::installCalibrator(bool withMeter) {
    auto lk = lock();
    place(kGeneratorAddress, makeCalibratorGenerator(), Role::Generator);
    place(kFrequencyGeneratorAddress, makeCalibratorFrequencyGenerator(), Role::FrequencyGenerator);
    setMeter(withMeter);
}

void Bench::setMeter(bool present) {
    auto lk = lock();
    if (present) {
        if (!meter()) place(kMeterAddress, makeCalibratorMeter(), Role::Meter);
    } else if (meter()) {
        remove(kMeterAddress);
    }
}

SimModule* Bench::generator() const {
    SimModule* m = at(kGeneratorAddress);
    return m && m->role() == Role::Generator ? m : nullptr;
}

SimModule* Bench::frequencyGenerator() const {
    SimModule* m = at(kFrequencyGeneratorAddress);
    return m && m->role() == Role::FrequencyGenerator ? m : nullptr;
}

SimModule* Bench::meter() const {
    SimModule* m = at(kMeterAddress);
    return m && m->role() == Role::Meter ? m : nullptr;
}

// ---- Modules at fixed addresses ----

SimModule& Bench::place(int address, std::unique_ptr<SimModule> module, Role role) {
    auto lk = lock();
    const int slot = address & 15;
    remove(slot);
    module->flash().setAddress(slot);
    module->attach(this, role);
    module->powerOn();
    m_fixed[slot] = std::move(module);
    return *m_fixed[slot];
}

std::unique_ptr<SimModule> Bench::remove(int address) {
    auto lk = lock();
    std::unique_ptr<SimModule> m = std::move(m_fixed[address & 15]);
    if (m) {
        m_gone.erase(m.get());
        m->attach(nullptr, Role::Free);
    }
    return m;
}

SimModule* Bench::at(int address) const {
    auto lk = lock();
    return m_fixed[address & 15].get();
}

// ---- The exchange bus ----

SimModule& Bench::plugUnderTest(std::unique_ptr<SimModule> module) {
    auto lk = lock();
    unplugUnderTest();
    module->attach(this, Role::UnderTest);
    module->powerOn();
    m_underTest = std::move(module);
    return *m_underTest;
}

std::unique_ptr<SimModule> Bench::unplugUnderTest() {
    auto lk = lock();
    std::unique_ptr<SimModule> m = std::move(m_underTest);
    if (m) {
        m_gone.erase(m.get());
        m->attach(nullptr, Role::Free);
    }
    // What the module drove leaves with it.
    m_physics.underTestCurrentMa.reset();
    m_physics.feedbackDivider = 0.0;
    return m;
}

SimModule* Bench::underTest() const {
    auto lk = lock();
    return m_underTest.get();
}

SimModule& Bench::plugSecond(std::unique_ptr<SimModule> module) {
    auto lk = lock();
    unplugSecond();
    // The second module of a composite device sits at address 7.
    module->flash().setAddress(kSecondAddress);
    module->attach(this, Role::SecondUnderTest);
    module->powerOn();
    m_second = std::move(module);
    return *m_second;
}

std::unique_ptr<SimModule> Bench::unplugSecond() {
    auto lk = lock();
    std::unique_ptr<SimModule> m = std::move(m_second);
    if (m) {
        m_gone.erase(m.get());
        m->attach(nullptr, Role::Free);
    }
    return m;
}

SimModule* Bench::second() const {
    auto lk = lock();
    return m_second.get();
}

void Bench::setModeSwitch(ModeSwitch position) {
    auto lk = lock();
    m_switch = position;
    note(position == ModeSwitch::Replacement ? "switch: Режим замены модуля"
                                             : "switch: Режим поверки");
}

ModeSwitch Bench::modeSwitch() const {
    auto lk = lock();
    return m_switch;
}

double Bench::now() const {
    auto lk = lock();
    return m_clock.now();
}

// ---- Faults ----

void Bench::injectFault(const Fault& fault) {
    auto lk = lock();
    m_faults.push_back({fault, 0});
}

void Bench::clearFaults() {
    auto lk = lock();
    m_faults.clear();
    m_gone.clear();
    for (auto& m : m_fixed)
        if (m) m->clearFaults();
    if (m_underTest) m_underTest->clearFaults();
    if (m_second) m_second->clearFaults();
}

// ---- The line ----

std::unique_ptr<yukt::ByteTransport> Bench::connect() {
    auto lk = lock();
    auto c = std::make_shared<Connection>();
    c->bench = this;
    m_connections.push_back(c.get());
    return std::make_unique<Transport>(std::move(c));
}

std::unique_ptr<HostPort> Bench::openPort() {
    auto lk = lock();
    auto c = std::make_shared<Connection>();
    c->bench = this;
    m_connections.push_back(c.get());
    return std::make_unique<Port>(std::move(c));
}

void Bench::detachConnection(Connection* c) {
    auto lk = lock();
    std::erase(m_connections, c);
}

void Bench::setLineSpeed(int baud) {
    auto lk = lock();
    if (baud > 0) m_baud = baud;
}

int Bench::lineSpeed() const {
    auto lk = lock();
    return m_baud;
}

double Bench::byteSeconds() const {
    auto lk = lock();
    return static_cast<double>(kBitsPerByte) / m_baud;
}

void Bench::setWireTiming(bool on) {
    auto lk = lock();
    m_wireTiming = on;
}

bool Bench::wireTiming() const {
    auto lk = lock();
    return m_wireTiming;
}

void Bench::setInstantTimeouts(bool on) {
    auto lk = lock();
    m_instantTimeouts = on;
}

bool Bench::instantTimeouts() const {
    auto lk = lock();
    return m_instantTimeouts;
}

void Bench::pushToHost(const std::vector<std::uint8_t>& bytes) {
    auto lk = lock();
    logFrame(TraceDir::Received, bytes);
    for (Connection* c : m_connections) {
        for (std::uint8_t b : bytes) c->inbound.push_back({b, Connection::Clock::time_point{}});
        c->arrived.notify_all();
    }
}

void Bench::sendText(std::string_view text) { pushToHost(encodeText(text)); }

std::vector<std::string> Bench::takeTextFrames() {
    auto lk = lock();
    return std::exchange(m_texts, {});
}

void Bench::receivedText(std::string text) {
    auto lk = lock();
    m_texts.push_back(std::move(text));
}

void Bench::setFrameLog(std::function<void(const std::string&)> log) {
    auto lk = lock();
    m_log = std::move(log);
}

void Bench::note(std::string_view text) const {
    if (m_log) m_log(FormatTraceNote(TraceMicros(), kLogLine, text));
}

void Bench::logFrame(TraceDir dir, std::span<const std::uint8_t> bytes,
                     std::string_view remark) const {
    if (!m_log) return;
    std::string line = FormatTraceLine(TraceMicros(), kLogLine, dir, bytes);
    if (!remark.empty()) line.append(" [").append(remark).append("]");
    m_log(line);
}

std::uint64_t Bench::requestCount() const {
    auto lk = lock();
    return m_requests;
}

// ---- Serving requests ----

std::vector<SimModule*> Bench::answering(int address) const {
    std::vector<SimModule*> out;
    auto live = [&](SimModule* m) { return m && !m_gone.contains(m); };
    for (const auto& m : m_fixed)
        if (live(m.get()) && m->address() == address) out.push_back(m.get());
    const bool replacing = m_switch == ModeSwitch::Replacement;
    if (live(m_underTest.get()) &&
        (replacing ? address == kUnderTestBusAddress : m_underTest->address() == address))
        out.push_back(m_underTest.get());
    if (live(m_second.get()) &&
        (replacing ? address == kSecondAddress : m_second->address() == address))
        out.push_back(m_second.get());
    return out;
}

const Fault* Bench::strikingFault(int address) {
    const Fault* striking = nullptr;
    for (ActiveFault& f : m_faults) {
        if (f.fault.address != kAnyAddress && f.fault.address != address) continue;
        const int seen = f.seen++;
        const bool hits = seen >= f.fault.after &&
                          (f.fault.times == kForever || seen < f.fault.after + f.fault.times);
        if (hits && !striking) striking = &f.fault;
    }
    return striking;
}

std::vector<std::uint8_t> Bench::serve(int address, int command,
                                       std::span<const std::uint8_t> data) {
    auto lk = lock();
    ++m_requests;

    const std::vector<SimModule*> modules = answering(address);
    if (modules.empty()) {
        note("nobody at " + std::to_string(address));
        return {};
    }
    // Every module at the address takes the request; two replies at once
    // garble each other on the line.
    Answer answer;
    int replies = 0;
    for (SimModule* m : modules) {
        Answer a = m->request(command, data);
        if (a) {
            ++replies;
            if (!answer) answer = std::move(a);
        }
    }
    bool badSum = replies > 1;
    std::string remark = badSum ? "collision of " + std::to_string(replies) + " replies" : "";

    const Fault* fault = strikingFault(address);
    if (fault && fault->kind == FaultKind::Disappear) {
        for (SimModule* m : modules) m_gone.insert(m);
        note("module gone");
        return {};
    }
    if (!answer || (fault && fault->kind == FaultKind::Silence)) {
        note("silent");
        return {};
    }
    if (fault && fault->kind == FaultKind::Refuse) answer->accepted = false;

    const std::uint8_t status = statusByte(address, answer->accepted);
    std::vector<std::uint8_t> frame = encodeFrame(status, answer->data);
    if (fault && fault->kind == FaultKind::BadSum) badSum = true;
    if (badSum) {
        // The sum travels as the two characters before the final 10.
        std::uint8_t& low = frame[frame.size() - 2];
        low = static_cast<std::uint8_t>(48 + ((low - 48 + 1) & 15));
    }
    if (fault && fault->kind == FaultKind::Noise) {
        std::vector<std::uint8_t> noise;
        for (int i = 0; i < fault->bytes; ++i) noise.push_back(kNoise[i % std::size(kNoise)]);
        frame.insert(frame.begin(), noise.begin(), noise.end());
    }
    if (fault && fault->kind == FaultKind::TornFrame)
        frame.resize(std::min(frame.size(), static_cast<std::size_t>(std::max(0, fault->bytes))));
    if (fault && fault->kind == FaultKind::ZeroBytes)
        frame.assign(static_cast<std::size_t>(std::max(0, fault->bytes)), 0);

    if (fault) remark = remark.empty() ? "fault" : remark + ", fault";
    logFrame(TraceDir::Received, frame, remark);
    m_clock.advance(byteSeconds() * static_cast<double>(frame.size()));
    return frame;
}

}  // namespace yukt::sim
