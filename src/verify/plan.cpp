#include "verify/plan.h"

#include <algorithm>
#include <cmath>

#include "common/text.h"

namespace yukt::verify {

namespace {

const ReferenceError* referenceFor(const Methodology& m, Quantity q) {
    for (const ReferenceError& e : m.reference)
        if (e.quantity == q) return &e;
    return nullptr;
}

PlanItem operationItem(const Operation& op) {
    PlanItem it;
    it.operation = op.id;
    it.title = op.title;
    it.kind = op.kind;
    it.acceptedVersions = op.acceptedVersions;
    return it;
}

}  // namespace

std::optional<Plan> Expand(const Methodology& m, const ModuleUnderTest& module, std::string& error) {
    const std::string model = module.model.empty() ? ModelCodeOfKind(module.kind) : module.model;
    if (std::find(m.models.begin(), m.models.end(), model) == m.models.end()) {
        error = m.file + ": методика " + m.id + " не относится к модулю " +
                (model.empty() ? std::to_string(module.kind) : model);
        return std::nullopt;
    }
    const int kind = module.kind > 0 ? module.kind : KindOfModel(model);
    Plan plan;
    plan.methodologyId = m.id;
    plan.revision = m.revision;
    plan.sha256 = m.sha256;
    plan.intervalMonths = m.intervalMonths;
    plan.model = model;
    plan.kind = kind;
    plan.decision = m.decision;
    for (const Operation& op : m.operations) {
        if (op.kind != OperationKind::Error) {
            plan.items.push_back(operationItem(op));
            continue;
        }
        const ReferenceError* ref = referenceFor(m, op.quantity);
        for (int c : op.channels) {
            if (!ItemOf(op.quantity, kind, c) || (module.channels > 0 && c > module.channels)) {
                error = m.file + ": операция " + op.id + ": у модуля " + model + " нет канала " +
                        std::to_string(c);
                return std::nullopt;
            }
            const ChannelSpec spec = SpecOf(m, op, c);
            for (double x : spec.points) {
                PlanItem it = operationItem(op);
                it.channel = c;
                it.quantity = op.quantity;
                it.nominal = x;
                it.tolerance = *spec.tolerance;
                it.settling = m.settlings.at(op.settling);
                it.connection = op.connection;
                it.frequencyHz = op.frequencyHz;
                it.safeValue = op.safeValue;
                const double theirs = ref ? PermittedError(ref->tolerance, x) : 0;
                if (theirs > 0) it.refRatio = PermittedError(it.tolerance, x) / theirs;
                it.referenceError = theirs;
                plan.items.push_back(it);
            }
        }
    }
    for (std::size_t i = 0; i < plan.items.size(); ++i) plan.items[i].item = static_cast<int>(i) + 1;
    return plan;
}

std::optional<Plan> PlanOfProcedure(const Procedure& p, int kind, std::string& error) {
    return Expand(MethodologyOfProcedure(p), ModuleUnderTest{"", kind, 0}, error);
}

Plan FilterChannels(const Plan& plan, const std::vector<int>& channels) {
    Plan out = plan;
    out.items.clear();
    for (const PlanItem& it : plan.items)
        if (it.channel == 0 ||
            std::find(channels.begin(), channels.end(), it.channel) != channels.end())
            out.items.push_back(it);
    return out;
}

std::optional<ErrorSpan> SpanOf(const Plan& plan, const std::string& operation) {
    std::optional<ErrorSpan> span;
    for (const PlanItem& it : plan.items) {
        if (it.kind != OperationKind::Error || it.operation != operation) continue;
        const double limit = LimitAt(it.tolerance, it.nominal);
        if (!span) span = ErrorSpan{it.nominal, it.nominal, limit};
        span->nominalMin = std::min(span->nominalMin, it.nominal);
        span->nominalMax = std::max(span->nominalMax, it.nominal);
        span->limitMax = std::max(span->limitMax, limit);
    }
    return span;
}

double RoundToResolution(double value, double resolution) {
    if (!(resolution > 0) || !std::isfinite(value)) return value;
    // In steps of the resolution; noise far below a step (0.2000000000000002
    // of 0.01 steps) is dropped first so that an exact half rounds away.
    double steps = value / resolution;
    steps = std::round(steps * 1e6) / 1e6;
    const double n = std::round(steps);  // half away from zero
    // Written with the resolution's decimals and read back: the nearest
    // double to the decimal value, as a limit read from a file is.
    const int decimals =
        std::clamp(static_cast<int>(std::ceil(-std::log10(resolution) - 1e-9)), 0, 15);
    double out = 0;
    if (!StrToFloatStrict(Fmt("%.*f", decimals, n * resolution), out)) return n * resolution;
    return out == 0 ? 0.0 : out;  // never "-0"
}

double LimitAt(const Tolerance& tol, double x) {
    switch (tol.kind) {
        case ToleranceKind::Rel:
        case ToleranceKind::Reduced:
            return tol.a;
        default:
            return PermittedError(tol, x);
    }
}

const char* ErrorUnit(ErrorKind kind, Quantity q) {
    return kind == ErrorKind::Rel || kind == ErrorKind::Reduced ? "%" : QuantityUnit(q);
}

const char* ErrorUnit(ToleranceKind kind, Quantity q) { return ErrorUnit(ErrorKindOf(kind), q); }

Judgement JudgePoint(const Tolerance& tol, double reference, double measured) {
    Judgement j;
    const double abs = measured - reference;
    double error = abs;
    j.limit = LimitAt(tol, reference);
    switch (tol.kind) {
        case ToleranceKind::Rel:
            if (reference == 0) return j;  // undefined; such points are refused at load
            error = abs / reference * 100;
            break;
        case ToleranceKind::Reduced:
            error = abs / (tol.spanHigh - tol.spanLow) * 100;
            break;
        default:
            break;
    }
    j.error = RoundToResolution(error, tol.resolution);
    // The rounded error is a whole number of steps; the margin only absorbs
    // the last bit of a limit computed as a + b·|x|.
    const double margin = tol.resolution > 0 ? tol.resolution * 1e-6 : 0;
    j.result = std::fabs(j.error) <= j.limit + margin ? PointVerdict::Pass : PointVerdict::Fail;
    return j;
}

bool Supersedes(const Attempt& later, const Attempt& earlier) {
    const bool laterMeasured = later.result != PointVerdict::NotMeasured;
    const bool earlierMeasured = earlier.result != PointVerdict::NotMeasured;
    if (laterMeasured != earlierMeasured) return laterMeasured;
    return later.number >= earlier.number;
}

std::vector<const Attempt*> LatestAttempts(const Plan& plan, const std::vector<Attempt>& attempts) {
    std::vector<const Attempt*> latest(plan.items.size(), nullptr);
    for (std::size_t i = 0; i < plan.items.size(); ++i)
        for (const Attempt& a : attempts)
            if (a.item == plan.items[i].item && (!latest[i] || Supersedes(a, *latest[i])))
                latest[i] = &a;
    return latest;
}

VerdictResult Verdict(const Plan& plan, const std::vector<Attempt>& attempts) {
    VerdictResult v;
    v.points = static_cast<int>(plan.items.size());
    const std::vector<const Attempt*> latest = LatestAttempts(plan, attempts);
    for (std::size_t i = 0; i < latest.size(); ++i) {
        const int item = plan.items[i].item;
        if (!latest[i] || latest[i]->result == PointVerdict::NotMeasured) {
            ++v.notMeasured;
            v.notMeasuredItems.push_back(item);
        } else if (latest[i]->result == PointVerdict::Fail) {
            ++v.failed;
            v.failedItems.push_back(item);
        }
    }
    // A failure decides whatever was left undone; an empty plan proves nothing.
    if (v.failed > 0)
        v.verdict = RunVerdict::Unfit;
    else if (v.notMeasured > 0 || plan.items.empty())
        v.verdict = RunVerdict::Interrupted;
    else
        v.verdict = RunVerdict::Fit;
    return v;
}

ErrorKind ErrorKindOf(ToleranceKind k) {
    switch (k) {
        case ToleranceKind::Rel:
            return ErrorKind::Rel;
        case ToleranceKind::Reduced:
            return ErrorKind::Reduced;
        case ToleranceKind::AbsRel:
            return ErrorKind::AbsRel;
        default:
            return ErrorKind::Abs;
    }
}

}  // namespace yukt::verify
