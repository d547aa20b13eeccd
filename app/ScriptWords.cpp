#include "app/ScriptWords.h"

#include <charconv>

std::vector<std::string_view> splitTraceWords(std::string_view line) {
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

bool parseTraceNumber(std::string_view word, long long lo, long long hi, long long& out) {
    long long v = 0;
    const char* end = word.data() + word.size();
    auto [ptr, ec] = std::from_chars(word.data(), end, v);
    if (ec != std::errc() || ptr != end || v < lo || v > hi) return false;
    out = v;
    return true;
}
