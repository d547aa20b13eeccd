// What pruning a replays folder of 100,000 old replays holds the game for:
// the write at a game over with the prune inside it (as it once ran), and
// with the prune on its own thread (as it runs now). Timed is the write
// alone, the tick's share; the folder is made again before each.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "app/GameWindow.h"
#include "app/replay/ReplayFolder.h"
#include "app/replay/ReplayRecorder.h"
#include "game/GameState.h"

namespace {

namespace fs = std::filesystem;

constexpr int kOldReplays = 100000;

void fillFolder(const fs::path& dir) {
    fs::remove_all(dir);
    fs::create_directories(dir);
    char name[64];
    for (int i = 0; i < kOldReplays; ++i) {
        std::snprintf(name, sizeof name, "2020-01-01_00-%02d-%02d_%08x_best-%d.txt", i / 3600 % 60,
                      i / 60 % 60, static_cast<unsigned>(i), i);
        ::close(::open((dir / name).c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644));
    }
}

void pruneAtGameOver(benchmark::State& state) {
    const fs::path before = fs::current_path();
    const fs::path dir = fs::temp_directory_path() /
                         ("voidrunner-prunebench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    fs::current_path(dir);
    resetToProgramStart();
    new GameWindow(nullptr, "Voidrunner", "Voidrunner", 0, 0, 0, 3);
    gameWindow->startCountdown = -1;
    ReplayRecorder recorder;
    recorder.tickRan();  // past start-up
    for (auto _ : state) {
        state.PauseTiming();
        fillFolder("replays");
        ::sync();  // the 100,000 new names on disk first: not the write's cost
        ReplayFolder folder;
        folder.keep = 50;
        folder.pruneAside = state.range(0) != 0;
        state.ResumeTiming();
        benchmark::DoNotOptimize(folder.write(recorder));
        state.PauseTiming();
        folder.waitPruned();
        state.ResumeTiming();
    }
    resetToProgramStart();
    fs::current_path(before);
    fs::remove_all(dir);
}
BENCHMARK(pruneAtGameOver)
    ->Name("replays/write_over_100000_old")
    ->ArgName("aside")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
