#include "verify/methodology.h"


#include <algorithm>
#include <cmath>
#include <set>

#include "common/sha256.h"
#include "common/text_file.h"
#include "instrument/identify.h"
#include "verify/toml_guard.h"
#include "verify/toml_reader.h"

namespace yukt::verify {

namespace {

// A methodology is a few pages of text; anything larger is not one.
constexpr std::size_t kMaxMethodologyBytes = 1 << 20;

const std::set<std::string> kTopKeys = {"id",         "revision",   "title",     "models",
                                        "interval_months", "tolerances", "settlings", "reference",
                                        "operations", "decision", "marginal"};
const std::set<std::string> kToleranceKeys = {"kind", "limit", "factor", "span", "resolution"};
const std::set<std::string> kSettlingKeys = {"delay",      "agree",   "band",    "band_rel",
                                             "band_steps", "timeout", "readings"};
const std::set<std::string> kOperationKeys = {
    "id",        "title",      "kind",       "accepted_versions", "quantity",  "channels",
    "points",    "both_directions", "tolerance", "settling",     "connection", "frequency",
    "safe_value", "overrides"};
const std::set<std::string> kOverrideKeys = {"channels", "points", "tolerance"};

constexpr OperationKind kOperationKinds[] = {OperationKind::Inspection, OperationKind::Functional,
                                             OperationKind::Software, OperationKind::Error};
constexpr ToleranceKind kToleranceKinds[] = {ToleranceKind::Abs, ToleranceKind::Rel,
                                             ToleranceKind::Reduced, ToleranceKind::AbsRel};

bool isCurrent(Quantity q) { return q == Quantity::Current || q == Quantity::GeneratorCurrent; }

class MethodologyReader {
  public:
    MethodologyReader(const toml::table& root, Methodology& m) : r(root), m(m) {}

    void Read() {
        const toml::table& root = r.Root();
        r.UnknownKeys(root, kTopKeys, "");
        m.id = r.Text(root, "id", "");
        m.revision = static_cast<int>(r.Integer(root, "revision", "", 0, INT_MAX, "ожидается ≥ 0"));
        m.title = r.Text(root, "title", "");
        ReadModels(root);
        const long long months = r.Integer(root, "interval_months", "");
        if (months < 1 || months > 120)
            throw Mistake{LineOf(root.get("interval_months")), "interval_months",
                          "ожидается 1..120 месяцев"};
        m.intervalMonths = static_cast<int>(months);
        ReadTolerances(r.Table(root, "tolerances", ""));
        ReadSettlings(r.Table(root, "settlings", ""));
        ReadReference(r.Table(root, "reference", ""));
        ReadOperations(root);
        ReadDecision(root);
    }

  private:
    // How a point is decided beside |Δ| ≤ limit: both keys are optional.
    void ReadDecision(const toml::table& root) {
        if (const toml::node* n = root.get("decision")) {
            const std::string word = r.Text(*n, "decision");
            if (word == "guard")
                m.decision.kind = DecisionKind::Guard;
            else if (word != "simple")
                throw Mistake{LineOf(n), "decision", "ожидается \"simple\" или \"guard\""};
        }
        if (const toml::node* n = root.get("marginal")) {
            m.decision.marginal = r.Number(*n, "marginal");
            if (!(m.decision.marginal > 0 && m.decision.marginal < 1))
                throw Mistake{LineOf(n), "marginal", "ожидается число больше 0 и меньше 1"};
        }
    }

    void ReadModels(const toml::table& root) {
        const toml::node& n = r.Need(root, "models", "");
        const toml::array* a = n.as_array();
        if (!a || a->empty()) throw Mistake{LineOf(&n), "models", "ожидается непустой список моделей"};
        for (const toml::node& e : *a) {
            const std::string model = r.Text(e, "models");
            if (KindOfModel(model) < 0)
                throw Mistake{LineOf(&e), "models", "модель \"" + model + "\" не поверяется"};
            m.models.push_back(model);
        }
    }

    Tolerance ReadTolerance(const toml::table& t, const std::string& prefix, bool needResolution) {
        r.UnknownKeys(t, kToleranceKeys, prefix);
        Tolerance tol;
        const toml::node& kn = r.Need(t, "kind", prefix);
        const std::string kind = r.Text(kn, prefix + "kind");
        bool known = false;
        for (ToleranceKind k : kToleranceKinds)
            if (kind == ToleranceKindWord(k)) tol.kind = k, known = true;
        if (!known)
            throw Mistake{LineOf(&kn), prefix + "kind",
                          "ожидается \"abs\", \"rel\", \"reduced\" или \"abs+rel\""};
        tol.a = r.Number(t, "limit", prefix);
        // abs+rel may have no constant part; the others need a limit.
        if (tol.a < 0 || (tol.a == 0 && tol.kind != ToleranceKind::AbsRel))
            throw Mistake{LineOf(t.get("limit")), prefix + "limit", "допуск должен быть больше 0"};
        if (tol.kind == ToleranceKind::AbsRel) {
            tol.b = r.Number(t, "factor", prefix);
            if (tol.b < 0 || (tol.a == 0 && tol.b == 0))
                throw Mistake{LineOf(t.get("factor")), prefix + "factor",
                              "множитель не может быть отрицательным, а допуск нулевым"};
        } else if (t.get("factor")) {
            throw Mistake{LineOf(t.get("factor")), prefix + "factor",
                          "множитель задаётся только для вида \"abs+rel\""};
        }
        if (tol.kind == ToleranceKind::Reduced) {
            const toml::node& sn = r.Need(t, "span", prefix);
            const toml::array* span = sn.as_array();
            if (!span || span->size() != 2)
                throw Mistake{LineOf(&sn), prefix + "span", "ожидается [нижний, верхний] предел"};
            tol.spanLow = r.Number(*span->get(0), prefix + "span");
            tol.spanHigh = r.Number(*span->get(1), prefix + "span");
            // A span of 2e308 would overflow to infinity and pass every error.
            if (!std::isfinite(tol.spanHigh - tol.spanLow))
                throw Mistake{LineOf(&sn), prefix + "span", "ширина диапазона не конечна"};
            if (tol.spanHigh <= tol.spanLow)
                throw Mistake{LineOf(&sn), prefix + "span", "верхний предел должен быть больше нижнего"};
        } else if (t.get("span")) {
            throw Mistake{LineOf(t.get("span")), prefix + "span",
                          "диапазон задаётся только для приведённой погрешности"};
        }
        if (needResolution || t.get("resolution")) {
            tol.resolution = r.Number(t, "resolution", prefix);
            if (tol.resolution <= 0)
                throw Mistake{LineOf(t.get("resolution")), prefix + "resolution",
                              "разрешение должно быть больше 0"};
        }
        return tol;
    }

    void ReadTolerances(const toml::table& all) {
        for (const auto& [key, node] : all) {
            const std::string name(key.str());
            const std::string prefix = "tolerances." + name + ".";
            if (!node.is_table())
                throw Mistake{LineOf(&node), "tolerances." + name, "ожидается таблица"};
            Tolerance t = ReadTolerance(*node.as_table(), prefix, true);
            t.name = name;
            m.tolerances[name] = t;
        }
        if (m.tolerances.empty())
            throw Mistake{LineOf(&all), "tolerances", "не задан ни один допуск"};
    }

    void ReadSettlings(const toml::table& all) {
        for (const auto& [key, node] : all) {
            const std::string name(key.str());
            const std::string prefix = "settlings." + name + ".";
            if (!node.is_table())
                throw Mistake{LineOf(&node), "settlings." + name, "ожидается таблица"};
            m.settlings[name] = ReadSettling(*node.as_table(), prefix);
        }
    }

    Settling ReadSettling(const toml::table& st, const std::string& prefix) {
        r.UnknownKeys(st, kSettlingKeys, prefix);
        Settling s;
        s.delayS = r.Number(st, "delay", prefix);
        s.agree = static_cast<int>(r.Integer(st, "agree", prefix, 1, 100, "ожидается 1..100 показаний"));
        s.timeoutS = r.Number(st, "timeout", prefix);
        s.readings =
            static_cast<int>(r.Integer(st, "readings", prefix, 1, 100, "ожидается 1..100 показаний"));
        auto optional = [&](const char* key) {
            return st.get(key) ? r.Number(*st.get(key), prefix + key) : 0.0;
        };
        s.band = optional("band");
        s.bandRel = optional("band_rel");
        s.bandSteps = optional("band_steps");
        auto refuse = [&](const char* key, const std::string& why) {
            throw Mistake{LineOf(st.get(key)), prefix + key, why};
        };
        if (s.delayS < 0 || s.delayS > 3600) refuse("delay", "ожидается 0..3600 с");
        if (s.agree < 1 || s.agree > 100) refuse("agree", "ожидается 1..100 показаний");
        if (s.band < 0) refuse("band", "полоса не может быть отрицательной");
        if (s.bandRel < 0) refuse("band_rel", "полоса не может быть отрицательной");
        if (s.bandSteps < 0) refuse("band_steps", "полоса не может быть отрицательной");
        if (s.timeoutS <= 0 || s.timeoutS > 36000) refuse("timeout", "ожидается больше 0 и до 36000 с");
        if (s.readings < 1 || s.readings > 100) refuse("readings", "ожидается 1..100 показаний");
        return s;
    }

    void ReadReference(const toml::table& ref) {
        for (const auto& [key, node] : ref) {
            const std::string name(key.str());
            if (name == "min_ratio") {
                m.minRatio = r.Number(node, "reference.min_ratio");
                if (m.minRatio < 1)
                    throw Mistake{LineOf(&node), "reference.min_ratio", "ожидается не меньше 1"};
                continue;
            }
            const std::optional<Quantity> q = QuantityFromWord(name);
            if (!q || !node.is_table())
                throw Mistake{static_cast<int>(key.source().begin.line), "reference." + name,
                              "ожидается таблица погрешности эталона для величины"};
            m.reference.push_back({*q, ReadTolerance(*node.as_table(), "reference." + name + ".", false)});
            m.reference.back().tolerance.name = name;
        }
    }

    std::vector<double> ReadPoints(const toml::table& t, const std::string& prefix, Quantity q,
                                   double frequencyHz, const Tolerance* tol) {
        const toml::node& pn = r.Need(t, "points", prefix);
        const toml::array* points = pn.as_array();
        if (!points || points->empty())
            throw Mistake{LineOf(&pn), prefix + "points", "ожидается непустой список точек"};
        std::vector<double> out;
        for (const toml::node& n : *points) {
            const double v = r.Number(n, prefix + "points");
            std::string why = PointProblem(q, v, frequencyHz);
            if (why.empty() && tol && tol->kind == ToleranceKind::Rel && v == 0)
                why = "относительная погрешность в нулевой точке не определена";
            if (!why.empty())
                throw Mistake{LineOf(&n), prefix + "points", "точка " + FloatToStr(v) + ": " + why};
            out.push_back(v);
        }
        return out;
    }

    std::vector<int> ReadChannels(const toml::table& t, const std::string& prefix) {
        const toml::node& n = r.Need(t, "channels", prefix);
        std::vector<int> channels;
        if (n.is_integer())
            channels.push_back(static_cast<int>(
                r.Integer(n, prefix + "channels", 1, 9999,
                          "ожидаются номера каналов, как на модуле: \"1-16\", \"1,3\"")));
        else if (n.is_string())
            channels = ParseChannelList(*n.value<std::string>());
        if (channels.empty() || channels.front() < 1)
            throw Mistake{LineOf(&n), prefix + "channels",
                          "ожидаются номера каналов, как на модуле: \"1-16\", \"1,3\""};
        return channels;
    }

    const Tolerance& NamedTolerance(const toml::table& t, const std::string& prefix) {
        const toml::node& n = r.Need(t, "tolerance", prefix);
        const std::string name = r.Text(n, prefix + "tolerance");
        const auto it = m.tolerances.find(name);
        if (it == m.tolerances.end())
            throw Mistake{LineOf(&n), prefix + "tolerance", "нет допуска \"" + name + "\""};
        return it->second;
    }

    void ReadOperations(const toml::table& root) {
        const toml::node& on = r.Need(root, "operations", "");
        const toml::array* ops = on.as_array();
        if (!ops || ops->empty() || !ops->is_array_of_tables())
            throw Mistake{LineOf(&on), "operations", "ожидается список [[operations]]"};
        std::set<std::string> ids;
        for (std::size_t i = 0; i < ops->size(); ++i) {
            const toml::table& t = *ops->get(i)->as_table();
            const std::string prefix = "operations[" + std::to_string(i + 1) + "].";
            Operation op = ReadOperation(t, prefix);
            if (!ids.insert(op.id).second)
                throw Mistake{LineOf(t.get("id")), prefix + "id", "пункт \"" + op.id + "\" повторяется"};
            m.operations.push_back(std::move(op));
        }
    }

    Operation ReadOperation(const toml::table& t, const std::string& prefix) {
        r.UnknownKeys(t, kOperationKeys, prefix);
        Operation op;
        op.line = LineOf(&t);
        op.id = r.Text(t, "id", prefix);
        op.title = r.Text(t, "title", prefix);
        const toml::node& kn = r.Need(t, "kind", prefix);
        const std::string kind = r.Text(kn, prefix + "kind");
        bool known = false;
        for (OperationKind k : kOperationKinds)
            if (kind == OperationKindWord(k)) op.kind = k, known = true;
        if (!known)
            throw Mistake{LineOf(&kn), prefix + "kind",
                          "ожидается \"inspection\", \"functional\", \"software\" или \"error\""};
        if (op.kind == OperationKind::Software) {
            const toml::node& vn = r.Need(t, "accepted_versions", prefix);
            const toml::array* a = vn.as_array();
            if (!a || a->empty())
                throw Mistake{LineOf(&vn), prefix + "accepted_versions",
                              "ожидается непустой список версий"};
            for (const toml::node& v : *a)
                op.acceptedVersions.push_back(r.Text(v, prefix + "accepted_versions"));
        }
        if (op.kind != OperationKind::Error) {
            for (const char* key : {"quantity", "channels", "points", "tolerance", "settling",
                                    "connection", "overrides"})
                if (t.get(key))
                    throw Mistake{LineOf(t.get(key)), prefix + key,
                                  "задаётся только для операции \"error\""};
            return op;
        }
        if (t.get("accepted_versions"))
            throw Mistake{LineOf(t.get("accepted_versions")), prefix + "accepted_versions",
                          "задаётся только для операции \"software\""};
        ReadErrorOperation(t, prefix, op);
        return op;
    }

    void ReadErrorOperation(const toml::table& t, const std::string& prefix, Operation& op) {
        const toml::node& qn = r.Need(t, "quantity", prefix);
        const std::optional<Quantity> q = QuantityFromWord(r.Text(qn, prefix + "quantity"));
        if (!q) throw Mistake{LineOf(&qn), prefix + "quantity", "неизвестная величина"};
        if (*q == Quantity::Divider || *q == Quantity::Translator)
            throw Mistake{LineOf(&qn), prefix + "quantity",
                          "делители и трансляторы автоматически не поверяются"};
        op.quantity = *q;
        if (op.quantity == Quantity::Count) {
            op.frequencyHz = r.Number(t, "frequency", prefix);
            if (!FrequencyInRange(op.frequencyHz))
                throw Mistake{LineOf(t.get("frequency")), prefix + "frequency",
                              "частота вне диапазона генератора 35..3500 Гц"};
        } else if (t.get("frequency")) {
            throw Mistake{LineOf(t.get("frequency")), prefix + "frequency",
                          "частота задаётся только для счёта импульсов"};
        }
        if (const toml::node* s = t.get("safe_value")) {
            if (!isCurrent(op.quantity))
                throw Mistake{LineOf(s), prefix + "safe_value", "задаётся только для тока"};
            op.safeValue = r.Number(*s, prefix + "safe_value");
            if (op.safeValue < 0 || op.safeValue > kCurrentMaxMa)
                throw Mistake{LineOf(s), prefix + "safe_value", "ток вне диапазона генератора 0..20 мА"};
        }
        op.channels = ReadChannels(t, prefix);
        for (const std::string& model : m.models)
            for (int c : op.channels)
                if (!ItemOf(op.quantity, KindOfModel(model), c))
                    throw Mistake{LineOf(t.get("channels")), prefix + "channels",
                                  "у модуля " + model + " нет канала " + std::to_string(c) +
                                      " для величины \"" + QuantityWord(op.quantity) + "\""};
        const Tolerance& tol = NamedTolerance(t, prefix);
        op.tolerance = tol.name;
        op.points = ReadPoints(t, prefix, op.quantity, op.frequencyHz, &tol);
        if (const toml::node* both = t.get("both_directions")) {
            if (!both->is_boolean())
                throw Mistake{LineOf(both), prefix + "both_directions", "ожидается true или false"};
            // Up, then down again without repeating the turning point.
            if (*both->value<bool>())
                for (std::size_t i = op.points.size() - 1; i-- > 0;) op.points.push_back(op.points[i]);
        }
        const toml::node& sn = r.Need(t, "settling", prefix);
        op.settling = r.Text(sn, prefix + "settling");
        if (!m.settlings.count(op.settling))
            throw Mistake{LineOf(&sn), prefix + "settling", "нет правила \"" + op.settling + "\""};
        const toml::node& cn = r.Need(t, "connection", prefix);
        const std::string connection = r.Text(cn, prefix + "connection");
        if (connection == "series")
            op.connection = Connection::Series;
        else if (connection == "per-channel")
            op.connection = Connection::PerChannel;
        else
            throw Mistake{LineOf(&cn), prefix + "connection", "ожидается \"series\" или \"per-channel\""};
        if (const toml::node* ov = t.get("overrides")) {
            const toml::array* a = ov->as_array();
            if (!a || !a->is_array_of_tables())
                throw Mistake{LineOf(ov), prefix + "overrides", "ожидается список [[...overrides]]"};
            for (std::size_t i = 0; i < a->size(); ++i)
                op.overrides.push_back(ReadOverride(*a->get(i)->as_table(),
                                                    prefix + "overrides[" + std::to_string(i + 1) + "].",
                                                    op));
        }
        CheckRatio(op, t, prefix);
    }

    ChannelOverride ReadOverride(const toml::table& t, const std::string& prefix, const Operation& op) {
        r.UnknownKeys(t, kOverrideKeys, prefix);
        ChannelOverride o;
        o.channels = ReadChannels(t, prefix);
        for (int c : o.channels)
            if (std::find(op.channels.begin(), op.channels.end(), c) == op.channels.end())
                throw Mistake{LineOf(t.get("channels")), prefix + "channels",
                              "канал " + std::to_string(c) + " не входит в операцию"};
        const Tolerance* tol = &m.tolerances.at(op.tolerance);
        if (t.get("tolerance")) {
            tol = &NamedTolerance(t, prefix);
            o.tolerance = tol->name;
        }
        if (t.get("points")) o.points = ReadPoints(t, prefix, op.quantity, op.frequencyHz, tol);
        if (o.points.empty() && o.tolerance.empty())
            throw Mistake{LineOf(&t), prefix + "points", "не задано ни точек, ни допуска"};
        return o;
    }

    // The reference must be at least min_ratio times finer than what the
    // module may be off by, at every point of every channel.
    void CheckRatio(const Operation& op, const toml::table& t, const std::string& prefix) {
        const ReferenceError* ref = nullptr;
        for (const ReferenceError& e : m.reference)
            if (e.quantity == op.quantity) ref = &e;
        if (!ref)
            throw Mistake{LineOf(t.get("quantity")), prefix + "quantity",
                          std::string("не задана погрешность эталона [reference.") +
                              QuantityWord(op.quantity) + "]"};
        for (int c : op.channels) {
            const ChannelSpec spec = SpecOf(m, op, c);
            for (double x : spec.points) {
                const double own = PermittedError(*spec.tolerance, x);
                const double theirs = PermittedError(ref->tolerance, x);
                if (own < m.minRatio * theirs * (1 - 1e-12))
                    throw Mistake{op.line, prefix + "tolerance",
                                  "канал " + std::to_string(c) + ", точка " + FloatToStr(x) +
                                      ": допуск модуля " + Fmt("%.6g", own) + " меньше " +
                                      FloatToStr(m.minRatio) + " × погрешности эталона " +
                                      Fmt("%.6g", theirs) + " (reference.min_ratio)"};
            }
        }
    }

    TomlReader r;
    Methodology& m;
};

// A round-2 tolerance had no resolution: the error is kept to three digits
// below the limit's first.
double resolutionFor(double limit) {
    return std::pow(10.0, std::floor(std::log10(limit)) - 2);
}

bool looksLikeProcedure(const toml::table& root) {
    return !root.get("operations") && (root.get("kinds") || root.get("channel"));
}

}  // namespace

const char* ToleranceKindWord(ToleranceKind kind) {
    switch (kind) {
        case ToleranceKind::Rel:
            return "rel";
        case ToleranceKind::Reduced:
            return "reduced";
        case ToleranceKind::AbsRel:
            return "abs+rel";
        default:
            return "abs";
    }
}

const char* OperationKindWord(OperationKind kind) {
    switch (kind) {
        case OperationKind::Inspection:
            return "inspection";
        case OperationKind::Functional:
            return "functional";
        case OperationKind::Software:
            return "software";
        default:
            return "error";
    }
}

int KindOfModel(const std::string& model) {
    for (int kind : {kKind745t, kKind748x, kKind748t, kKind735t, kKind735x, kKind787x,
                     kKind745t745t, kKind745t748x, kKind748x748x})
        if (ModelCodeOfKind(kind) == model) return kind;
    return -1;
}

std::vector<int> ParseChannelList(const std::string& text) {
    constexpr int kMaxChannel = 64;
    std::vector<int> out;
    std::size_t i = 0;
    auto number = [&](int& v) {
        while (i < text.size() && text[i] == ' ') ++i;
        const std::size_t from = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9' && i - from < 4) ++i;
        if (i == from || !StrToIntStrict(text.substr(from, i - from), v)) return false;
        while (i < text.size() && text[i] == ' ') ++i;
        return true;
    };
    for (;;) {
        int lo = 0, hi = 0;
        if (!number(lo)) return {};
        hi = lo;
        if (i < text.size() && text[i] == '-') {
            ++i;
            if (!number(hi) || hi < lo) return {};
        }
        if (hi > kMaxChannel) return {};  // no module has more; keeps the list small
        for (int c = lo; c <= hi; ++c)
            if (std::find(out.begin(), out.end(), c) == out.end()) out.push_back(c);
        if (i == text.size()) break;
        if (text[i] != ',') return {};
        ++i;
    }
    return out;
}

double PermittedError(const Tolerance& t, double x) {
    switch (t.kind) {
        case ToleranceKind::Rel:
            return t.a * std::fabs(x) / 100;
        case ToleranceKind::Reduced:
            return t.a * (t.spanHigh - t.spanLow) / 100;
        case ToleranceKind::AbsRel:
            return t.a + t.b * std::fabs(x);
        default:
            return t.a;
    }
}

ChannelSpec SpecOf(const Methodology& m, const Operation& op, int channel) {
    ChannelSpec s{op.points, &m.tolerances.at(op.tolerance)};
    for (const ChannelOverride& o : op.overrides) {
        if (std::find(o.channels.begin(), o.channels.end(), channel) == o.channels.end()) continue;
        if (!o.points.empty()) s.points = o.points;
        if (!o.tolerance.empty()) s.tolerance = &m.tolerances.at(o.tolerance);
    }
    return s;
}

Methodology MethodologyOfProcedure(const Procedure& p) {
    Methodology m;
    m.file = p.file;
    m.id = p.doc;
    m.title = p.title;
    for (int kind : p.kinds) m.models.push_back(ModelCodeOfKind(kind));
    Tolerance t;
    t.name = "error";
    t.kind = p.errorKind == ErrorKind::Rel       ? ToleranceKind::Rel
             : p.errorKind == ErrorKind::Reduced ? ToleranceKind::Reduced
                                                 : ToleranceKind::Abs;
    t.a = p.limit;
    t.spanHigh = p.range;
    t.resolution = resolutionFor(p.limit);
    m.tolerances[t.name] = t;
    m.settlings["settling"] = p.settling;
    m.minRatio = 0;  // a procedure names no reference
    Operation op;
    op.id = "1";
    op.title = p.title;
    op.quantity = p.quantity;
    // A procedure of no kind (the reader refuses one; a caller may build it)
    // has no channel and no model: its plan applies to no module.
    if (!p.kinds.empty()) op.channels = {ChannelOfItem(p.quantity, p.kinds.front(), p.channel)};
    op.points = p.points;
    op.tolerance = t.name;
    op.settling = "settling";
    op.frequencyHz = p.frequencyHz;
    op.safeValue = p.safeValue;
    m.operations.push_back(op);
    return m;
}

std::optional<Methodology> ParseMethodology(const std::string& text, const std::string& file,
                                            ProcedureError& error) {
    error = ProcedureError{file, 0, "", ""};
    if (!TomlShapeAllowed(text, error.line, error.message)) return std::nullopt;
    try {
        toml::table root = toml::parse(text, file);
        if (looksLikeProcedure(root)) {
            std::optional<Procedure> p = ParseProcedure(text, file, error);
            if (!p) return std::nullopt;
            Methodology m = MethodologyOfProcedure(*p);
            m.sha256 = Sha256Hex(text);
            return m;
        }
        Methodology m;
        m.file = file;
        MethodologyReader(root, m).Read();
        m.sha256 = Sha256Hex(text);
        return m;
    } catch (const toml::parse_error& e) {
        error.line = static_cast<int>(e.source().begin.line);
        error.message = TomlSyntaxMessage(e.description());
    } catch (const Mistake& mistake) {
        error.line = mistake.line;
        error.key = mistake.key;
        error.message = mistake.message;
    }
    return std::nullopt;
}

std::optional<Methodology> LoadMethodology(const std::string& path, ProcedureError& error) {
    error = ProcedureError{path, 0, "", ""};
    std::string text;
    FileFailure failure;
    // A device or a pipe would block or never end; a methodology is pages.
    if (!ReadRegularFile(path, text, failure, kMaxMethodologyBytes)) {
        error.line = failure.line;
        error.message = failure.missing ? "файл не найден" : failure.reason;
        return std::nullopt;
    }
    return ParseMethodology(text, path, error);
}

}  // namespace yukt::verify
