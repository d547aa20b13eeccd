#include "app/online/RankedContract.h"

#include "app/online/Utf8.h"

std::string playerNameProblem(std::string_view name) {
    if (name.empty() || name.size() > 32) return "a player's name is 1 to 32 bytes";
    if (!validUtf8(name)) return "a player's name must be valid UTF-8";
    for (const char ch : name)
        if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7f)
            return "a player's name holds no control characters";
    return {};
}
