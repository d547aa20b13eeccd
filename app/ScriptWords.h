// The words of a trace script line, shared by the replay player and the
// trace tool so that both read a replay exactly alike.
#pragma once

#include <string_view>
#include <vector>

// The script's words: blanks and tabs separate them.
std::vector<std::string_view> splitTraceWords(std::string_view line);

// A whole word as a decimal integer in [lo, hi].
bool parseTraceNumber(std::string_view word, long long lo, long long hi, long long& out);
