// voidrunner-name-tables: writes app/online/NameTables.inc, the Unicode
// data the player-name rule needs, from Debian's utf8proc. Every build
// (Linux, Windows, the page, the server) compiles the same tables, so the
// rule is one rule everywhere; the name-tables.in-step test fails when the
// installed utf8proc says otherwise (scripts/make-name-tables.sh writes
// them anew).
#include <utf8proc.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int32_t kLast = 0x10FFFF;
constexpr int32_t kHangulFirst = 0xAC00, kHangulLast = 0xD7A3;

// utf8proc's own NFC, by way of UTF-8.
std::u32string nfc(const std::u32string& in) {
    std::string bytes;
    for (const char32_t c : in) {
        utf8proc_uint8_t b[4];
        const auto n = utf8proc_encode_char(static_cast<utf8proc_int32_t>(c), b);
        bytes.append(reinterpret_cast<const char*>(b), static_cast<std::size_t>(n));
    }
    utf8proc_uint8_t* composed =
        utf8proc_NFC(reinterpret_cast<const utf8proc_uint8_t*>(bytes.c_str()));
    std::u32string out;
    const utf8proc_uint8_t* p = composed;
    utf8proc_int32_t c = 0;
    for (utf8proc_ssize_t n; p && *p && (n = utf8proc_iterate(p, -1, &c)) > 0; p += n)
        out += static_cast<char32_t>(c);
    std::free(composed);
    return out;
}

std::u32string canonicalDecomposition(int32_t c) {
    utf8proc_int32_t d[32];
    int last = 0;
    const utf8proc_ssize_t n = utf8proc_decompose_char(c, d, 32, UTF8PROC_DECOMPOSE, &last);
    std::u32string out;
    for (utf8proc_ssize_t i = 0; i < n; ++i) out += static_cast<char32_t>(d[i]);
    return out;
}

// What a name may hold: 0 nothing of it, 1 yes, 2 yes but not first (a
// mark), 3 never in NFC text (a singleton or excluded composite).
int kindOf(int32_t c) {
    const utf8proc_property_t* p = utf8proc_get_property(c);
    switch (p->category) {
    case UTF8PROC_CATEGORY_CN:
    case UTF8PROC_CATEGORY_CC:
    case UTF8PROC_CATEGORY_CF:
    case UTF8PROC_CATEGORY_CS:
    case UTF8PROC_CATEGORY_CO:
    case UTF8PROC_CATEGORY_ZL:
    case UTF8PROC_CATEGORY_ZP: return 0;
    case UTF8PROC_CATEGORY_ZS:
        if (c != 0x20) return 0;
        break;
    default: break;
    }
    // Invisible, whatever their category: fillers, variation selectors.
    if (p->ignorable) return 0;
    if (nfc(std::u32string(1, static_cast<char32_t>(c))) !=
        std::u32string(1, static_cast<char32_t>(c)))
        return 3;
    if (p->category == UTF8PROC_CATEGORY_MN || p->category == UTF8PROC_CATEGORY_MC ||
        p->category == UTF8PROC_CATEGORY_ME)
        return 2;
    return 1;
}

void runs(const char* name, const char* what, int shift, int (*value)(int32_t)) {
    std::printf("// %s\nconstexpr uint32_t %s[] = {\n", what, name);
    int last = -1, column = 0;
    for (int32_t c = 0; c <= kLast; ++c) {
        const int v = value(c);
        if (v == last) continue;
        last = v;
        std::printf("%s0x%x,", column == 0 ? "    " : " ",
                    static_cast<unsigned>(c) << shift | static_cast<unsigned>(v));
        if (++column == 8) {
            std::printf("\n");
            column = 0;
        }
    }
    std::printf("%s};\n\n", column ? "\n" : "");
}

int combiningClass(int32_t c) { return utf8proc_get_property(c)->combining_class; }

}  // namespace

int main() {
    std::printf(
        "// The Unicode data of the player-name rule (app/online/RankedContract.cpp),\n"
        "// made by tools/names from utf8proc %s (Unicode %s): do not edit, run\n"
        "// scripts/make-name-tables.sh.\n\n",
        utf8proc_version(), utf8proc_unicode_version());
    std::printf("constexpr const char* kNameUnicodeVersion = \"%s\";\n\n",
                utf8proc_unicode_version());
    runs("kNameKinds",
         "Runs of code points by what a name may hold, (first << 2) | kind: 0 none,\n"
         "// 1 yes, 2 yes but not first (a mark), 3 never in NFC.",
         2, kindOf);
    runs("kCombiningClasses", "Runs of canonical combining classes, (first << 8) | class.", 8,
         combiningClass);
    // The primary composites but Hangul's: each is its pair composed, and
    // decomposes into it.
    std::printf(
        "// Primary composites {first, second, composite}, by first and second.\n"
        "constexpr uint32_t kCompositions[][3] = {\n");
    std::vector<std::array<uint32_t, 3>> pairs;
    for (int32_t c = 0; c <= kLast; ++c) {
        if (c >= kHangulFirst && c <= kHangulLast) continue;
        const std::u32string full = canonicalDecomposition(c);
        if (full.size() < 2) continue;
        const std::u32string self(1, static_cast<char32_t>(c));
        if (nfc(self) != self) continue;
        const std::u32string first = nfc(full.substr(0, full.size() - 1));
        if (first.size() != 1) {
            std::fprintf(stderr, "U+%04X: no single first of its pair\n", static_cast<unsigned>(c));
            return 1;
        }
        std::u32string pair = first;
        pair += full.back();
        if (nfc(pair) != self) {
            std::fprintf(stderr, "U+%04X: its pair does not compose to it\n",
                         static_cast<unsigned>(c));
            return 1;
        }
        pairs.push_back({static_cast<uint32_t>(first[0]), static_cast<uint32_t>(full.back()),
                         static_cast<uint32_t>(c)});
    }
    std::sort(pairs.begin(), pairs.end());
    for (const auto& p : pairs) std::printf("    {0x%x, 0x%x, 0x%x},\n", p[0], p[1], p[2]);
    std::printf("};\n");
    return 0;
}
