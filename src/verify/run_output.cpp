#include "verify/run_output.h"

#include <cmath>

#include "common/text.h"

namespace yukt::verify {

namespace {

// JSON has no NaN or infinity; a procedure file may still hold them (TOML
// does), and a reader must get a document it can parse.
std::string jsonNumber(double v) { return std::isfinite(v) ? Fmt("%.10g", v) : "null"; }

std::string jsonString(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            out += Fmt("\\u%04x", c);
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

bool measured(const PointResult& p) { return p.result != PointVerdict::NotMeasured; }

// The unit an error of this kind is given in.
std::string errorUnit(ErrorKind k, Quantity q) {
    return k == ErrorKind::Abs ? std::string(QuantityUnit(q)) : std::string("%");
}

}  // namespace

std::string PointJson(const PointResult& p) {
    std::string readings = "[";
    for (std::size_t i = 0; i < p.readings.size(); ++i)
        readings += (i ? ", " : "") + jsonNumber(p.readings[i]);
    readings += "]";
    // A point that was not measured has no value and no error to show.
    const std::string m = measured(p) ? jsonNumber(p.measured) : "null";
    const std::string e = measured(p) ? jsonNumber(p.error) : "null";
    return "{\"point\": " + std::to_string(p.index) + ", \"nominal\": " + jsonNumber(p.nominal) +
           ", \"reference\": " + jsonNumber(p.reference) + ", \"readings\": " + readings +
           ", \"measured\": " + m + ", \"error\": " + e +
           ", \"error_kind\": " + jsonString(ErrorKindWord(p.errorKind)) +
           ", \"limit\": " + jsonNumber(p.limit) +
           ", \"result\": " + jsonString(PointVerdictWord(p.result)) +
           ", \"reason\": " + jsonString(p.reason) + "}";
}

std::string VerdictJson(const RunResult& r) {
    return "{\"verdict\": " + jsonString(RunVerdictWord(r.verdict)) +
           ", \"points\": " + std::to_string(r.points) +
           ", \"failed\": " + std::to_string(r.failed) + "}";
}

std::string PointText(const PointResult& p, Quantity q) {
    const std::string unit = QuantityUnit(q);
    std::string t = "точка " + std::to_string(p.index) + ": задано " + FloatToStr(p.nominal) + " " +
                    unit + ", эталон " + Fmt("%.6g", p.reference) + " " + unit;
    if (!measured(p)) return t + ": не измерена (" + p.reason + ")";
    const std::string eu = errorUnit(p.errorKind, q);
    return t + ", измерено " + Fmt("%.6g", p.measured) + " " + unit + ", погрешность " +
           Fmt("%.4g", p.error) + " " + eu + ", допуск " + FloatToStr(p.limit) + " " + eu + ": " +
           (p.result == PointVerdict::Pass ? "годна" : "не годна");
}

std::string VerdictText(const RunResult& r) {
    return std::string("итог: ") + RunVerdictWord(r.verdict) + " (точек " +
           std::to_string(r.points) + ", не годны " + std::to_string(r.failed) + ")";
}

RunPrinter::RunPrinter(std::ostream& out, bool json, std::string serial)
    : m_out(out), m_json(json), m_serial(std::move(serial)) {}

void RunPrinter::Header(const Procedure& p) {
    m_quantity = p.quantity;
    if (m_json) return;
    m_out << p.title << " (" << p.doc << ")";
    if (!m_serial.empty()) m_out << ", зав. № " << m_serial;
    m_out << std::endl;
}

void RunPrinter::PointFinished(const PointResult& point) {
    m_out << (m_json ? PointJson(point) : PointText(point, m_quantity)) << std::endl;
}

void RunPrinter::RunFinished(const RunResult& run) {
    m_out << (m_json ? VerdictJson(run) : VerdictText(run)) << std::endl;
}

}  // namespace yukt::verify
