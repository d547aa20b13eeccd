// Runs the benchmarks and ends with the figures set against the game's
// budgets: a tick comes every 62 ms.
#include <SDL.h>
#include <SDL_ttf.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

#include "benchmarks/Allocations.h"
#include "platform/sdl/TextFont.h"

namespace {

constexpr double kTickMicroseconds = 62000.0;

// The console table as usual, and each run's time and counters kept (the
// median when runs are repeated).
class BudgetReporter : public benchmark::ConsoleReporter {
public:
    struct Figure {
        double micros = 0;
        std::map<std::string, double> counters;
    };
    std::map<std::string, Figure> figures;

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            if (!single && run.aggregate_name != "median") continue;
            Figure f;
            f.micros = run.GetAdjustedRealTime() *
                       benchmark::GetTimeUnitMultiplier(benchmark::kMicrosecond) /
                       benchmark::GetTimeUnitMultiplier(run.time_unit);
            for (const auto& [name, counter] : run.counters) f.counters[name] = counter.value;
            figures[run.run_name.str()] = f;
        }
    }

    // A figure against its reference from the same run (by a counter, or
    // the time when counter is null).
    void ratio(const char* what, const std::string& name, const std::string& reference,
               const char* counter = nullptr) const {
        const auto a = figures.find(name), b = figures.find(reference);
        const auto value = [&](const Figure& f) {
            if (!counter) return f.micros;
            const auto c = f.counters.find(counter);
            return c == f.counters.end() ? 0.0 : c->second;
        };
        if (a == figures.end() || b == figures.end() || value(b->second) <= 0) {
            std::printf("  %-44s not measured (%s, %s)\n", what, name.c_str(), reference.c_str());
            return;
        }
        std::printf("  %-44s %6.2f x (%s / %s)\n", what, value(a->second) / value(b->second),
                    name.c_str(), reference.c_str());
    }

    // A ratio the benchmark measured itself (both sides in one loop).
    void counter(const char* what, const std::string& name, const char* counter) const {
        const auto a = figures.find(name);
        const auto c = a == figures.end() ? nullptr : &a->second.counters;
        if (!c || !c->count(counter)) {
            std::printf("  %-44s not measured (%s)\n", what, name.c_str());
            return;
        }
        std::printf("  %-44s %6.2f x (%s, %s)\n", what, c->at(counter), name.c_str(), counter);
    }

    void budget(const char* what, const std::string& name, double limitShare) const {
        const auto found = figures.find(name);
        if (found == figures.end()) {
            std::printf("  %-44s not measured (%s)\n", what, name.c_str());
            return;
        }
        const double share = found->second.micros / kTickMicroseconds;
        std::printf("  %-44s %9.1f us = %6.3f %% of a tick (budget %g %%): %s\n", what,
                    found->second.micros, share * 100.0, limitShare * 100.0,
                    share <= limitShare ? "met" : "MISSED");
        const auto ratio = found->second.counters.find("x_memcpy");
        if (ratio != found->second.counters.end())
            std::printf("  %-44s %9.1f x a memcpy of the frame (budget 20 x): %s\n", "",
                        ratio->second, ratio->second <= 20.0 ? "met" : "MISSED");
    }
};

}  // namespace

int main(int argc, char** argv) {
    countSdlAllocations();
    // As the game does (platform/sdl/main.cpp): frames reach the window
    // through shared memory, not a software OpenGL texture.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    BudgetReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf("\nBudgets (medians):\n");
    reporter.budget("simulation step, 200 rocks, 1920x1080", "tick/step_1920x1080/rocks/200", 0.01);
    reporter.budget("frame drawn and presented, 1920x1080",
                    "frame/present/play/1920x1080/manual_time", 0.10);
    reporter.budget("frame drawn (no window), 1920x1080", "frame/draw/play/1920x1080/manual_time",
                    0.10);
    std::printf("\nAgainst references from the same run (medians):\n");
    reporter.counter("save against a bare C write+fsync+rename",
                     "save/against_floor_in_c/real_time", "x_floor");
    reporter.ratio("trace tool --final against every line, CPU",
                   "trace/20000_ticks_final/iterations:1/real_time",
                   "trace/20000_ticks/iterations:1/real_time", "cpu_ms");
    benchmark::Shutdown();

    TextFont::instance().close();
    if (TTF_WasInit()) TTF_Quit();
    SDL_Quit();
    return 0;
}
