// Where replays are kept: a folder "replays" beside save.txt (through the
// installed file storage), one file per run named by the run's start, a tag
// of its own and its best score; the oldest are pruned past a limit.
#pragma once

#include <atomic>
#include <string>
#include <thread>

#include "app/replay/ReplayRecorder.h"

struct ReplayFolder final : ReplaySink {
    ReplayFolder();
    ~ReplayFolder();
    ReplayFolder(const ReplayFolder&) = delete;
    ReplayFolder& operator=(const ReplayFolder&) = delete;

    std::string path = "replays";
    // How many replays are kept; 0 keeps none (recording is off).
    int keep = 50;
    // Pruning a folder of thousands of files takes seconds: on a thread of
    // its own unless the host has none (the browser, whose folder is small).
    bool pruneAside = true;

    // Writes the recorder's replay whole beside its final name, then renames
    // it into place, removing the run's previous file when the best score
    // renamed it. Any failure leaves the folder as it was and is ignored.
    bool write(const ReplayRecorder& recorder) override;
    // Waits for a prune under way to finish.
    void waitPruned();

    // "2026-12-07_23-50-12": the run's start (when the folder was made),
    // local time.
    std::string startedAt;
    // Eight hex digits drawn at the start: two runs that start in the same
    // second never share a file.
    std::string runTag;
    // The file this run last wrote, "" before the first.
    std::string current;

private:
    void prune();
    std::thread pruner_;
    std::atomic<bool> pruning_{false};
    std::atomic<bool> stop_{false};
};

// The keep limit: "replays N" in settings.txt, or VOIDRUNNER_REPLAYS=N in
// the environment, which wins.
int replayKeepLimit();
// The local date and time now as "YYYY-MM-DD_HH-MM-SS".
std::string replayTimeStamp();
// Whether a name is one this program gives a replay: only those are pruned.
bool isReplayName(const std::string& name);
