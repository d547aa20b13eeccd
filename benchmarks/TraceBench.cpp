// The trace tool's speed on a long script: the whole headless game with its
// JSON line after every tick, written to /dev/null.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

constexpr int kTicks = 20000;

void traceTool(benchmark::State& state) {
    // Its own folder: the tool reads and writes save.txt where it runs.
    const fs::path dir = fs::temp_directory_path() /
                         ("voidrunner-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    // Turning while firing: the sprinkler that keeps shots, rocks and the
    // odd saucer busy in a long game.
    std::ofstream(dir / "script.txt")
        << "field 1920 1080\nseed 3\ntick 5\nkeys LS\ntick " << kTicks << "\n";
    const std::string cmd = "cd '" + dir.string() +
                            "' && '" VR_TRACE_PATH "' script.txt > /dev/null";
    for (auto _ : state) {
        fs::remove(dir / "save.txt");
        if (std::system(cmd.c_str()) != 0) {
            state.SkipWithError("voidrunner-trace failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * (kTicks + 5));
    fs::remove_all(dir);
}
BENCHMARK(traceTool)
    ->Name("trace/20000_ticks")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

}  // namespace
