// voidrunner-numerics-probe: prints the answers the game gets from its
// numerics on every input it gives them, so two builds can be compared line
// by line:
//   - sin and cos (exactSinCos, or with --libm the C library's) of every ship
//     angle the turn step can reach (|angle| up to 4096, some 20,000 full
//     turns), of the rocks' headings and of the rock outline's angles, as the
//     bits of the double results;
//   - printf("%.9g") of floats of every binade, both zeros, subnormals and
//     the infinities, as the trace prints them.
// The game's float arithmetic itself needs no probe: it is IEEE on every build.
#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "game/GameState.h"
#include "space/BitCast.h"
#include "space/ExactTrig.h"

namespace {

constexpr float kMaxAngle = 4096.0f;

// Every float the ship's angle can take: from 0, steps of +-turnStep.
std::vector<float> reachableAngles() {
    std::unordered_set<std::uint32_t> seen{bitCast<std::uint32_t>(0.0f)};
    std::vector<float> todo{0.0f}, all{0.0f};
    while (!todo.empty()) {
        const float a = todo.back();
        todo.pop_back();
        const float turn = GameState().turnStep;
        for (const float step : {turn, -turn}) {
            const float b = a + step;
            if (std::fabs(b) <= kMaxAngle && seen.insert(bitCast<std::uint32_t>(b)).second) {
                todo.push_back(b);
                all.push_back(b);
            }
        }
    }
    std::sort(all.begin(), all.end());
    return all;
}

bool libm = false;

void trig(const char* kind, float angle) {
    const double x = angle;
    const SinCos v = libm ? SinCos{std::sin(x), std::cos(x)} : exactSinCos(angle);
    std::printf("%s %a %016" PRIx64 " %016" PRIx64 "\n", kind, x, bitCast<std::uint64_t>(v.sin),
                bitCast<std::uint64_t>(v.cos));
}

}  // namespace

int main(int argc, char** argv) {
    libm = argc > 1 && std::string_view(argv[1]) == "--libm";
    for (const float a : reachableAngles()) trig("ship", a);
    for (int h = 1; h < 60; ++h) trig("rock", static_cast<float>(h));
    for (int i = 0; i < 20; ++i) trig("outline", static_cast<float>(i) * 0.05f * 6.28318f);

    // Floats: a spread of significands in every binade (both signs), and the
    // edges. The game never prints a NaN.
    for (std::uint32_t i = 0; i < 0x7F800000u; i += 0x1000u + (i >> 20)) {
        const float f = bitCast<float>(i);
        std::printf("%.9g %.9g\n", static_cast<double>(f), static_cast<double>(-f));
    }
    const float edges[] = {0.0f, -0.0f, INFINITY, -INFINITY, 1e-45f, 3.40282347e38f, 0.5f, 1e9f};
    for (const float f : edges) std::printf("%.9g\n", static_cast<double>(f));
    return 0;
}
