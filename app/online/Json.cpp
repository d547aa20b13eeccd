#include "app/online/Json.h"

#include <cctype>

namespace {

class JsonReader {
public:
    explicit JsonReader(const std::string& text) : s(text) {}

    bool list(std::vector<JsonObject>& objects, std::size_t most) {
        if (!take('[')) return false;
        if (take(']')) return end();
        do {
            JsonObject one;
            if (!object(one)) return false;
            if (objects.size() < most) objects.push_back(std::move(one));
        } while (take(','));
        return take(']') && end();
    }

    bool lone(JsonObject& one) { return object(one) && end(); }

private:
    bool object(JsonObject& out) {
        if (!take('{')) return false;
        if (take('}')) return true;
        do {
            std::u32string key;
            JsonValue one;
            if (!string(key) || !take(':') || !value(one, 1)) return false;
            std::string name;
            for (const char32_t c : key) name += c < 0x80 ? static_cast<char>(c) : '?';
            out[name] = std::move(one);
        } while (take(','));
        return take('}');
    }

    bool value(JsonValue& out, int depth) {
        skip();
        if (at < s.size() && s[at] == '"') {
            out.isString = true;
            return string(out.text);
        }
        if (at < s.size() && (s[at] == '[' || s[at] == '{')) return nested(depth);
        return scalar(out.number);
    }

    // A list or an object inside a value (a ticket's field size), read and
    // dropped; not too deep, so a hostile answer cannot exhaust the stack.
    bool nested(int depth) {
        if (depth >= 16) return false;
        const char close = s[at++] == '[' ? ']' : '}';
        if (take(close)) return true;
        do {
            std::u32string key;
            JsonValue dropped;
            if (close == '}' && (!string(key) || !take(':'))) return false;
            if (!value(dropped, depth + 1)) return false;
        } while (take(','));
        return take(close);
    }

    // A number (whole, not negative, kept; others read and dropped) or a
    // word; -1 when it is not a number we keep.
    bool scalar(long long& number) {
        for (const char* word : {"true", "false", "null"}) {
            const std::string w = word;
            if (s.compare(at, w.size(), w) == 0) {
                at += w.size();
                return true;
            }
        }
        const std::size_t start = at;
        long long value = 0;
        bool whole = true;
        while (at < s.size() && (std::isdigit(static_cast<unsigned char>(s[at])) || s[at] == '-' ||
                                 s[at] == '+' || s[at] == '.' || s[at] == 'e' || s[at] == 'E')) {
            if (!std::isdigit(static_cast<unsigned char>(s[at])) || value > 1'000'000'000'000LL)
                whole = false;
            else
                value = value * 10 + (s[at] - '0');
            ++at;
        }
        if (at == start) return false;
        number = whole ? value : -1;
        return true;
    }

    bool string(std::u32string& out) {
        if (!take('"')) return false;
        while (at < s.size()) {
            const auto c = static_cast<unsigned char>(s[at++]);
            if (c == '"') return true;
            if (c < 0x20) return false;
            if (c == '\\') {
                if (at >= s.size()) return false;
                const char e = s[at++];
                switch (e) {
                case '"': out += U'"'; break;
                case '\\': out += U'\\'; break;
                case '/': out += U'/'; break;
                case 'b': out += U'\b'; break;
                case 'f': out += U'\f'; break;
                case 'n': out += U'\n'; break;
                case 'r': out += U'\r'; break;
                case 't': out += U'\t'; break;
                case 'u': {
                    char32_t unit = 0;
                    if (!hex4(unit)) return false;
                    // Halves of a pair, or alone: either way not drawn.
                    out += unit;
                    break;
                }
                default: return false;
                }
            } else if (c < 0x80) {
                out += static_cast<char32_t>(c);
            } else {
                out += utf8(c);
            }
        }
        return false;
    }

    // The rest of a UTF-8 sequence begun by `lead`; U+FFFD when it is not one.
    char32_t utf8(unsigned char lead) {
        const int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
        if (extra == 0 || lead > 0xF4) return 0xFFFD;
        char32_t cp = lead & (0x3F >> extra);
        for (int k = 0; k < extra; ++k) {
            if (at >= s.size() || (static_cast<unsigned char>(s[at]) & 0xC0) != 0x80) return 0xFFFD;
            cp = cp << 6 | (static_cast<unsigned char>(s[at++]) & 0x3Fu);
        }
        return cp;
    }

    bool hex4(char32_t& out) {
        if (at + 4 > s.size()) return false;
        for (int i = 0; i < 4; ++i) {
            const char h = s[at++];
            out <<= 4;
            if (h >= '0' && h <= '9')
                out |= static_cast<char32_t>(h - '0');
            else if (h >= 'a' && h <= 'f')
                out |= static_cast<char32_t>(h - 'a' + 10);
            else if (h >= 'A' && h <= 'F')
                out |= static_cast<char32_t>(h - 'A' + 10);
            else
                return false;
        }
        return true;
    }

    void skip() {
        while (at < s.size() && (s[at] == ' ' || s[at] == '\n' || s[at] == '\r' || s[at] == '\t'))
            ++at;
    }
    bool take(char c) {
        skip();
        if (at >= s.size() || s[at] != c) return false;
        ++at;
        return true;
    }
    bool end() {
        skip();
        return at == s.size();
    }

    const std::string& s;
    std::size_t at = 0;
};

}  // namespace

bool parseJsonObject(const std::string& json, JsonObject& object) {
    JsonObject read;
    if (!JsonReader(json).lone(read)) return false;
    object = std::move(read);
    return true;
}

bool parseJsonList(const std::string& json, std::vector<JsonObject>& objects, std::size_t most) {
    std::vector<JsonObject> read;
    if (!JsonReader(json).list(read, most)) return false;
    objects = std::move(read);
    return true;
}

std::string shownField(const JsonObject& object, const char* key, std::size_t most) {
    const auto it = object.find(key);
    if (it == object.end()) return {};
    const JsonValue& v = it->second;
    if (!v.isString) return v.number >= 0 ? std::to_string(v.number) : std::string();
    std::string out;
    for (const char32_t c : v.text) {
        if (out.size() == most) return out + "...";
        out += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
    }
    return out;
}
