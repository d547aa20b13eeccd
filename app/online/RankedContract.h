// What the game, the page and the leaderboard server must agree on for a
// ranked or daily run to be verified: the field it is played on, the tick
// that paces it, and the names it may be listed under. One place, included
// by the clients and the server alike.
#pragma once

#include <string>
#include <string_view>

// Ranked and daily games are played on this one field (difficulty depends
// on its size), shown scaled in any window.
constexpr int kRankedWidth = 1280;
constexpr int kRankedHeight = 720;
// The game's tick: no run can be played faster than this in real time.
constexpr int kTickMs = 62;

// Why a player's name cannot be listed: empty when it can be. A name is 1 to
// 32 bytes of valid UTF-8 without control characters.
std::string playerNameProblem(std::string_view name);
