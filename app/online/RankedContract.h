// What the clients and the leaderboard server agree on for a ranked run.
#pragma once

#include <string>
#include <string_view>

// Why a player's name cannot be listed: empty when it can be. A name is 1 to
// 32 bytes of valid UTF-8 without control characters.
std::string playerNameProblem(std::string_view name);
