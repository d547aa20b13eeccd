// The simulation step at the heaviest load, and the list walks it is made
// of as the number of rocks grows.
#include <benchmark/benchmark.h>

#include "benchmarks/Load.h"
#include "game/Collisions.h"
#include "game/GameState.h"
#include "game/Tick.h"

namespace {

// tick() without a frame: the null display gives no back buffer, so
// presentFrame draws nothing. Each iteration starts from the same state.
void tickStep(benchmark::State& state) {
    const int rocks = static_cast<int>(state.range(0));
    buildWorstLoad(1920, 1080, rocks);
    const Snapshot start;
    tick();
    if (!loadIntact(rocks)) {
        state.SkipWithError("the load changed in one tick");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        start.restore();
        state.ResumeTiming();
        tick();
    }
    state.counters["rocks"] = rocks;
}
BENCHMARK(tickStep)
    ->Name("tick/step_1920x1080/rocks")
    ->Arg(50)
    ->Arg(100)
    ->Arg(200)
    ->Arg(400)
    ->Unit(benchmark::kMicrosecond);

// The reference: every access walks from the head, as the list did before
// it kept a cursor.
const SpaceObject* fromHead(const ObjectList& list, int index) {
    const ObjectNode* node = list.first();
    for (int i = 0; node && i < index; ++i) node = node->next;
    return node ? &node->value : nullptr;
}

void fillRocks(int rocks) { buildWorstLoad(1920, 1080, rocks); }

// The asteroid pass: every rock copied out, moved, written back.
void movePass(benchmark::State& state) {
    const int rocks = static_cast<int>(state.range(0));
    fillRocks(rocks);
    for (auto _ : state) {
        for (int i = 0; i < asteroids.count; ++i) {
            SpaceObject rock = *asteroids.at(i);
            rock.moveRock(1920, 1080);
            asteroids.putAt(i, rock);
        }
    }
    state.SetItemsProcessed(state.iterations() * rocks);
}
BENCHMARK(movePass)
    ->Name("list/move_pass/rocks")
    ->Arg(50)
    ->Arg(100)
    ->Arg(200)
    ->Arg(400)
    ->Unit(benchmark::kMicrosecond);

void movePassFromHead(benchmark::State& state) {
    const int rocks = static_cast<int>(state.range(0));
    fillRocks(rocks);
    for (auto _ : state) {
        for (int i = 0; i < asteroids.count; ++i) {
            SpaceObject rock = *fromHead(asteroids, i);
            rock.moveRock(1920, 1080);
            // putAt walked from the head too.
            benchmark::DoNotOptimize(fromHead(asteroids, i));
            asteroids.putAt(i, rock);
        }
    }
    state.SetItemsProcessed(state.iterations() * rocks);
}
BENCHMARK(movePassFromHead)
    ->Name("list/move_pass_from_head/rocks")
    ->Arg(50)
    ->Arg(100)
    ->Arg(200)
    ->Arg(400)
    ->Unit(benchmark::kMicrosecond);

// A shot that misses: asteroidAt walks every rock.
void hitScan(benchmark::State& state) {
    const int rocks = static_cast<int>(state.range(0));
    fillRocks(rocks);
    for (auto _ : state) benchmark::DoNotOptimize(asteroidAt(960, 540));
    state.SetItemsProcessed(state.iterations() * rocks);
}
BENCHMARK(hitScan)->Name("list/hit_scan/rocks")->Arg(50)->Arg(100)->Arg(200)->Arg(400);

}  // namespace
