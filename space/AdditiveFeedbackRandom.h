// The game's own random generator: the additive feedback generator with 31
// words of state that glibc's rand() uses. Owning it (instead of calling the
// C library) makes a seed give the same game on Linux, Windows and in a
// browser, so a replay plays back the same everywhere.
#pragma once

#include <cstdint>

class AdditiveFeedbackRandom {
public:
    // Unseeded it gives what srand(1) gives, as rand() does before srand.
    constexpr AdditiveFeedbackRandom() { seed(1); }

    // The seed is taken as a signed 32-bit word; 0 counts as 1.
    constexpr void seed(std::uint32_t s) {
        std::int32_t w = static_cast<std::int32_t>(s);
        if (w == 0) w = 1;
        r[0] = static_cast<std::uint32_t>(w);
        // The minimal-standard recurrence, in C's truncating division.
        for (int i = 1; i < 31; ++i) {
            const std::int32_t hi = w / 127773;
            const std::int32_t lo = w % 127773;
            w = 16807 * lo - 2836 * hi;
            if (w < 0) w += 2147483647;
            r[i] = static_cast<std::uint32_t>(w);
        }
        for (int i = 31; i < kWords; ++i) r[i] = r[i - 31];
        pos = 0;
        for (int i = 0; i < 310; ++i) next();
    }

    // 0 to 2^31 - 1.
    constexpr int next() {
        const std::uint32_t v = r[(pos + kWords - 31) % kWords] + r[(pos + kWords - 3) % kWords];
        r[pos] = v;
        pos = (pos + 1) % kWords;
        return static_cast<int>(v >> 1);
    }

private:
    // r[i] needs r[i-31] and r[i-3]: a ring of 34 words holds both.
    static constexpr int kWords = 34;
    std::uint32_t r[kWords] = {};
    int pos = 0;
};

// The process-wide generator every draw of the game goes through. It is
// constant-initialised, so global objects built before main() (the player's
// ship draws its rock outline) already find it seeded with 1.
namespace rng {
void srand(std::uint32_t seed);
int rand();
}  // namespace rng
