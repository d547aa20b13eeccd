// std::bit_cast, which not every standard library we build with has yet
// (emscripten's).
#pragma once

#include <cstring>

template <typename To, typename From>
To bitCast(From from) {
    static_assert(sizeof(To) == sizeof(From));
    To to;
    std::memcpy(&to, &from, sizeof to);
    return to;
}
