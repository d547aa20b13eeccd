// The trace tool's speed on a long script: the whole headless game with its
// JSON line after every tick, written to /dev/null; and with --final, only
// the last line. The tool's CPU time is kept as the counter cpu_ms.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

constexpr int kTicks = 20000;

double childCpuMs() {
    rusage r{};
    getrusage(RUSAGE_CHILDREN, &r);
    return static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec) * 1e3 +
           static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e3;
}

void traceTool(benchmark::State& state, const char* options) {
    // Its own folder: the tool reads and writes save.txt where it runs.
    const fs::path dir = fs::temp_directory_path() /
                         ("voidrunner-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    // Turning while firing: the sprinkler that keeps shots, rocks and the
    // odd saucer busy in a long game.
    std::ofstream(dir / "script.txt")
        << "field 1920 1080\nseed 3\ntick 5\nkeys LS\ntick " << kTicks << "\n";
    const std::string cmd = "cd '" + dir.string() + "' && '" VR_TRACE_PATH "' " + options +
                            " script.txt > /dev/null";
    const double cpuBefore = childCpuMs();
    for (auto _ : state) {
        fs::remove(dir / "save.txt");
        if (std::system(cmd.c_str()) != 0) {
            state.SkipWithError("voidrunner-trace failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * (kTicks + 5));
    state.counters["cpu_ms"] = (childCpuMs() - cpuBefore) / static_cast<double>(state.iterations());
    fs::remove_all(dir);
}
BENCHMARK_CAPTURE(traceTool, lines, "")
    ->Name("trace/20000_ticks")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();
BENCHMARK_CAPTURE(traceTool, final, "--final")
    ->Name("trace/20000_ticks_final")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

}  // namespace
