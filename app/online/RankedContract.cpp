#include "app/online/RankedContract.h"

#include "app/online/Utf8.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <iterator>

namespace {

#include "app/online/NameTables.inc"

// Hangul syllables compose and decompose by arithmetic, not by table.
constexpr char32_t kSBase = 0xAC00, kLBase = 0x1100, kVBase = 0x1161, kTBase = 0x11A7;
constexpr char32_t kLCount = 19, kVCount = 21, kTCount = 28;
constexpr char32_t kNCount = kVCount * kTCount, kSCount = kLCount * kNCount;

// The value of the run that holds c.
template <std::size_t N>
unsigned runValue(const uint32_t (&runs)[N], char32_t c, unsigned shift) {
    const uint32_t key = static_cast<uint32_t>(c) << shift | ((1u << shift) - 1);
    const uint32_t* at = std::upper_bound(std::begin(runs), std::end(runs), key);
    return at == std::begin(runs) ? 0 : *(at - 1) & ((1u << shift) - 1);
}

enum Kind { kNone = 0, kYes = 1, kMark = 2, kNeverComposed = 3 };
Kind kindOf(char32_t c) { return static_cast<Kind>(runValue(kNameKinds, c, 2)); }
unsigned combiningClass(char32_t c) { return runValue(kCombiningClasses, c, 8); }

constexpr std::size_t kCompositionCount = std::size(kCompositions);

// The compositions by composite, for decomposing.
const std::array<uint16_t, kCompositionCount>& byComposite() {
    static const auto order = [] {
        std::array<uint16_t, kCompositionCount> o{};
        for (std::size_t i = 0; i < o.size(); ++i) o[i] = static_cast<uint16_t>(i);
        std::sort(o.begin(), o.end(),
                  [](uint16_t a, uint16_t b) { return kCompositions[a][2] < kCompositions[b][2]; });
        return o;
    }();
    return order;
}

void decompose(char32_t c, std::u32string& out) {
    if (c >= kSBase && c < kSBase + kSCount) {
        const char32_t s = c - kSBase;
        out += kLBase + s / kNCount;
        out += kVBase + s % kNCount / kTCount;
        if (s % kTCount) out += kTBase + s % kTCount;
        return;
    }
    const auto& order = byComposite();
    const auto at = std::lower_bound(order.begin(), order.end(), c, [](uint16_t i, char32_t v) {
        return kCompositions[i][2] < static_cast<uint32_t>(v);
    });
    if (at == order.end() || kCompositions[*at][2] != static_cast<uint32_t>(c)) {
        out += c;
        return;
    }
    decompose(kCompositions[*at][0], out);
    out += kCompositions[*at][1];
}

// The composite of a pair, or 0.
char32_t composePair(char32_t a, char32_t b) {
    if (a >= kLBase && a < kLBase + kLCount && b >= kVBase && b < kVBase + kVCount)
        return kSBase + ((a - kLBase) * kVCount + (b - kVBase)) * kTCount;
    if (a >= kSBase && a < kSBase + kSCount && (a - kSBase) % kTCount == 0 && b > kTBase &&
        b < kTBase + kTCount)
        return a + (b - kTBase);
    const uint32_t pair[2] = {static_cast<uint32_t>(a), static_cast<uint32_t>(b)};
    const auto* at = std::lower_bound(std::begin(kCompositions), std::end(kCompositions), pair,
                                      [](const uint32_t(&e)[3], const uint32_t(&p)[2]) {
                                          return e[0] != p[0] ? e[0] < p[0] : e[1] < p[1];
                                      });
    return at != std::end(kCompositions) && (*at)[0] == pair[0] && (*at)[1] == pair[1]
               ? static_cast<char32_t>((*at)[2])
               : 0;
}

std::u32string nfc(const std::u32string& in) {
    std::u32string d;
    for (const char32_t c : in) decompose(c, d);
    // Canonical order: marks sorted by class, stably, between starters.
    for (std::size_t i = 1; i < d.size(); ++i)
        for (std::size_t j = i; j > 0; --j) {
            const unsigned a = combiningClass(d[j - 1]), b = combiningClass(d[j]);
            if (b == 0 || a <= b) break;
            std::swap(d[j - 1], d[j]);
        }
    if (d.empty()) return d;
    std::size_t starter = 0, written = 1;
    unsigned last = combiningClass(d[0]) ? 256 : 0;
    for (std::size_t i = 1; i < d.size(); ++i) {
        const char32_t c = d[i];
        const unsigned cc = combiningClass(c);
        const char32_t composite = last < 256 ? composePair(d[starter], c) : 0;
        if (composite && (last < cc || last == 0)) {
            d[starter] = composite;
            continue;
        }
        if (cc == 0) {
            starter = written;
            last = 0;
        } else {
            last = cc;
        }
        d[written++] = c;
    }
    d.resize(written);
    return d;
}

bool decode(std::string_view s, std::u32string& out) {
    for (std::size_t i = 0; i < s.size();) {
        const auto lead = static_cast<unsigned char>(s[i]);
        const int extra = lead < 0x80             ? 0
                          : (lead & 0xE0) == 0xC0 ? 1
                          : (lead & 0xF0) == 0xE0 ? 2
                          : (lead & 0xF8) == 0xF0 ? 3
                                                  : -1;
        if (extra < 0 || s.size() - i <= static_cast<std::size_t>(extra)) return false;
        char32_t c = extra == 0 ? lead : lead & (0x3Fu >> extra);
        for (int k = 1; k <= extra; ++k) {
            const auto b = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
            if ((b & 0xC0) != 0x80) return false;
            c = c << 6 | (b & 0x3Fu);
        }
        static constexpr char32_t least[] = {0, 0x80, 0x800, 0x10000};
        if (c < least[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
        out += c;
        i += static_cast<std::size_t>(extra) + 1;
    }
    return true;
}

}  // namespace

std::string playerNameProblem(std::string_view name) {
    std::u32string cs;
    if (!decode(name, cs)) return "a player's name must be valid UTF-8";
    if (cs.empty() || cs.size() > kPlayerNameMost) return "a player's name is 1 to 16 characters";
    bool composed = true;
    for (const char32_t c : cs) {
        const Kind kind = kindOf(c);
        if (kind == kNone) {
            char code[16];
            std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
            return std::string("a player's name holds only characters that show (not ") + code +
                   ")";
        }
        if (kind == kNeverComposed) composed = false;
    }
    if (cs.front() == ' ' || cs.back() == ' ')
        return "a player's name neither starts nor ends with a space";
    if (kindOf(cs.front()) == kMark) return "a player's name does not start with a combining mark";
    if (!composed || nfc(cs) != cs) return "a player's name must be in composed form (NFC)";
    return {};
}

std::string composedName(std::string_view name) {
    std::u32string cs;
    if (!decode(name, cs)) return std::string(name);
    return utf8Of(nfc(cs));
}

const char* playerNameUnicodeVersion() { return kNameUnicodeVersion; }
