#pragma once
// Reading checked values out of a parsed TOML table for the procedure and
// methodology files: every mistake is thrown as a Mistake carrying the line
// and key, turned into a ProcedureError at the reader's edge.

#include <toml++/toml.h>

#include <climits>
#include <cmath>
#include <set>
#include <string>

namespace yukt::verify {

// Thrown inside the readers only.
struct Mistake {
    int line;
    std::string key;
    std::string message;
};

inline int LineOf(const toml::node* node) {
    return node ? static_cast<int>(node->source().begin.line) : 0;
}

class TomlReader {
  public:
    explicit TomlReader(const toml::table& root) : m_root(root) {}

    void UnknownKeys(const toml::table& t, const std::set<std::string>& known,
                     const std::string& prefix) const {
        for (const auto& [key, node] : t) {
            const std::string name(key.str());
            if (!known.count(name))
                throw Mistake{static_cast<int>(key.source().begin.line), prefix + name,
                              "неизвестный ключ"};
        }
    }

    const toml::node& Need(const toml::table& t, const std::string& key,
                           const std::string& prefix) const {
        const toml::node* n = t.get(key);
        // A key missing from a table is placed at the table's header; the
        // top level has none.
        if (!n) throw Mistake{&t == &m_root ? 0 : LineOf(&t), prefix + key, "ключ не задан"};
        return *n;
    }

    std::string Text(const toml::node& n, const std::string& key) const {
        const auto v = n.value<std::string>();
        if (!v || !n.is_string() || v->empty())
            throw Mistake{LineOf(&n), key, "ожидается непустая строка"};
        return *v;
    }
    std::string Text(const toml::table& t, const std::string& key,
                     const std::string& prefix) const {
        return Text(Need(t, key, prefix), prefix + key);
    }

    double Number(const toml::node& n, const std::string& key) const {
        if (!n.is_number()) throw Mistake{LineOf(&n), key, "ожидается число"};
        const double v = n.value<double>().value_or(NAN);
        if (!std::isfinite(v)) throw Mistake{LineOf(&n), key, "ожидается конечное число"};
        return v;
    }
    double Number(const toml::table& t, const std::string& key, const std::string& prefix) const {
        return Number(Need(t, key, prefix), prefix + key);
    }

    // The 64-bit value is checked against the field's range before it is
    // made smaller: 2^32 must not come out as 0.
    long long Integer(const toml::table& t, const std::string& key, const std::string& prefix,
                      long long lo = INT_MIN, long long hi = INT_MAX,
                      const std::string& why = "") const {
        return Integer(Need(t, key, prefix), prefix + key, lo, hi, why);
    }
    long long Integer(const toml::node& n, const std::string& key, long long lo = INT_MIN,
                      long long hi = INT_MAX, const std::string& why = "") const {
        if (!n.is_integer()) throw Mistake{LineOf(&n), key, "ожидается целое число"};
        const long long v = *n.value<long long>();
        if (v < lo || v > hi)
            throw Mistake{LineOf(&n), key,
                          why.empty() ? "ожидается целое от " + std::to_string(lo) + " до " +
                                            std::to_string(hi)
                                      : why};
        return v;
    }

    const toml::table& Table(const toml::table& t, const std::string& key,
                             const std::string& prefix) const {
        const toml::node& n = Need(t, key, prefix);
        if (!n.is_table())
            throw Mistake{LineOf(&n), prefix + key, "ожидается таблица [" + prefix + key + "]"};
        return *n.as_table();
    }

    const toml::table& Root() const { return m_root; }

  private:
    const toml::table& m_root;
};

}  // namespace yukt::verify
