#include "verify/toml_guard.h"

#include <vector>

namespace yukt::verify {

namespace {

// Follows the structure of TOML just far enough to know, at every byte,
// whether it is in a key, a value, a string or a comment. Valid TOML is
// followed exactly; in malformed text the scan may drift, but only past
// the point where the parser stops anyway. Nothing recurses.
class ShapeScan {
  public:
    ShapeScan(std::string_view text, const TomlLimits& limits) : m_t(text), m_limits(limits) {}

    TomlRefusal run() {
        while (m_i < m_t.size() && !m_refusal) step(m_t[m_i]);
        return m_refusal;
    }

  private:
    enum class Mode { ExpectKey, Key, Value };
    struct Frame {
        bool array;
        int contentDepth;  // depth of what the bracket holds
        std::size_t items;
        bool inItem = false;  // an item has begun since the last comma
    };

    void step(char c) {
        if (c == '\n') {
            ++m_line;
            ++m_i;
            if (m_stack.empty()) m_mode = Mode::ExpectKey;
            return;
        }
        if (c == '#') return skipComment();
        switch (m_mode) {
            case Mode::ExpectKey:
                return expectKey(c);
            case Mode::Key:
                return key(c);
            case Mode::Value:
                return value(c);
        }
    }

    void expectKey(char c) {
        if (c == ' ' || c == '\t' || c == '\r') {
            ++m_i;
        } else if (c == '[' && m_stack.empty()) {
            header();
        } else if (c == '}' && !m_stack.empty() && !m_stack.back().array) {
            close();
        } else {
            m_mode = Mode::Key;
            m_keyParts = 1;
        }
    }

    void key(char c) {
        if (c == '"' || c == '\'') return skipString();
        ++m_i;
        if (c == '.') {
            ++m_keyParts;
            depthAt(contentDepth() + m_keyParts - 1);
        } else if (c == '=') {
            // Each part but the last names a table, made if it is not there.
            addContainers(static_cast<std::size_t>(m_keyParts - 1));
            m_valueDepth = contentDepth() + m_keyParts - 1;
            m_mode = Mode::Value;
        }
    }

    void value(char c) {
        // Items are counted as they begin: counting commas let one more
        // through than the limit, and a trailing comma is no item.
        if (!m_stack.empty() && m_stack.back().array && !m_stack.back().inItem && c != ' ' &&
            c != '\t' && c != '\r' && c != ',' && c != ']') {
            m_stack.back().inItem = true;
            if (++m_stack.back().items > m_limits.maxArrayItems) {
                refuse("массив больше " + std::to_string(m_limits.maxArrayItems) + " элементов");
                return;
            }
        }
        switch (c) {
            case '"':
            case '\'':
                return skipString();
            case '[':
            case '{':
                ++m_i;
                return open(c == '[');
            case ']':
            case '}':
                if (!m_stack.empty() && m_stack.back().array == (c == ']')) return close();
                break;
            case ',':
                if (!m_stack.empty() && m_stack.back().array) {
                    m_stack.back().inItem = false;
                } else if (!m_stack.empty()) {
                    m_mode = Mode::ExpectKey;
                }
                break;
            default:
                break;
        }
        ++m_i;
    }

    // [a.b.c] or [[a.b.c]] at the start of a line.
    void header() {
        ++m_i;
        if (m_i < m_t.size() && m_t[m_i] == '[') ++m_i;
        int parts = 1;
        while (m_i < m_t.size() && m_t[m_i] != ']' && m_t[m_i] != '\n' && !m_refusal) {
            const char c = m_t[m_i];
            if (c == '"' || c == '\'') {
                skipString();
                continue;
            }
            if (c == '.') depthAt(++parts);
            ++m_i;
        }
        addContainers(static_cast<std::size_t>(parts));
        m_rootContentDepth = parts + 1;
        m_mode = Mode::Value;  // the rest of the line: "]", "]]", a comment
    }

    void open(bool array) {
        addContainers(1);
        const int inner = m_valueDepth + 1;
        if (!depthAt(inner)) return;
        m_stack.push_back({array, inner, 0, false});
        m_mode = array ? Mode::Value : Mode::ExpectKey;
        m_valueDepth = inner;
    }

    void close() {
        ++m_i;
        m_stack.pop_back();
        m_mode = Mode::Value;
        m_valueDepth = contentDepth();
    }

    int contentDepth() const {
        return m_stack.empty() ? m_rootContentDepth : m_stack.back().contentDepth;
    }

    bool depthAt(int depth) {
        if (depth <= m_limits.maxDepth) return true;
        refuse("вложенность больше " + std::to_string(m_limits.maxDepth) + " уровней");
        return false;
    }

    void addContainers(std::size_t n) {
        m_containers += n;
        if (m_containers > m_limits.maxContainers)
            refuse("больше " + std::to_string(m_limits.maxContainers) + " таблиц и массивов");
    }

    void refuse(std::string message) {
        if (m_refusal) return;
        m_refusal.line = m_line;
        m_refusal.message = std::move(message);
    }

    void skipComment() {
        while (m_i < m_t.size() && m_t[m_i] != '\n') ++m_i;
    }

    // A string of either quote, one line or three-quoted over many.
    void skipString() {
        const char q = m_t[m_i];
        const std::string closing(3, q);
        const bool multi = m_t.substr(m_i, 3) == closing;
        m_i += multi ? 3 : 1;
        while (m_i < m_t.size()) {
            const char c = m_t[m_i];
            if (c == '\n') {
                if (!multi) return;  // unterminated: the parser says so
                ++m_line;
            } else if (c == '\\' && q == '"') {
                ++m_i;  // the escaped character is skipped with it
                if (m_i < m_t.size() && m_t[m_i] == '\n') ++m_line;
            } else if (c == q && !multi) {
                ++m_i;
                return;
            } else if (c == q && m_t.substr(m_i, 3) == closing) {
                m_i += 3;
                // Up to two quotes before the closing three belong to the text.
                for (int k = 0; k < 2 && m_i < m_t.size() && m_t[m_i] == q; ++k) ++m_i;
                return;
            }
            ++m_i;
        }
    }

    std::string_view m_t;
    const TomlLimits& m_limits;
    std::size_t m_i = 0;
    int m_line = 1;
    Mode m_mode = Mode::ExpectKey;
    int m_keyParts = 1;
    int m_rootContentDepth = 1;
    int m_valueDepth = 1;
    std::size_t m_containers = 0;
    std::vector<Frame> m_stack;
    TomlRefusal m_refusal;
};

}  // namespace

TomlRefusal CheckTomlShape(std::string_view text, const TomlLimits& limits) {
    return ShapeScan(text, limits).run();
}

bool TomlShapeAllowed(std::string_view text, int& line, std::string& message) {
    const TomlRefusal refusal = CheckTomlShape(text);
    if (!refusal) return true;
    line = refusal.line;
    message = refusal.message;
    return false;
}

std::string TomlSyntaxMessage(std::string_view description) {
    return "ошибка синтаксиса TOML (" + std::string(description) + ")";
}

}  // namespace yukt::verify
