#include "scores/Initials.h"

#include <cstdint>

#include "game/GameState.h"
#include "scores/HighScores.h"

std::string typedInitials;

void resetInitials() { typedInitials.clear(); }

void handleTypedCharacter(int code) {
    // Only the low byte counts, and as a signed value: codes 128 to 255 fall
    // below every accepted range.
    const auto c = static_cast<std::int8_t>(static_cast<std::uint8_t>(code & 0xFF));

    if (!gameState.shipDestroyed) {
        if (c >= '0' && c <= '9') {
            gameState.throttle = c == '0' ? 10 : c - '0';
        }
        return;
    }
    if (!gameState.enteringInitials || typedInitials.size() >= 3) {
        return;
    }
    // No blank, no control keys: initials cannot be corrected or confirmed.
    if (c < 33 || c > 126) {
        return;
    }
    typedInitials.push_back(static_cast<char>(c));
    if (typedInitials.size() == 3) {
        recordHighScore(gameState.score, gameState.level, typedInitials);
        gameState.enteringInitials = 0;
        typedInitials.clear();
    }
}
