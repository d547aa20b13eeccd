// The leaderboard server's JSON as the client reads it: objects whose
// values are strings, whole numbers, true, false or null, alone or in a
// list; lists and objects within a value are read and dropped. Strings come
// out as code points, so what a stranger sent is judged by what it says,
// not by its bytes.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

struct JsonValue {
    bool isString = false;
    std::u32string text;    // a string's code points
    long long number = -1;  // a whole number up to 10^12; -1 for any other value
};

// Keys as ASCII (any other character a '?').
using JsonObject = std::map<std::string, JsonValue>;

// False when the text is not one such object (or list).
bool parseJsonObject(const std::string& json, JsonObject& object);
// At most `most` objects are kept; all are read.
bool parseJsonList(const std::string& json, std::vector<JsonObject>& objects, std::size_t most);

// A value to show in a message: a string in printable ASCII (anything else
// a '?', at most `most` characters), a number's digits, or "" when missing.
std::string shownField(const JsonObject& object, const char* key, std::size_t most = 200);
