// voidrunner-replay-bot: plays the real game headless, well enough to reach
// the later levels, and writes what it played as a replay: long scripts of
// real play for comparing builds and platforms.
//
//   voidrunner-replay-bot [--seed S] [--field WxH] [--ticks N] [--games G] [--wobble] OUT
//
// The bot turns toward the nearest rock or saucer (across the wrap-around
// edges) and fires, changes the throttle, clicks the mouse to rescale, and
// signs the table after every game over until it has played G games or N
// ticks. With --wobble it also, now and then, turns out and back by the same
// number of steps while thrusting, then thrusts along the angle it came back
// to, cycling through every throttle: float residues of the angle times the
// power are where builds' rounding would part ways. It drives the loop and window procedure as the
// real game does, so the replay comes from the same recorder.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <string_view>

#include "app/GameWindow.h"
#include "app/replay/ReplayRecorder.h"
#include "game/GameState.h"
#include "platform/headless/Headless.h"

namespace {

struct Options {
    unsigned seed = 1;
    int width = 800, height = 600;
    long long ticks = 12000;
    int games = 2;
    bool wobble = false;
    const char* out = nullptr;
};

struct Bot {
    HeadlessPlatform host;
    ReplayRecorder recorder;
    std::mt19937 rng;
    int restartPhase = 0;
    int firePhase = 0;
    bool wobble = false;
    // Key steps left of the turn out, the turn back and the thrust after.
    int wobbleOut = 0, wobbleBack = 0, wobbleThrust = 0;
    char wobbleTurn = 'R';
    int throttleCycle = 0;

    explicit Bot(unsigned seed, bool wobbling) : rng(seed), wobble(wobbling) {}
    int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }

    // Out by k steps and back by k, thrusting all along, then straight on.
    std::string wobbleKeys() {
        if (wobbleOut == 0 && wobbleBack == 0 && wobbleThrust == 0) {
            if (!chance(4)) return "";
            wobbleOut = wobbleBack = pick(1, 5);
            wobbleThrust = pick(1, 4);
            wobbleTurn = chance(50) ? 'R' : 'L';
        }
        if (wobbleOut > 0) {
            --wobbleOut;
            return std::string(1, wobbleTurn) + 'U';
        }
        if (wobbleBack > 0) {
            --wobbleBack;
            return std::string(1, wobbleTurn == 'R' ? 'L' : 'R') + 'U';
        }
        --wobbleThrust;
        return "U";
    }
    bool chance(unsigned percent) {
        return std::uniform_int_distribution<unsigned>(0, 99)(rng) < percent;
    }

    void send(uint32_t message, uintptr_t wParam = 0) {
        gameWindow->handleMessage(gameWindow->window, message, wParam, 0);
    }

    // The shortest offset from a to b on a ring of the given size.
    static float wrapped(float d, int size) {
        const auto half = static_cast<float>(size) / 2.0f;
        if (d > half) d -= static_cast<float>(size);
        if (d < -half) d += static_cast<float>(size);
        return d;
    }

    std::string chooseKeys() {
        const GameState& g = gameState;
        if (g.shipDestroyed) {
            if (g.enteringInitials) return "";
            return (restartPhase++ & 1) ? "S" : "";
        }
        restartPhase = 0;
        if (wobble) {
            std::string keys = wobbleKeys();
            if (!keys.empty()) return keys;
        }
        const float sx = playerShip.getX(), sy = playerShip.getY();
        float best = INFINITY, tx = 0, ty = 0;
        auto consider = [&](const ObjectList& list, float weight) {
            for (const ObjectNode* n = list.first(); n; n = n->next) {
                const float dx = wrapped(n->value.getX() - sx, g.fieldWidth);
                const float dy = wrapped(n->value.getY() - sy, g.fieldHeight);
                const float d = (dx * dx + dy * dy) * weight;
                if (d < best) {
                    best = d;
                    tx = dx;
                    ty = dy;
                }
            }
        };
        consider(asteroids, 1.0f);
        consider(saucers, 0.5f);
        std::string keys;
        if (best < INFINITY) {
            // Angle 0 points up, positive turns clockwise.
            const double want = std::atan2(static_cast<double>(tx), -static_cast<double>(ty));
            const double diff =
                std::remainder(want - static_cast<double>(playerShip.getAngle()), 2 * M_PI);
            if (diff > 0.12) keys += 'R';
            if (diff < -0.12) keys += 'L';
            // Turning and firing fires every poll; alone, space fires once
            // per press.
            if (!keys.empty() || (firePhase++ & 1)) keys += 'S';
        }
        // Now and then a little thrust, back toward the middle.
        if (chance(2)) keys += 'U';
        return keys;
    }

    void events(long long t) {
        const GameState& g = gameState;
        if (g.enteringInitials) {
            send(wm::character, static_cast<uintptr_t>('A' + (t % 26)));
            return;
        }
        if (g.shipDestroyed) return;
        if (chance(1)) send(wm::character, static_cast<uintptr_t>('0' + (t % 10)));
        if (wobble && t % 40 == 0) {
            send(wm::character, static_cast<uintptr_t>('0' + throttleCycle++ % 10));
        }
        if (t % 700 == 100) send(chance(50) ? wm::leftButtonDown : wm::rightButtonDown);
        if (t % 700 == 103) send(chance(50) ? wm::leftButtonUp : wm::rightButtonUp);
        if (t % 1500 == 200)
            send(wm::mouseWheel, static_cast<uintptr_t>(chance(50) ? 120 : 0xFF88) << 16);
        if (t % 1500 == 400) send(wm::leftButtonDown);
        if (t % 1500 == 401) send(wm::leftButtonUp);
    }
};

int run(const Options& opt) {
    Bot bot(opt.seed, opt.wobble);
    bot.host.windows.clientWidth = opt.width;
    bot.host.windows.clientHeight = opt.height;
    bot.host.clock.seed = opt.seed;
    bot.host.clock.now = 1000;
    installPlatform({.windows = &bot.host.windows,
                     .keys = &bot.recorder.keys(bot.host.keys),
                     .display = &bot.host.display,
                     .sound = &bot.host.sound,
                     .clock = &bot.recorder.clock(bot.host.clock)});
    replayHooks = &bot.recorder;
    if (!createGameWindow(nullptr) || !gameWindow->createMainWindow()) return 1;
    int games = 0, highest = 0;
    bool wasOver = false;
    for (long long t = 0; t < opt.ticks && games < opt.games; ++t) {
        bot.host.keys.setAll(bot.chooseKeys());
        bot.host.clock.now += 63;
        runTickIfDue();
        bot.host.sound.started.clear();
        bot.events(t);
        if (gameState.level > highest) highest = gameState.level;
        const bool over = gameState.shipDestroyed && !gameState.enteringInitials;
        if (over && !wasOver) ++games;
        wasOver = over;
    }
    replayHooks = nullptr;
    std::ofstream out(opt.out, std::ios::binary);
    out << bot.recorder.text();
    out.close();
    std::fprintf(stderr,
                 "voidrunner-replay-bot: %lld ticks, %d games, highest level %d, best score %d\n",
                 bot.recorder.ticks(), games, highest, bot.recorder.bestScore());
    shutDown();
    return out.fail() ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options opt;
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        const bool more = i + 1 < argc;
        if (a == "--seed" && more)
            opt.seed = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
        else if (a == "--ticks" && more)
            opt.ticks = std::atoll(argv[++i]);
        else if (a == "--games" && more)
            opt.games = std::atoi(argv[++i]);
        else if (a == "--wobble")
            opt.wobble = true;
        else if (a == "--field" && more) {
            if (std::sscanf(argv[++i], "%dx%d", &opt.width, &opt.height) != 2) opt.out = nullptr;
        } else if (!opt.out && a.size() && a[0] != '-')
            opt.out = argv[i];
        else {
            opt.out = nullptr;
            break;
        }
    }
    if (!opt.out) {
        std::fputs(
            "usage: voidrunner-replay-bot [--seed S] [--field WxH] [--ticks N] [--games G] "
            "[--wobble] OUT\n",
            stderr);
        return 2;
    }
    return run(opt);
}
