// UTF-8 as the leaderboard's two sides judge it.
#pragma once

#include <string>
#include <string_view>

// True for well-formed UTF-8 (no overlong forms, surrogates or code points
// past U+10FFFF).
bool validUtf8(std::string_view s);
// Code points as UTF-8 (the JSON reader gives strings as code points).
std::string utf8Of(const std::u32string& text);
// Text for a URL's path or query: every byte but letters, digits and
// - . _ ~ as %XX.
std::string percentEncoded(const std::string& text);
