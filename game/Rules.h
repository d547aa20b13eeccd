// The game's rule numbers, each named once. The tests keep their literal
// numbers on purpose: a change here is meant to fail them.
//
// A change of what a game plays like (a number here, or what a tick does)
// is a change of the rules: raise kRulesVersion with it. Replays carry the
// version and the leaderboard verifies runs of its own rules only, so a run
// is never judged, nor watched, under rules it was not played by; and
// scripts/golden.sh records changed golden traces only under a new version.
#pragma once

// The rules this build plays; a replay that names none was played by 1.
constexpr int kRulesVersion = 1;

namespace rules {

// A new game: ships in reserve.
constexpr int kReserveShips = 3;
// An extra ship each time the bonus account reaches this many points per
// level; the account keeps the rest.
constexpr int kExtraShipPointsPerLevel = 500;
// A cleared field is worth this many points per level; the next wave has
// kWaveRocksPerLevel large rocks per level (the first wave kFirstWaveRocks).
constexpr int kFieldClearPointsPerLevel = 50;
constexpr int kWaveRocksPerLevel = 2;
constexpr int kFirstWaveRocks = 2;
// No wave or split adds rocks once the field holds this many.
constexpr int kMostRocks = 200;

// Points, as the bang's sound names the rock or saucer.
constexpr int kLargeRockPoints = 10;
constexpr int kMediumRockPoints = 20;
constexpr int kSmallRockPoints = 40;
constexpr int kBigSaucerPoints = 50;
constexpr int kSmallSaucerPoints = 100;

// The player's shots in flight at once: kShotsAtOnce plus one for every
// kLevelsPerExtraShot levels. Every shot, the saucers' too, lives this many
// moves unless it comes within kShotEdge pixels of an edge.
constexpr int kShotsAtOnce = 4;
constexpr int kLevelsPerExtraShot = 2;
constexpr int kShotLife = 35;
constexpr int kShotEdge = 10;

// Saucers come from this level on, at most two at a time; the next one is
// due after (level x kSaucerWaitPerLevel, truncated) x kSaucerWaitTicks
// ticks.
constexpr int kFirstSaucerLevel = 3;
constexpr int kMostSaucers = 2;
constexpr double kSaucerWaitPerLevel = 0.75;
constexpr int kSaucerWaitTicks = 320;

}  // namespace rules
