// What recording a replay costs the game: the recorder's work around one
// tick (latched key reads, the tick's line), and building the whole file at
// a game over after minutes of play.
#include <benchmark/benchmark.h>

#include "app/GameWindow.h"
#include "app/replay/ReplayRecorder.h"
#include "game/GameState.h"

namespace {

// Keys that change every few ticks, like a player's.
class ChangingKeys final : public KeyState {
public:
    bool isHeld(Key key) override { return ((tick >> 3) + static_cast<unsigned>(key)) % 3 == 0; }
    unsigned tick = 0;
};

void startedGame() {
    resetToProgramStart();
    new GameWindow(nullptr, "Voidrunner", "Voidrunner", 0, 0, 0, 3);
    gameWindow->startCountdown = -1;
    gameState.fieldWidth = 1920;
    gameState.fieldHeight = 1080;
}

// One poll as the key step makes it (up to ten reads of the four keys),
// then the tick's bookkeeping.
void recordTick(ReplayRecorder& recorder, KeyState& keys) {
    recorder.beginPoll();
    bool any = false;
    for (int read = 0; read < 10; ++read) any |= keys.isHeld(static_cast<Key>(read % 4));
    benchmark::DoNotOptimize(any);
    recorder.tickRan();
}

void recordingPerTick(benchmark::State& state) {
    startedGame();
    ChangingKeys inner;
    ReplayRecorder recorder;
    KeyState& keys = recorder.keys(inner);
    for (auto _ : state) {
        ++inner.tick;
        recordTick(recorder, keys);
    }
    state.counters["bytes_per_tick"] = static_cast<double>(recorder.text().size()) /
                                       static_cast<double>(state.iterations());
    resetToProgramStart();
}
BENCHMARK(recordingPerTick)->Name("replay/record_tick")->Unit(benchmark::kNanosecond);

// The whole replay text, as written at a game over, after N minutes of
// play (968 ticks a minute).
void replayText(benchmark::State& state) {
    startedGame();
    ChangingKeys inner;
    ReplayRecorder recorder;
    KeyState& keys = recorder.keys(inner);
    const long long ticks = state.range(0) * 968;
    for (long long t = 0; t < ticks; ++t) {
        ++inner.tick;
        recordTick(recorder, keys);
    }
    std::size_t size = 0;
    for (auto _ : state) {
        const std::string text = recorder.text();
        size = text.size();
        benchmark::DoNotOptimize(text.data());
    }
    state.counters["bytes"] = static_cast<double>(size);
    resetToProgramStart();
}
BENCHMARK(replayText)
    ->Name("replay/text_at_game_over/minutes")
    ->Arg(5)
    ->Arg(60)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
