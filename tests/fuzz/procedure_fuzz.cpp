// Procedure and methodology files parsed from text in memory: any text either
// gives a methodology or a short error naming the file, never a crash; a
// methodology that reads expands for each of its models, and its plan gets a
// verdict. Inputs run up to the file limit (procedure.options): a deep file
// is only deep enough to hurt at tens of kilobytes.
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "verify/plan.h"
#include "verify/procedure.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    yukt::verify::ProcedureError error;
    const auto procedure = yukt::verify::ParseProcedure(text, "p.toml", error);
    if (!procedure) FUZZ_CHECK(error.Text().rfind("p.toml", 0) == 0);
    const auto methodology = yukt::verify::ParseMethodology(text, "m.toml", error);
    if (!methodology) {
        FUZZ_CHECK(error.Text().rfind("m.toml", 0) == 0);
        return 0;
    }
    for (const std::string& model : methodology->models) {
        std::string why;
        const auto plan = yukt::verify::Expand(*methodology, {model, 0, 0}, why);
        FUZZ_CHECK(plan.has_value());
        const auto verdict = yukt::verify::Verdict(*plan, {});
        FUZZ_CHECK(verdict.notMeasured == static_cast<int>(plan->items.size()));
    }
    return 0;
}
