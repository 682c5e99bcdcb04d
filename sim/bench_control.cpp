#include "sim/bench_control.h"

#include <charconv>
#include <cstdlib>
#include <locale>
#include <sstream>

#include "common/text.h"
#include "sim/device_table.h"

namespace yukt::sim {

namespace {

bool toNumber(const std::string& text, double& out) {
    if (text.empty()) return false;
    std::string s = text;
    for (char& c : s)
        if (c == ',') c = '.';
    return StrToFloatStrict(s, out);
}

bool toInt(const std::string& text, int& out) {
    const char* end = text.data() + text.size();
    auto [p, ec] = std::from_chars(text.data(), end, out);
    return ec == std::errc() && p == end;
}

// "N VALUE" or "N=VALUE" after the command word.
bool indexAndValue(const std::vector<std::string>& words, int& n, std::string& value) {
    if (words.size() == 3) {
        value = words[2];
        return toInt(words[1], n);
    }
    if (words.size() == 2) {
        const std::size_t eq = words[1].find('=');
        if (eq == std::string::npos) return false;
        value = words[1].substr(eq + 1);
        return toInt(words[1].substr(0, eq), n);
    }
    return false;
}

std::string plug(Bench& bench, const std::string& model, bool second) {
    if (model == "none") {
        second ? bench.unplugSecond() : bench.unplugUnderTest();
        return {};
    }
    std::unique_ptr<SimModule> m = makeDevice(model);
    if (!m) return "no simulation of model " + model;
    if (second) {
        bench.plugSecond(std::move(m));
    } else {
        m->flash().setAddress(kDefaultUnderTestAddress);
        bench.plugUnderTest(std::move(m));
    }
    return {};
}

// Faults of the module under test itself rather than of the line.
std::string moduleFault(Bench& bench, const std::vector<std::string>& words) {
    SimModule* m = bench.underTest();
    if (!m) return "no module under test";
    if (words[1] == "flash-lag") {
        if (words.size() != 2) return "fault flash-lag";
        m->setFlashLag(true);
        return {};
    }
    int n = 0;
    if (words.size() != 3 || !toInt(words[2], n) || n < 1) return "fault power-cut N (N >= 1)";
    m->cutPowerAfterWrites(n);
    return {};
}

std::string fault(Bench& bench, const std::vector<std::string>& words) {
    if (words.size() < 2 || words.size() > 3) return "fault KIND [ADDRESS]";
    if (words[1] == "clear") {
        bench.clearFaults();
        return {};
    }
    if (words[1] == "flash-lag" || words[1] == "power-cut") return moduleFault(bench, words);
    static const std::pair<const char*, FaultKind> kinds[] = {
        {"silence", FaultKind::Silence},     {"refuse", FaultKind::Refuse},
        {"badsum", FaultKind::BadSum},       {"noise", FaultKind::Noise},
        {"torn", FaultKind::TornFrame},      {"zero", FaultKind::ZeroBytes},
        {"disappear", FaultKind::Disappear},
    };
    Fault f;
    f.times = kForever;
    bool known = false;
    for (const auto& [name, kind] : kinds)
        if (words[1] == name) f.kind = kind, known = true;
    if (!known) return "unknown fault " + words[1];
    if (f.kind == FaultKind::ZeroBytes) f.bytes = 40;
    if (words.size() == 3 && (!toInt(words[2], f.address) || f.address < 0 || f.address > 15))
        return "fault address must be 0..15";
    bench.injectFault(f);
    return {};
}

}  // namespace

std::vector<std::string> splitCommandLine(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;) {
        if (words.empty() && w[0] == '#') break;
        words.push_back(w);
    }
    return words;
}

std::string applyBenchCommand(Bench& bench, const std::vector<std::string>& words) {
    if (words.empty()) return {};
    auto lk = bench.lock();
    const std::string& cmd = words[0];
    auto one = [&]() -> const std::string* { return words.size() == 2 ? &words[1] : nullptr; };

    if (cmd == "switch") {
        if (!one()) return "switch replace|verify";
        if (*one() == "replace")
            bench.setModeSwitch(ModeSwitch::Replacement);
        else if (*one() == "verify")
            bench.setModeSwitch(ModeSwitch::Verification);
        else
            return "switch replace|verify";
        return {};
    }
    if (cmd == "module" || cmd == "second") {
        if (!one()) return cmd + " MODEL|none";
        return plug(bench, *one(), cmd == "second");
    }
    if (cmd == "unplug") {
        bench.unplugUnderTest();
        return {};
    }
    if (cmd == "meter") {
        if (!one() || (*one() != "on" && *one() != "off")) return "meter on|off";
        bench.setMeter(*one() == "on");
        return {};
    }
    if (cmd == "current-error" || cmd == "current" || cmd == "rtd") {
        double v = 0;
        if (!one() || !toNumber(*one(), v)) return cmd + " needs a number";
        if (cmd == "rtd")
            bench.physics().rtdOhm = v;
        else if (cmd == "current")
            bench.physics().generatorCurrentMa = v;
        else
            bench.physics().currentErrorMa = v;
        return {};
    }
    if (cmd == "current-error-ch") {
        int n = 0;
        std::string value;
        double v = 0;
        if (!indexAndValue(words, n, value) || !toNumber(value, v) || n < 1 || n > 16)
            return "current-error-ch CHANNEL(1..16) MA";
        if (v == 0)
            bench.physics().channelErrorMa.erase(n);
        else
            bench.physics().channelErrorMa[n] = v;
        return {};
    }
    if (cmd == "fault") return fault(bench, words);

    // The rest changes the module under test.
    SimModule* m = bench.underTest();
    if (cmd == "address" || cmd == "param" || cmd == "coef" || cmd == "ident" || cmd == "power") {
        if (!m) return "no module under test";
    }
    if (cmd == "address") {
        int a = 0;
        if (!one() || !toInt(*one(), a) || a < 0 || a > 255) return "address 0..255";
        m->flash().setAddress(a);
        m->powerOn();
        return {};
    }
    if (cmd == "power") {
        if (!one() || (*one() != "on" && *one() != "off")) return "power on|off";
        m->setPower(*one() == "on");
        return {};
    }
    if (cmd == "ident") {
        if (!one() || one()->size() > 8) return "ident TEXT (at most 8 characters)";
        m->setIdent(*one());
        return {};
    }
    if (cmd == "param" || cmd == "coef") {
        int n = 0;
        std::string value;
        double v = 0;
        if (!indexAndValue(words, n, value) || !toNumber(value, v)) return cmd + " N VALUE";
        if (cmd == "param") {
            if (n < 1 || n > 5) return "param N is 1..5";
            m->flash().setParam(n, v);
        } else {
            if (n < 1 || n > 2) return "coef N is 1..2";
            m->flash().setCoef(n, v);
        }
        m->powerOn();
        return {};
    }
    return "unknown command " + cmd;
}

std::string describeBench(const Bench& bench) {
    auto lk = bench.lock();
    std::ostringstream out;
    out.imbue(std::locale::classic());  // the bench's numbers read the same everywhere
    auto module = [&](const char* what, const SimModule* m) {
        out << what << ": ";
        if (!m) {
            out << "none\n";
            return;
        }
        out << m->model() << " \"" << m->ident() << "\" FLASH address ";
        if (auto a = m->flash().address())
            out << *a;
        else
            out << "(copies differ)";
        out << '\n';
    };
    out << "switch: "
        << (bench.modeSwitch() == ModeSwitch::Replacement ? "Режим замены модуля" : "Режим поверки")
        << '\n';
    module("generator (1)", bench.generator());
    module("frequency generator (2)", bench.frequencyGenerator());
    module("meter (4)", bench.meter());
    module("under test", bench.underTest());
    module("second (7)", bench.second());
    const Physics& p = bench.physics();
    out << "current " << p.generatorCurrentMa << " mA, error " << p.currentErrorMa << " mA, rtd "
        << p.rtdOhm << " ohm, pulses " << p.pulses.frequencyHz() << " Hz\n";
    return out.str();
}

}  // namespace yukt::sim
