#include "verify/run_output.h"

#include "verify/uncertainty.h"

#include <algorithm>
#include <cmath>

#include "common/text.h"

namespace yukt::verify {

namespace {

// JSON has no NaN or infinity; whatever a point holds, a reader must get a
// document it can parse.
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

const char* operationResult(PointVerdict v) {
    return v == PointVerdict::Pass ? "pass" : v == PointVerdict::Fail ? "fail" : "not done";
}

// "7.4 канал 11: 4, 20 мА" for the items listed, grouped by operation and channel.
std::string itemsText(const Plan& plan, const std::vector<int>& items) {
    std::string out;
    std::string group;
    for (const PlanItem& it : plan.items) {
        if (std::find(items.begin(), items.end(), it.item) == items.end()) continue;
        const std::string g = it.operation + (it.channel ? " канал " + std::to_string(it.channel) : "");
        if (g != group) {
            out += (out.empty() ? "" : "; ") + g + (it.channel ? ": " : " " + it.title);
            group = g;
        } else {
            out += ", ";
        }
        if (it.channel) out += FloatToStr(it.nominal);
    }
    return out;
}

}  // namespace

std::string ErrorText(double error, double resolution) {
    if (!(resolution > 0)) return Fmt("%.4g", error);
    const int decimals = std::clamp(static_cast<int>(std::ceil(-std::log10(resolution) - 1e-9)), 0, 15);
    return FixedStr(error, decimals);
}

std::string PointJson(const PointResult& p) {
    std::string readings = "[";
    for (std::size_t i = 0; i < p.readings.size(); ++i)
        readings += (i ? ", " : "") + jsonNumber(p.readings[i]);
    readings += "]";
    // A point that was not measured has no value and no error to show.
    const std::string m = measured(p) ? jsonNumber(p.measured) : "null";
    const std::string e = measured(p) ? jsonNumber(p.error) : "null";
    std::string line = "{\"point\": " + std::to_string(p.index) + ", \"nominal\": " +
                       jsonNumber(p.nominal) + ", \"reference\": " + jsonNumber(p.reference) +
                       ", \"readings\": " + readings + ", \"measured\": " + m + ", \"error\": " + e +
                       ", \"error_kind\": " + jsonString(ErrorKindWord(p.errorKind)) +
                       ", \"limit\": " + jsonNumber(p.limit) +
                       ", \"result\": " + jsonString(PointVerdictWord(p.result)) +
                       ", \"reason\": " + jsonString(p.reason);
    // What the reference and the module contribute (a plan with a reference).
    if (p.item > 0 && p.ratio > 0 && measured(p))
        line += ", \"u\": " + jsonNumber(p.u) + ", \"ratio\": " + jsonNumber(p.ratio);
    if (p.marginal) line += ", \"marginal\": true";
    if (p.item > 0)
        line += ", \"operation\": " + jsonString(p.operation) +
                ", \"channel\": " + std::to_string(p.channelNo);
    return line + "}";
}

std::string OperationJson(const PlanItem& item, const Attempt& a) {
    std::string line = "{\"operation\": " + jsonString(item.operation) +
                       ", \"title\": " + jsonString(item.title) +
                       ", \"result\": " + jsonString(operationResult(a.result)) +
                       ", \"remark\": " + jsonString(a.remark);
    if (!a.found.empty()) line += ", \"found\": " + jsonString(a.found);
    return line + "}";
}

std::string VerdictJson(const RunResult& r, const Plan& plan) {
    return "{\"verdict\": " + jsonString(RunVerdictWord(r.verdict)) +
           ", \"points\": " + std::to_string(r.points) +
           ", \"failed\": " + std::to_string(r.failed) +
           ", \"not_measured\": " + std::to_string(r.notMeasured) +
           ", \"methodology\": " + jsonString(plan.methodologyId) +
           ", \"revision\": " + std::to_string(plan.revision) +
           ", \"sha256\": " + jsonString(plan.sha256) + "}";
}

std::string PointText(const PointResult& p, Quantity q) {
    const std::string unit = QuantityUnit(q);
    std::string t = p.item > 0 ? p.operation + " канал " + std::to_string(p.channelNo) + ", " : "";
    t += "точка " + std::to_string(p.index) + ": задано " + FloatToStr(p.nominal) + " " + unit +
         ", эталон " + Fmt("%.6g", p.reference) + " " + unit;
    if (!measured(p)) return t + ": не измерена (" + p.reason + ")";
    const std::string eu = std::string(ErrorUnit(p.errorKind, q));
    return t + ", измерено " + Fmt("%.6g", p.measured) + " " + unit + ", погрешность " +
           ErrorText(p.error, p.resolution) + " " + eu + ", допуск " + FloatToStr(p.limit) + " " +
           eu + ": " +
           (p.result == PointVerdict::Pass ? (p.marginal ? std::string("годна, ") + kMarginalText
                                                         : std::string("годна"))
            : p.reason.empty()             ? std::string("не годна")
                                           : p.reason);
}

std::string OperationText(const PlanItem& item, const Attempt& a) {
    const char* word = a.result == PointVerdict::Pass   ? "соответствует"
                       : a.result == PointVerdict::Fail ? "не соответствует"
                                                        : "не выполнена";
    std::string t = item.operation + " " + item.title + ": " + word;
    if (!a.found.empty()) t += " (" + a.found + ")";
    if (!a.remark.empty()) t += " — " + a.remark;
    return t;
}

std::string VerdictText(const RunResult& r, const Plan& plan) {
    std::string t = std::string("итог: ") + RunVerdictWord(r.verdict) + " (пунктов " +
                    std::to_string(r.points) + ", не годны " + std::to_string(r.failed) +
                    ", не измерены " + std::to_string(r.notMeasured) + ")";
    if (!r.failedItems.empty()) t += "\nне годны: " + itemsText(plan, r.failedItems);
    if (!r.notMeasuredItems.empty()) t += "\nне измерены: " + itemsText(plan, r.notMeasuredItems);
    return t;
}

RunPrinter::RunPrinter(std::ostream& out, bool json, std::string serial)
    : m_out(out), m_json(json), m_serial(std::move(serial)) {}

void RunPrinter::Header(const Methodology& m, const Plan& plan) {
    m_plan = plan;
    if (m_json) return;
    m_out << m.title << " (" << m.id;
    if (m.revision > 0) m_out << ", ред. " << m.revision;
    m_out << "), модуль " << plan.model;
    if (!m_serial.empty()) m_out << ", зав. № " << m_serial;
    m_out << std::endl;
}

void RunPrinter::PointFinished(const PointResult& point) {
    Quantity q = Quantity::Current;
    for (const PlanItem& it : m_plan.items)
        if (it.item == point.item) q = it.quantity;
    m_out << (m_json ? PointJson(point) : PointText(point, q)) << std::endl;
}

void RunPrinter::AttemptFinished(const PlanItem& item, const Attempt& a) {
    if (item.kind == OperationKind::Error) return;  // printed as a point
    m_out << (m_json ? OperationJson(item, a) : OperationText(item, a)) << std::endl;
}

void RunPrinter::RunFinished(const RunResult& run) {
    m_out << (m_json ? VerdictJson(run, m_plan) : VerdictText(run, m_plan)) << std::endl;
}

}  // namespace yukt::verify
