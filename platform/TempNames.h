// The temporary files a file storage writes beside its target are named
// "<target>.tmp-<pid>-<random hex>"; only names of that form are ever
// cleaned up, so a player's own look-alike files stay.
#pragma once

#include <cstdio>
#include <cstring>
#include <random>
#include <string>

constexpr const char* tempMark = ".tmp-";

// What follows "<target>.tmp-" in a name this game made: digits, '-', hex
// digits (older versions counted where the random part now stands).
inline bool isOwnTempSuffix(const char* s) {
    std::size_t digits = 0;
    while (s[digits] >= '0' && s[digits] <= '9') ++digits;
    if (digits == 0 || digits > 10 || s[digits] != '-') return false;
    const char* rest = s + digits + 1;
    const std::size_t hex = std::strspn(rest, "0123456789abcdef");
    return hex > 0 && hex <= 16 && rest[hex] == '\0';
}

// A part of a name nobody can guess: a link planted in advance cannot be
// waiting at it.
inline std::string randomHex() {
    static thread_local std::random_device source;
    const unsigned long long value = (static_cast<unsigned long long>(source()) << 32) ^ source();
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", value);
    return text;
}
