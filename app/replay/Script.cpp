#include "app/replay/Script.h"

#include <charconv>
#include <climits>
#include <cstdio>
#include <initializer_list>

#include "app/GameWindow.h"

namespace {

constexpr struct {
    const char* name;
    uint32_t message;
} kMouseEvents[] = {{"ldown", wm::leftButtonDown},
                    {"lup", wm::leftButtonUp},
                    {"rdown", wm::rightButtonDown},
                    {"rup", wm::rightButtonUp}};

// Blanks and tabs separate the words.
std::vector<std::string_view> splitWords(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
        if (i > start) words.push_back(line.substr(start, i - start));
    }
    return words;
}

// A whole word as a decimal integer in [lo, hi].
bool number(std::string_view word, long long lo, long long hi, long long& out) {
    long long v = 0;
    const char* end = word.data() + word.size();
    auto [ptr, ec] = std::from_chars(word.data(), end, v);
    if (ec != std::errc() || ptr != end || v < lo || v > hi) return false;
    out = v;
    return true;
}

bool keySet(std::string_view word, long long& out) {
    if (word == "-") {
        out = 0;
        return true;
    }
    unsigned set = 0;
    for (const char c : word) {
        unsigned bit = 0;
        for (const KeyLetter& k : kKeyLetters)
            if (k.letter == c) bit = keyBit(k.key);
        if (!bit) return false;
        set |= bit;
    }
    out = set;
    return true;
}

// Appends the parts and a line end. (Built with appends: GCC 12 warns
// wrongly about the temporaries of chained string additions.)
void addLine(std::string& to, std::initializer_list<std::string_view> parts) {
    for (const std::string_view p : parts) to.append(p);
    to += '\n';
}

}  // namespace

uintptr_t wheelParam(long long delta) {
    const auto high = static_cast<uint16_t>(static_cast<uint32_t>(delta) & 0xFFFFu);
    return static_cast<uintptr_t>(high) << 16;
}

bool ScriptReader::started() const { return ticks_ > kStartCountdown; }

const char* ScriptReader::read(std::string_view line, ScriptCommand& out) {
    out = ScriptCommand();
    const std::vector<std::string_view> w = splitWords(line);
    if (w.empty() || w[0][0] == '#') return nullptr;
    const std::string_view cmd = w[0];
    const std::size_t args = w.size() - 1;

    if (cmd == "tick") {
        out.value = 1;
        if (args > 1) return "tick takes at most one number";
        if (args == 1 && !number(w[1], 0, INT_MAX, out.value))
            return "tick count must be a whole number from 0";
        out.kind = ScriptCommand::Tick;
        ticks_ += out.value;
    } else if (cmd == "char") {
        if (args != 1 || !number(w[1], 0, 255, out.value))
            return "char takes one code from 0 to 255";
        out.kind = ScriptCommand::Char;
    } else if (cmd == "keys") {
        if (args != 1) return "keys takes one word: - or letters of LRUS";
        if (!keySet(w[1], out.value)) return "keys takes - or letters of LRUS";
        out.kind = ScriptCommand::Keys;
    } else if (cmd == "mouse") {
        for (const auto& e : kMouseEvents)
            if (args == 1 && w[1] == e.name) out.value = e.message;
        if (!out.value) return "mouse takes one of ldown, lup, rdown, rup";
        out.kind = ScriptCommand::Mouse;
    } else if (cmd == "wheel") {
        if (args != 1 || !number(w[1], INT_MIN, INT_MAX, out.value))
            return "wheel takes one signed number";
        out.kind = ScriptCommand::Wheel;
    } else if (cmd == "field") {
        // 0 is what a minimised window reports; the game takes it as 1.
        if (args != 2 || !number(w[1], 0, 16384, out.value) || !number(w[2], 0, 16384, out.value2))
            return "field takes a width and a height from 0 to 16384";
        if (started()) return "field comes too late: the game has started";
        out.kind = ScriptCommand::Field;
    } else if (cmd == "seed") {
        if (args != 1 || !number(w[1], 0, UINT_MAX, out.value))
            return "seed takes one number from 0 to 4294967295";
        out.kind = ScriptCommand::Seed;
    } else if (cmd == "table") {
        if ((args != 2 && args != 3) || !number(w[1], INT_MIN, INT_MAX, out.value) ||
            !number(w[2], INT_MIN, INT_MAX, out.value2) ||
            (args == 3 && !unescapeInitials(w[3], out.initials)))
            return "table takes a score, a level and initials (%XX for other bytes)";
        if (started()) return "table comes too late: the game has started";
        if (tableRows_ == 10) return "table has ten rows at most";
        ++tableRows_;
        out.kind = ScriptCommand::Table;
    } else {
        return "unknown command";
    }
    return nullptr;
}

void writeScriptLine(std::string& to, const ScriptCommand& c) {
    const std::string value = std::to_string(c.value);
    switch (c.kind) {
    case ScriptCommand::None: break;
    case ScriptCommand::Field: addLine(to, {"field ", value, " ", std::to_string(c.value2)}); break;
    case ScriptCommand::Seed: addLine(to, {"seed ", value}); break;
    case ScriptCommand::Table:
        // Empty initials (only a broken save file gives them) leave the word out.
        addLine(to, {"table ", value, " ", std::to_string(c.value2), c.initials.empty() ? "" : " ",
                     escapeInitials(c.initials)});
        break;
    case ScriptCommand::Keys: {
        std::string letters;
        for (const KeyLetter& k : kKeyLetters)
            if (c.value & keyBit(k.key)) letters += k.letter;
        addLine(to, {"keys ", letters.empty() ? "-" : letters});
        break;
    }
    case ScriptCommand::Tick:
        if (c.value == 1) addLine(to, {"tick"});
        if (c.value > 1) addLine(to, {"tick ", value});
        break;
    case ScriptCommand::Char: addLine(to, {"char ", value}); break;
    case ScriptCommand::Mouse:
        for (const auto& e : kMouseEvents)
            if (c.value == e.message) addLine(to, {"mouse ", e.name});
        break;
    case ScriptCommand::Wheel: addLine(to, {"wheel ", value}); break;
    }
}

std::string quoteScriptLine(std::string_view line, std::size_t max) {
    std::string out;
    for (const char ch : line.substr(0, max)) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c >= 0x20 && c < 0x7F) || c == '\t') {
            out += ch;
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        }
    }
    return out;
}

std::string escapeInitials(const std::string& initials) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const char ch : initials) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 33 || c > 126 || c == '%') {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

bool unescapeInitials(std::string_view word, std::string& out) {
    auto digit = [](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    out.clear();
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (word[i] != '%') {
            out += word[i];
            continue;
        }
        if (i + 2 >= word.size()) return false;
        const int hi = digit(word[i + 1]);
        const int lo = digit(word[i + 2]);
        if (hi < 0 || lo < 0) return false;
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return true;
}

// FNV-1a: enough to tell a replay changed by hand or cut short.
void ReplayChecksum::add(std::string_view text) {
    for (const char c : text) {
        value ^= static_cast<unsigned char>(c);
        value *= 16777619u;
    }
}

std::string ReplayChecksum::line() const {
    char text[32];
    std::snprintf(text, sizeof text, "# end %08x\n", static_cast<unsigned>(value));
    return text;
}

std::string replayChecksumLine(std::string_view text) {
    ReplayChecksum sum;
    sum.add(text);
    return sum.line();
}
