// JSON text for the API. Strings are escaped so that they are safe inside
// HTML too: a player's name never becomes markup in a page that shows it.
#pragma once

#include <string>
#include <string_view>

std::string jsonString(std::string_view s);
// True for well-formed UTF-8 (no overlong forms, surrogates or code points
// past U+10FFFF).
bool validUtf8(std::string_view s);
