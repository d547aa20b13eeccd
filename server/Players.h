// Names that belong to players: the key a claim hands out (the server keeps
// only its hash), what a name looks like (so that no look-alike of a
// claimed name is listed), and the review flags of a run whose inputs no
// person makes.
#pragma once

#include <string>
#include <string_view>

// A new player key: 256 random bits, base64url (43 characters).
std::string newPlayerKey();
// What the store keeps of a key: SHA-256, hex.
std::string playerKeyHash(std::string_view key);
// True when the key is the one hashed, compared in constant time.
bool playerKeyMatches(std::string_view key, const std::string& hash);
// What a name looks like: case folded, then ICU's confusable skeleton
// (UTS #39), so "ACE", "ace", fullwidth "ＡＣＥ" and Cyrillic "АСЕ" are one.
std::string nameFold(std::string_view name);

// Why a run's inputs look like no person's ("" when they do not): keys that
// change on every tick for longer than a person keeps it up, or hours of
// play without a pause. `pausedMs`: the time between the ticket and the
// run that was not play.
std::string reviewFlags(const std::string& replay, long long pausedMs);
// Keys changing on this many ticks in a row (6.2 s) are flagged.
constexpr int kChangeStreakFlagged = 100;
// Play this long with less than a minute of pauses is flagged.
constexpr long long kUnpausedFlaggedMs = 2ll * 3600 * 1000;
