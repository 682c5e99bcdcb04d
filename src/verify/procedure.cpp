#include "verify/procedure.h"

#include <sys/stat.h>
#include <toml++/toml.h>

#include <cmath>
#include <set>
#include <sstream>

#include "common/text_file.h"
#include "instrument/identify.h"
#include "verify/toml_guard.h"
#include "verify/toml_reader.h"

namespace yukt::verify {

namespace {

// A procedure is a page of text; anything larger is not one.
constexpr std::size_t kMaxProcedureBytes = 1 << 20;

struct QuantityName {
    Quantity q;
    const char* word;
    const char* unit;
};
constexpr QuantityName kQuantities[] = {
    {Quantity::Current, "current", "мА"},
    {Quantity::GeneratorCurrent, "generator_current", "мА"},
    {Quantity::Frequency, "frequency", "Гц"},
    {Quantity::Period, "period", "мкс"},
    {Quantity::Interval, "interval", "с"},
    {Quantity::Count, "count", "имп."},
    {Quantity::Divider, "divider", ""},
    {Quantity::Translator, "translator", "Гц"},
};

const std::set<std::string> kTopKeys = {"title",      "doc",    "kinds",           "channel",
                                        "quantity",   "points", "both_directions", "frequency",
                                        "safe_value", "error",  "settling"};
const std::set<std::string> kErrorKeys = {"kind", "limit", "range"};
const std::set<std::string> kSettlingKeys = {"delay", "agree", "band", "timeout", "readings"};

int lineOf(const toml::node* node) { return LineOf(node); }

// The procedure's reader: the shared one with the names this file uses.
class Reader {
  public:
    explicit Reader(const toml::table& root) : m_r(root) {}
    void unknownKeys(const toml::table& t, const std::set<std::string>& known,
                     const std::string& prefix) {
        m_r.UnknownKeys(t, known, prefix);
    }
    const toml::node& need(const toml::table& t, const std::string& key,
                           const std::string& prefix) {
        return m_r.Need(t, key, prefix);
    }
    std::string text(const toml::table& t, const std::string& key, const std::string& prefix) {
        return m_r.Text(t, key, prefix);
    }
    double number(const toml::node& n, const std::string& key) { return m_r.Number(n, key); }
    double number(const toml::table& t, const std::string& key, const std::string& prefix) {
        return m_r.Number(t, key, prefix);
    }
    long long integer(const toml::table& t, const std::string& key, const std::string& prefix,
                      long long lo = INT_MIN, long long hi = INT_MAX, const std::string& why = "") {
        return m_r.Integer(t, key, prefix, lo, hi, why);
    }
    const toml::table& table(const std::string& key) { return m_r.Table(m_r.Root(), key, ""); }

  private:
    TomlReader m_r;
};

Quantity quantityOf(const std::string& word, int line) {
    for (const QuantityName& q : kQuantities)
        if (word == q.word) return q.q;
    throw Mistake{line, "quantity", "неизвестная величина \"" + word + "\""};
}

const std::set<int> kVerifiable = {kKind745t, kKind748x,     kKind748t,     kKind735t,    kKind735x,
                                   kKind787x, kKind745t745t, kKind745t748x, kKind748x748x};

void checkPoint(const Procedure& p, double v, int line) {
    std::string why = PointProblem(p.quantity, v, p.frequencyHz);
    if (why.empty() && p.errorKind == ErrorKind::Rel && v == 0)
        why = "относительная погрешность в нулевой точке не определена";
    if (!why.empty()) throw Mistake{line, "points", "точка " + FloatToStr(v) + ": " + why};
}

Procedure read(const toml::table& root, const std::string& file) {
    Reader r(root);
    r.unknownKeys(root, kTopKeys, "");
    Procedure p;
    p.file = file;
    p.title = r.text(root, "title", "");
    p.doc = r.text(root, "doc", "");

    const toml::node& qn = r.need(root, "quantity", "");
    p.quantity = quantityOf(qn.value<std::string>().value_or(""), lineOf(&qn));
    if (p.quantity == Quantity::Divider || p.quantity == Quantity::Translator)
        throw Mistake{lineOf(&qn), "quantity",
                      "делители и трансляторы автоматически не поверяются"};

    const long long channel = r.integer(root, "channel", "");
    if (channel < 0 || channel > 15)
        throw Mistake{lineOf(root.get("channel")), "channel", "нет такого канала"};
    p.channel = static_cast<int>(channel);

    const toml::node& kn = r.need(root, "kinds", "");
    const toml::array* kinds = kn.as_array();
    if (!kinds || kinds->empty())
        throw Mistake{lineOf(&kn), "kinds", "ожидается непустой список видов модулей"};
    for (const toml::node& k : *kinds) {
        if (!k.is_integer()) throw Mistake{lineOf(&k), "kinds", "ожидается целое число"};
        const long long wide = *k.value<long long>();
        if (wide < -1 || wide > 99)
            throw Mistake{lineOf(&k), "kinds", "вид " + std::to_string(wide) + " не поверяется"};
        const int kind = static_cast<int>(wide);
        if (!kVerifiable.count(kind))
            throw Mistake{lineOf(&k), "kinds", "вид " + std::to_string(kind) + " не поверяется"};
        if (!RouteFor(p.quantity, kind, p.channel))
            throw Mistake{lineOf(&k), "kinds",
                          "у вида " + std::to_string(kind) + " нет канала " +
                              std::to_string(p.channel) + " для величины \"" +
                              QuantityWord(p.quantity) + "\""};
        p.kinds.push_back(kind);
    }

    const toml::table& err = r.table("error");
    r.unknownKeys(err, kErrorKeys, "error.");
    const toml::node& ek = r.need(err, "kind", "error.");
    const std::string kind = ek.value<std::string>().value_or("");
    if (kind == "abs")
        p.errorKind = ErrorKind::Abs;
    else if (kind == "rel")
        p.errorKind = ErrorKind::Rel;
    else if (kind == "reduced")
        p.errorKind = ErrorKind::Reduced;
    else
        throw Mistake{lineOf(&ek), "error.kind", "ожидается \"abs\", \"rel\" или \"reduced\""};
    p.limit = r.number(err, "limit", "error.");
    if (p.limit <= 0)
        throw Mistake{lineOf(err.get("limit")), "error.limit", "допуск должен быть больше 0"};
    if (p.errorKind == ErrorKind::Reduced) {
        p.range = r.number(err, "range", "error.");
        if (p.range <= 0)
            throw Mistake{lineOf(err.get("range")), "error.range", "диапазон должен быть больше 0"};
    } else if (err.get("range")) {
        throw Mistake{lineOf(err.get("range")), "error.range",
                      "диапазон задаётся только для приведённой погрешности"};
    }

    if (p.quantity == Quantity::Count) {
        p.frequencyHz = r.number(root, "frequency", "");
        if (!FrequencyInRange(p.frequencyHz))
            throw Mistake{lineOf(root.get("frequency")), "frequency",
                          "частота вне диапазона генератора 35..3500 Гц"};
    } else if (root.get("frequency")) {
        throw Mistake{lineOf(root.get("frequency")), "frequency",
                      "частота задаётся только для счёта импульсов"};
    }
    if (const toml::node* s = root.get("safe_value")) {
        if (p.quantity != Quantity::Current && p.quantity != Quantity::GeneratorCurrent)
            throw Mistake{lineOf(s), "safe_value", "задаётся только для тока"};
        p.safeValue = r.number(*s, "safe_value");
        if (p.safeValue < 0 || p.safeValue > kCurrentMaxMa)
            throw Mistake{lineOf(s), "safe_value", "ток вне диапазона генератора 0..20 мА"};
    }

    const toml::node& pn = r.need(root, "points", "");
    const toml::array* points = pn.as_array();
    if (!points || points->empty())
        throw Mistake{lineOf(&pn), "points", "ожидается непустой список точек"};
    for (const toml::node& n : *points) {
        const double v = r.number(n, "points");
        checkPoint(p, v, lineOf(&n));
        p.points.push_back(v);
    }
    if (const toml::node* both = root.get("both_directions")) {
        if (!both->is_boolean())
            throw Mistake{lineOf(both), "both_directions", "ожидается true или false"};
        // Up, then down again without repeating the turning point.
        if (*both->value<bool>())
            for (std::size_t i = p.points.size() - 1; i-- > 0;) p.points.push_back(p.points[i]);
    }

    const toml::table& st = r.table("settling");
    r.unknownKeys(st, kSettlingKeys, "settling.");
    Settling& s = p.settling;
    s.delayS = r.number(st, "delay", "settling.");
    s.agree = static_cast<int>(r.integer(st, "agree", "settling.", 1, 100, "ожидается 1..100 показаний"));
    s.band = r.number(st, "band", "settling.");
    s.timeoutS = r.number(st, "timeout", "settling.");
    s.readings =
        static_cast<int>(r.integer(st, "readings", "settling.", 1, 100, "ожидается 1..100 показаний"));
    auto refuse = [&](const char* key, const std::string& why) {
        throw Mistake{lineOf(st.get(key)), std::string("settling.") + key, why};
    };
    if (s.delayS < 0 || s.delayS > 3600) refuse("delay", "ожидается 0..3600 с");
    if (s.agree < 1 || s.agree > 100) refuse("agree", "ожидается 1..100 показаний");
    if (s.band < 0) refuse("band", "полоса не может быть отрицательной");
    if (s.timeoutS <= 0 || s.timeoutS > 36000) refuse("timeout", "ожидается больше 0 и до 36000 с");
    if (s.readings < 1 || s.readings > 100) refuse("readings", "ожидается 1..100 показаний");
    return p;
}

}  // namespace

// A point the reference cannot produce is refused before anything runs.
std::string PointProblem(Quantity q, double v, double frequencyHz) {
    switch (q) {
        case Quantity::Current:
        case Quantity::GeneratorCurrent:
            if (v < 0 || v > kCurrentMaxMa) return "ток вне диапазона генератора 0..20 мА";
            break;
        case Quantity::Frequency:
            if (!FrequencyInRange(v)) return "частота вне диапазона генератора 35..3500 Гц";
            break;
        case Quantity::Period:
            if (v <= 0 || !FrequencyInRange(1e6 / v))
                return "период вне диапазона генератора (частота 35..3500 Гц)";
            break;
        case Quantity::Interval:
            if (v < kIntervalMinS || v > kIntervalMaxS)
                return "интервал вне диапазона генератора 0,2..1500 с";
            break;
        case Quantity::Count:
            if (v < 1 || v != std::floor(v)) return "количество импульсов должно быть целым ≥ 1";
            if (frequencyHz > 0) {
                const double t = v / frequencyHz;
                if (t < kIntervalMinS || t > kIntervalMaxS)
                    return "интервал счёта вне диапазона генератора 0,2..1500 с";
            }
            break;
        default:
            break;
    }
    return "";
}

std::string ProcedureError::Text() const {
    // The path and the key come from outside: shown escaped, never raw
    // control bytes on the operator's terminal.
    std::string t = EchoToken(file, 4096);
    if (line > 0) t += ":" + std::to_string(line);
    t += ": ";
    if (!key.empty()) t += EchoToken(key, 256) + ": ";
    return t + message;
}

const char* QuantityWord(Quantity q) {
    for (const QuantityName& n : kQuantities)
        if (n.q == q) return n.word;
    return "?";
}

std::optional<Quantity> QuantityFromWord(const std::string& word) {
    for (const QuantityName& q : kQuantities)
        if (word == q.word) return q.q;
    return std::nullopt;
}

const char* QuantityUnit(Quantity q) {
    for (const QuantityName& n : kQuantities)
        if (n.q == q) return n.unit;
    return "";
}

std::optional<Procedure> ParseProcedure(const std::string& text, const std::string& file,
                                        ProcedureError& error) {
    error = ProcedureError{file, 0, "", ""};
    if (!TomlShapeAllowed(text, error.line, error.message)) return std::nullopt;
    try {
        toml::table root = toml::parse(text, file);
        return read(root, file);
    } catch (const toml::parse_error& e) {
        error.line = static_cast<int>(e.source().begin.line);
        error.message = TomlSyntaxMessage(e.description());
    } catch (const Mistake& m) {
        error.line = m.line;
        error.key = m.key;
        error.message = m.message;
    }
    return std::nullopt;
}

std::optional<Procedure> LoadProcedure(const std::string& path, ProcedureError& error) {
    error = ProcedureError{path, 0, "", ""};
    std::string text;
    FileFailure failure;
    // A device or a pipe would block or never end; a procedure is a page.
    if (!ReadRegularFile(path, text, failure, kMaxProcedureBytes)) {
        error.line = failure.line;
        error.message = failure.missing ? "файл не найден" : failure.reason;
        return std::nullopt;
    }
    return ParseProcedure(text, path, error);
}

}  // namespace yukt::verify
