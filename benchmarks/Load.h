// The heaviest game the rules allow, built by hand, and a snapshot of it
// that every benchmark iteration starts from.
#pragma once

#include <vector>

#include "game/GameState.h"

// Rocks in a band away from the centre, the ship at the centre with its
// flame, a full load of player shots (9 at level 10) and of saucer shots (6:
// two saucers fire every 16 ticks and a shot lives 35), two saucers. Nothing
// collides in the next tick, so every hit test walks its whole list.
// Installs the null platform services.
void buildWorstLoad(int width, int height, int rocks);

// The high-score view of a finished game at the same field size.
void buildGameOver(int width, int height);

class Snapshot {
public:
    Snapshot();  // the global game as it is now
    void restore() const;

private:
    std::vector<SpaceObject> lists[5];
    GameState state;
    SpaceObject ship;
    unsigned seed;
};

// True when the lists hold what buildWorstLoad put there.
bool loadIntact(int rocks);
