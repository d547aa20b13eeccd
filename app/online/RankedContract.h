// What the game, the page and the leaderboard server must agree on for a
// ranked or daily run to be verified: the field it is played on, the tick
// that paces it, and the names it may be listed under. One place, included
// by the clients and the server alike.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Ranked and daily games are played on this one field (difficulty depends
// on its size), shown scaled in any window.
constexpr int kRankedWidth = 1280;
constexpr int kRankedHeight = 720;
// The game's tick: no run can be played faster than this in real time.
constexpr int kTickMs = 62;

// A player's name: 1 to 16 characters (code points), each one that shows
// (no control, format, bidi or zero-width character, nothing unassigned or
// private, no space but U+0020), neither starting nor ending with a space,
// not starting with a combining mark, in composed form (NFC). The Unicode
// data comes from one table (NameTables.inc), so every build judges alike.
constexpr std::size_t kPlayerNameMost = 16;

// Why a name cannot be listed, in plain words; empty when it can be.
std::string playerNameProblem(std::string_view name);
// The name composed (NFC), as typed names are taken. Characters that are
// never in composed text (a singleton such as U+212B) stay, for the rule to
// refuse; text that is not UTF-8 comes back as it was.
std::string composedName(std::string_view name);
// The Unicode version the rule's data is of.
const char* playerNameUnicodeVersion();
