// voidrunner-soak: a bot that plays the real game for a long time, headless,
// and checks the game's invariants after every tick and every message.
//
//   voidrunner-soak [--ticks N] [--seed S] [--field WxH|all|random] [--quiet]
//
// The bot turns toward the nearest rock and fires, thrusts at random, types
// random bytes, clicks, rolls the wheel and resizes the window; after every
// game over it signs the table when asked and starts over with two fresh
// space presses. Each field size is one program run (start-up to shut-down)
// in the same private working folder, so save.txt carries over between runs
// like it does between real sessions. On a broken invariant it prints the
// seed, field size and tick, and exits with status 1.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "app/GameWindow.h"
#include "game/GameState.h"
#include "game/ShipControls.h"
#include "game/Tick.h"
#include "platform/headless/Headless.h"
#include "scores/HighScores.h"
#include "scores/Initials.h"

// ---------------------------------------------------------------------------
// Live heap blocks, counted by replacing the global allocation functions: the
// game allocates only list nodes while it runs, so blocks minus nodes must
// stay constant, tick after tick and game after game.

namespace {
long long liveBlocks = 0;
}

void* operator new(std::size_t size) {
    void* p = std::malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    ++liveBlocks;
    return p;
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    void* p = std::malloc(size ? size : 1);
    if (p) ++liveBlocks;
    return p;
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}
void operator delete(void* p) noexcept {
    if (p) --liveBlocks;
    std::free(p);
}
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
void operator delete[](void* p, std::size_t) noexcept { operator delete(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { operator delete(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { operator delete(p); }

namespace {

// ---------------------------------------------------------------------------
// Services: the headless window system, keys and clock; a drawing surface
// that keeps nothing (a 7680x4320 field must not cost a recording per frame)
// but checks that pens are balanced; silence.

class CheckingSurface final : public DrawSurface {
public:
    void setTransparentText() override {}
    void fillRect(int, int, int, int, Rgb) override { ++ops; }
    void setTextColor(Rgb) override {}
    void selectPen(Rgb) override { ++pens; }
    void releasePen() override { --pens; }
    void moveTo(int, int) override {}
    void lineTo(int, int) override { ++ops; }
    void setPixel(int, int, Rgb) override { ++ops; }
    void ellipse(int, int, int, int) override { ++ops; }
    void drawText(const char* text, int, int, int, int, TextAlign) override { ops += text ? 1 : 0; }
    long long ops = 0;
    int pens = 0;
};

class CheckingDisplay final : public Display {
public:
    DrawSurface* createBackBuffer(WindowHandle, int width, int height) override {
        ++live;
        lastWidth = width;
        lastHeight = height;
        return &surface;
    }
    void present(WindowHandle, DrawSurface&, int, int) override { ++presents; }
    void destroyBackBuffer(DrawSurface*) override { --live; }
    CheckingSurface surface;
    int live = 0;
    int lastWidth = 0, lastHeight = 0;
    long long presents = 0;
};

class SilentSound final : public Sound {
public:
    void play(const char*) override { ++started; }
    void stop() override {}
    long long started = 0;
};

struct Field {
    int width, height;
};

struct Options {
    long long ticks = 100000;
    unsigned seed = 1;
    std::string field = "all";
    bool quiet = false;
};

struct Totals {
    long long ticks = 0, games = 0, recordings = 0, messages = 0, runs = 0;
    int highestLevel = 0;
    int highestScore = 0;
    long long firstGameBlocks = -1, lastGameBlocks = -1, mostNodes = 0;
};

// Where a failure is reported from.
struct Where {
    unsigned seed = 0;
    Field field{0, 0};
    long long tick = 0;
    const char* phase = "";
};
Where where;

[[noreturn]] void violated(const char* what, long long a = 0, long long b = 0) {
    std::fprintf(stderr,
                 "voidrunner-soak: invariant broken: %s (%lld, %lld)\n"
                 "  seed %u, field %dx%d, tick %lld of this run, after %s\n"
                 "  repeat: voidrunner-soak --seed %u --field %dx%d --ticks %lld\n",
                 what, a, b, where.seed, where.field.width, where.field.height, where.tick,
                 where.phase, where.seed, where.field.width, where.field.height, where.tick + 1);
    std::exit(1);
}

#define CHECK(cond, ...) \
    do { \
        if (!(cond)) violated(#cond __VA_OPT__(, ) __VA_ARGS__); \
    } while (0)

bool finite(const SpaceObject& o) {
    return std::isfinite(o.getX()) && std::isfinite(o.getY()) && std::isfinite(o.getVX()) &&
           std::isfinite(o.getVY()) && std::isfinite(o.getAngle());
}

// Walks the list by hand: the count matches the nodes, the tail is the last
// node, and there is no cycle. Returns the number of nodes.
int checkList(const ObjectList& list, const char* name) {
    int nodes = 0;
    const ObjectNode* last = nullptr;
    for (const ObjectNode* n = list.first(); n; n = n->next) {
        last = n;
        if (++nodes > list.count) violated(name, nodes, list.count);  // too many, or a cycle
        CHECK(finite(n->value), nodes - 1);
    }
    CHECK(nodes == list.count, nodes, list.count);
    CHECK(list.last() == last);
    CHECK((list.first() == nullptr) == (list.count == 0), list.count);
    return nodes;
}

bool sameTable(const HighScoreTable& a, const HighScoreTable& b) {
    for (int i = 0; i < 10; ++i) {
        if (a.rows[i].score != b.rows[i].score || a.rows[i].level != b.rows[i].level ||
            a.rows[i].initials != b.rows[i].initials)
            return false;
    }
    return true;
}

// save.txt as the game would load it, read without touching the live table.
HighScoreTable tableOnDisk() {
    const HighScoreTable kept = highScoreTable;
    highScoreTable = HighScoreTable{};
    loadHighScores();
    HighScoreTable disk = highScoreTable;
    highScoreTable = kept;
    return disk;
}

class Soak {
public:
    Soak(const Options& o, Totals& t) : opt(o), totals(t), rng(o.seed) {}

    // One program run: start-up, `ticks` passes of the loop with messages in
    // between, shut-down.
    void run(Field field, long long ticks);

private:
    const Options& opt;
    Totals& totals;
    std::mt19937 rng;

    FakeWindowSystem windows;
    ScriptedKeys keys;
    CheckingDisplay display;
    SilentSound sound;
    FakeClock clock;

    long long baseBlocks = -1;  // live blocks minus list nodes once the game runs
    HighScoreTable carried;     // the table the last run ended with
    bool haveCarried = false;
    int restartPhase = 0;

    unsigned below(unsigned n) { return std::uniform_int_distribution<unsigned>(0, n - 1)(rng); }
    bool chance(unsigned percent) { return below(100) < percent; }

    void checkAll();
    void message(uint32_t msg, uintptr_t wParam, intptr_t lParam, const char* phase);
    void typeCharacter(int code);
    void chooseKeys();
    void randomEvent();
};

void Soak::checkAll() {
    const GameState& g = gameState;
    if (gameWindow->startCountdown >= 0) return;  // nothing is set up yet
    // The fake window system logs its calls; that log is not the game's memory.
    windows.calls.clear();
    windows.calls.shrink_to_fit();

    long long nodes = checkList(reserveShips, "reserveShips");
    nodes += checkList(asteroids, "asteroids");
    nodes += checkList(saucers, "saucers");
    nodes += checkList(playerBullets, "playerBullets");
    nodes += checkList(saucerBullets, "saucerBullets");

    CHECK(g.reserveShipCount == reserveShips.count, g.reserveShipCount, reserveShips.count);
    CHECK(playerShip.getScale() >= 1 && playerShip.getScale() <= 4, playerShip.getScale());
    CHECK(finite(playerShip));
    CHECK(saucers.count <= 2, saucers.count);
    for (const ObjectNode* n = saucers.first(); n; n = n->next)
        CHECK(n->value.getScale() >= 1 && n->value.getScale() <= 4, n->value.getScale());
    // A shot lives 35 moves; one at 0 is removed in the same pass.
    for (const ObjectNode* n = playerBullets.first(); n; n = n->next)
        CHECK(n->value.getLife() >= 1 && n->value.getLife() <= 35, n->value.getLife());
    for (const ObjectNode* n = saucerBullets.first(); n; n = n->next)
        CHECK(n->value.getLife() >= 1 && n->value.getLife() <= 35, n->value.getLife());
    // firePlayerBullet refuses at the limit, whether the key step comes from
    // the loop or from a character message; the limit only grows in a game
    // and the shots are cleared when a new one starts.
    CHECK(playerBullets.count <= g.baseBulletLimit + g.level / 2, playerBullets.count, g.level);
    CHECK(g.level >= 1, g.level);
    CHECK(g.score >= 0, g.score);
    CHECK(g.bonusPoints >= 0, g.bonusPoints);
    CHECK(g.throttle >= 1 && g.throttle <= 10, g.throttle);
    CHECK(typedInitials.size() <= 2, static_cast<long long>(typedInitials.size()));
    CHECK(!g.enteringInitials || g.shipDestroyed);
    CHECK(g.shipDestroyed || reserveShips.count > 0, reserveShips.count);
    CHECK(g.fieldWidth == where.field.width && g.fieldHeight == where.field.height, g.fieldWidth,
          g.fieldHeight);
    CHECK(display.live == 1, display.live);
    CHECK(display.lastWidth == g.fieldWidth && display.lastHeight == g.fieldHeight);
    CHECK(display.surface.pens == 0, display.surface.pens);

    const long long blocks = liveBlocks - nodes;
    if (baseBlocks < 0) baseBlocks = blocks;
    CHECK(blocks == baseBlocks, blocks, baseBlocks);
    totals.mostNodes = std::max(totals.mostNodes, nodes);
}

void Soak::message(uint32_t msg, uintptr_t wParam, intptr_t lParam, const char* phase) {
    where.phase = phase;
    ++totals.messages;
    gameWindow->handleMessage(gameWindow->window, msg, wParam, lParam);
    checkAll();
}

void Soak::typeCharacter(int code) {
    const HighScoreTable before = highScoreTable;
    const bool signing = gameState.enteringInitials && typedInitials.size() == 2;
    const int score = gameState.score;
    message(wm::character, static_cast<uintptr_t>(code), 0, "a typed character");
    if (sameTable(before, highScoreTable) && !signing) return;
    if (!signing || gameState.enteringInitials) return;  // the character was not taken

    // A row was recorded: sorted, holding the new score, and on disk as in memory.
    ++totals.recordings;
    for (int i = 0; i + 1 < 10; ++i)
        CHECK(highScoreTable.rows[i].score >= highScoreTable.rows[i + 1].score, i,
              highScoreTable.rows[i].score);
    bool found = false;
    for (const HighScoreEntry& row : highScoreTable.rows) found |= row.score == score;
    CHECK(found, score);
    CHECK(sameTable(tableOnDisk(), highScoreTable));
}

void Soak::chooseKeys() {
    const GameState& g = gameState;
    keys.setAll("");
    if (g.shipDestroyed) {
        if (g.enteringInitials) return;  // initials come as characters
        // Two fresh presses of the space bar alone: up, down, up, down.
        keys.set(Key::Space, (restartPhase++ & 1) != 0);
        return;
    }
    restartPhase = 0;

    // Aim: turn toward the nearest rock, fire when roughly lined up.
    const float sx = playerShip.getX(), sy = playerShip.getY();
    float best = INFINITY, tx = 0, ty = 0;
    for (const ObjectNode* n = asteroids.first(); n; n = n->next) {
        const float dx = n->value.getX() - sx, dy = n->value.getY() - sy;
        const float d = dx * dx + dy * dy;
        if (d < best) {
            best = d;
            tx = dx;
            ty = dy;
        }
    }
    if (best < INFINITY && chance(85)) {
        // Angle 0 points up, positive turns clockwise.
        const double want = std::atan2(static_cast<double>(tx), -static_cast<double>(ty));
        double diff = std::remainder(want - static_cast<double>(playerShip.getAngle()), 2 * M_PI);
        if (diff > 0.15) keys.set(Key::Right, true);
        if (diff < -0.15) keys.set(Key::Left, true);
        if (std::fabs(diff) < 0.4 && chance(60)) keys.set(Key::Space, true);
    } else {
        if (chance(30)) keys.set(Key::Left, true);
        if (chance(30)) keys.set(Key::Right, true);
        if (chance(40)) keys.set(Key::Space, true);
    }
    if (chance(4)) keys.set(Key::Up, true);
}

void Soak::randomEvent() {
    const GameState& g = gameState;
    const unsigned roll = below(1000);
    if (g.enteringInitials && roll < 300) {
        // Mostly printable, now and then a byte the entry must ignore.
        typeCharacter(chance(80) ? 33 + static_cast<int>(below(94)) : static_cast<int>(below(256)));
    } else if (roll < 20) {
        typeCharacter('0' + static_cast<int>(below(10)));
    } else if (roll < 35) {
        typeCharacter(static_cast<int>(below(256)));
    } else if (roll < 37) {
        typeCharacter(static_cast<int>(below(0x10000)));  // wide codes are not characters
    } else if (roll < 45) {
        static constexpr uint32_t buttons[] = {wm::leftButtonDown, wm::leftButtonUp,
                                               wm::rightButtonDown, wm::rightButtonUp};
        message(buttons[below(4)], 0, packPosition(static_cast<int>(below(2000)), 0),
                "a mouse button");
    } else if (roll < 50) {
        const auto delta = static_cast<uint16_t>(chance(50) ? 120 : below(0x10000));
        message(wm::mouseWheel, static_cast<uintptr_t>(delta) << 16, packPosition(5, 30),
                "a wheel notch");
    } else if (roll < 60) {
        message(wm::mouseMove, 0,
                packPosition(static_cast<int>(below(0x10000)), static_cast<int>(below(0x10000))),
                "a mouse move");
    } else if (roll < 62) {
        // Resized, minimised (0x0) or restored: the playfield keeps its size.
        const unsigned kind = below(3);
        windows.clientWidth = kind == 0 ? 0 : static_cast<int>(below(8000));
        windows.clientHeight = kind == 0 ? 0 : static_cast<int>(below(5000));
        if (kind == 2) {
            windows.clientWidth = where.field.width;
            windows.clientHeight = where.field.height;
        }
        message(chance(50) ? wm::size : wm::activate, below(2), 0, "a resize");
    }
}

void Soak::run(Field field, long long ticks) {
    where = Where{opt.seed, field, 0, "start-up"};
    ++totals.runs;
    resetToProgramStart();
    windows.clientWidth = field.width;
    windows.clientHeight = field.height;
    clock.seed = static_cast<unsigned>(rng());
    installPlatform({.windows = &windows,
                     .keys = &keys,
                     .display = &display,
                     .sound = &sound,
                     .clock = &clock});
    CHECK(createGameWindow(nullptr));
    CHECK(gameWindow->createMainWindow());
    windows.calls.clear();
    windows.calls.shrink_to_fit();
    baseBlocks = -1;
    restartPhase = 0;

    bool wasOver = false;
    for (long long t = 0; t < ticks; ++t) {
        where.tick = t;
        chooseKeys();
        randomEvent();
        where.phase = "a tick";
        pollKeys();
        const bool starting = gameWindow->startCountdown == 0;
        // A resize during the countdown counts: start-up takes the client area
        // as it is then; a 0x0 area (minimised at start) gives a 1x1 field.
        if (starting)
            where.field =
                Field{std::max(windows.clientWidth, 1), std::max(windows.clientHeight, 1)};
        tick();
        ++totals.ticks;
        if (starting) {
            // The table this run loaded is the one the last run left behind.
            if (haveCarried) CHECK(sameTable(highScoreTable, carried));
            ++totals.games;
        }
        checkAll();

        const bool over = gameState.shipDestroyed != 0;
        if (wasOver && !over) {
            ++totals.games;
            const long long blocks = liveBlocks;
            if (totals.firstGameBlocks < 0) totals.firstGameBlocks = blocks;
            totals.lastGameBlocks = blocks;
        }
        wasOver = over;
        if (gameState.level > totals.highestLevel) totals.highestLevel = gameState.level;
        if (gameState.score > totals.highestScore) totals.highestScore = gameState.score;
    }

    carried = highScoreTable;
    haveCarried = gameWindow->startCountdown < 0;
    shutDown();
    where.phase = "shut-down";
    CHECK(gameWindow == nullptr);
    CHECK(display.live == 0, display.live);
    resetToProgramStart();
    resetPlatform();
}

bool parseField(std::string_view text, Field& out) {
    unsigned w = 0, h = 0;
    char tail = 0;
    if (std::sscanf(std::string(text).c_str(), "%ux%u%c", &w, &h, &tail) != 2) return false;
    if (w > 16384 || h > 16384) return false;  // 0x0: a window minimised at start
    out = Field{static_cast<int>(w), static_cast<int>(h)};
    return true;
}

long residentKiB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

}  // namespace

int main(int argc, char** argv) {
    Options opt;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--ticks" && hasValue) {
            opt.ticks = std::atoll(argv[++i]);
        } else if (arg == "--seed" && hasValue) {
            opt.seed = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
        } else if (arg == "--field" && hasValue) {
            opt.field = argv[++i];
        } else if (arg == "--quiet") {
            opt.quiet = true;
        } else {
            std::fputs(
                "usage: voidrunner-soak [--ticks N] [--seed S] [--field WxH|all|random]"
                " [--quiet]\n",
                stderr);
            return 2;
        }
    }
    if (opt.ticks < 1) {
        std::fputs("voidrunner-soak: --ticks must be at least 1\n", stderr);
        return 2;
    }

    // The fields: the named ones and two random ones, or one of them.
    std::mt19937 pick(opt.seed ^ 0x5eedu);
    std::vector<Field> fields;
    if (opt.field == "all") {
        fields = {{1, 1}, {17, 9}, {640, 480}, {7680, 4320}, {0, 0}};
        for (int i = 0; i < 2; ++i)
            fields.push_back(
                {1 + static_cast<int>(pick() % 3000), 1 + static_cast<int>(pick() % 2000)});
    } else if (opt.field == "random") {
        fields.push_back(
            {1 + static_cast<int>(pick() % 3000), 1 + static_cast<int>(pick() % 2000)});
    } else {
        Field f{};
        if (!parseField(opt.field, f)) {
            std::fprintf(stderr, "voidrunner-soak: bad field '%s' (WxH, 0 to 16384)\n",
                         opt.field.c_str());
            return 2;
        }
        fields.push_back(f);
    }

    // The game writes save.txt in the working folder: use a private one.
    std::string base = std::filesystem::temp_directory_path().string() + "/voidrunner-soak-XXXXXX";
    std::vector<char> dirName(base.begin(), base.end());
    dirName.push_back('\0');
    const char* dir = mkdtemp(dirName.data());
    if (!dir || chdir(dir) != 0) {
        std::perror("voidrunner-soak: cannot make a working folder");
        return 1;
    }

    Totals totals;
    Soak soak(opt, totals);
    const auto start = std::chrono::steady_clock::now();
    const long firstRss = residentKiB();
    // Several rounds over the fields, so each size gets runs and restarts.
    const long long perRun =
        std::max(1000LL, opt.ticks / static_cast<long long>(fields.size() * 3));
    long long left = opt.ticks;
    for (std::size_t i = 0; left > 0; i = (i + 1) % fields.size()) {
        const long long n = std::min(left, perRun);
        soak.run(fields[i], n);
        left -= n;
        if (!opt.quiet && perRun < opt.ticks)
            std::fprintf(stderr, "  %dx%d: %lld ticks, %lld left\n", fields[i].width,
                         fields[i].height, n, left);
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    std::printf(
        "voidrunner-soak: seed %u: %lld ticks in %lld runs, %lld games, %lld table entries, "
        "%lld messages; highest level %d, best score %d\n"
        "  wall %.1f s (%.0f ticks/s); RSS %ld KiB at start, %ld KiB at end, peak %ld KiB\n"
        "  live heap blocks at game start: first %lld, last %lld; most list nodes %lld\n",
        opt.seed, totals.ticks, totals.runs, totals.games, totals.recordings, totals.messages,
        totals.highestLevel, totals.highestScore, seconds,
        static_cast<double>(totals.ticks) / seconds, firstRss, residentKiB(),
        static_cast<long>(usage.ru_maxrss), totals.firstGameBlocks, totals.lastGameBlocks,
        totals.mostNodes);

    std::error_code ec;
    std::filesystem::current_path("/", ec);
    std::filesystem::remove_all(dir, ec);
    return 0;
}
