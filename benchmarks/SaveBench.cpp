// One signing's save: as the game once wrote it (a stream to a fixed
// temporary name, renamed, nothing synced) and as it writes it now (under
// the lock, the file read back for changes, a fresh temporary file synced,
// renamed and the folder synced). The folder is on the disk that holds the
// system's temporary folder: the syncs cost what that disk costs.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "benchmarks/SaveFloor.h"
#include "scores/HighScores.h"

namespace {

namespace fs = std::filesystem;

class Folder {
public:
    Folder() : before_(fs::current_path()) {
        path_ = fs::temp_directory_path() / ("voidrunner-savebench-" + std::to_string(::getpid()));
        fs::create_directories(path_);
        fs::current_path(path_);
    }
    ~Folder() {
        fs::current_path(before_);
        fs::remove_all(path_);
    }

private:
    fs::path before_, path_;
};

void tableFromScratch() {
    resetHighScores();
    loadHighScores();
    for (int i = 0; i < 10; ++i) recordHighScore(1000 - i * 100, i + 1, "ABC");
}

void saveAsBefore(benchmark::State& state) {
    Folder folder;
    tableFromScratch();
    for (auto _ : state) {
        {
            std::ofstream out("save.txt.tmp");
            for (int i = 0; i < 10; ++i) {
                const HighScoreEntry& row = highScoreTable.rows[i];
                out << row.score << ' ' << row.level << ' ' << row.initials;
                if (i < 9) out << '\n';
            }
        }
        fs::rename("save.txt.tmp", "save.txt");
    }
}
BENCHMARK(saveAsBefore)
    ->Name("save/unsynced_stream_and_rename")
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

void saveNow(benchmark::State& state) {
    Folder folder;
    tableFromScratch();
    int score = 1000;
    for (auto _ : state) recordHighScore(++score, 1, "NEW");
}
BENCHMARK(saveNow)
    ->Name("save/locked_synced_replace")
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

// The floor: the same bytes written, synced, renamed and the folder synced
// in plain C, nothing else; each round one save and one floor, so the disk's
// mood weighs on both alike. Counters: save_us, floor_us and their ratio.
void saveAgainstFloor(benchmark::State& state) {
    Folder folder;
    tableFromScratch();
    std::string text;
    for (int i = 0; i < 10; ++i) {
        const HighScoreEntry& row = highScoreTable.rows[i];
        text += std::to_string(row.score) + ' ' + std::to_string(row.level) + ' ' + row.initials;
        if (i < 9) text += '\n';
    }
    using Clock = std::chrono::steady_clock;
    Clock::duration saves{}, floors{};
    int score = 1000;
    for (auto _ : state) {
        const Clock::time_point t0 = Clock::now();
        recordHighScore(++score, 1, "NEW");
        const Clock::time_point t1 = Clock::now();
        if (saveFloor(text.data(), text.size()) != 0) {
            state.SkipWithError("the floor's save failed");
            break;
        }
        saves += t1 - t0;
        floors += Clock::now() - t1;
    }
    const auto us = [&](Clock::duration d) {
        return std::chrono::duration<double, std::micro>(d).count() /
               static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
    };
    state.counters["save_us"] = us(saves);
    state.counters["floor_us"] = us(floors);
    state.counters["x_floor"] = us(floors) > 0 ? us(saves) / us(floors) : 0;
}
BENCHMARK(saveAgainstFloor)
    ->Name("save/against_floor_in_c")
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

}  // namespace
