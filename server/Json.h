// JSON text for the API. Strings are escaped so that they are safe inside
// HTML too: a player's name never becomes markup in a page that shows it.
#pragma once

#include <string>
#include <string_view>

std::string jsonString(std::string_view s);
// validUtf8: the clients' own, so both sides judge a name alike.
#include "app/online/Utf8.h"
