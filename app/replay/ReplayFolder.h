// Where replays are kept: a folder "replays" beside save.txt, one file per
// run named by its start and best score, the oldest pruned past a limit.
#pragma once

#include <string>

#include "app/replay/ReplayRecorder.h"

struct ReplayFolder final : ReplaySink {
    std::string path = "replays";
    // How many replays are kept; 0 keeps none (recording is off).
    int keep = 50;

    // Writes the recorder's replay whole beside its final name, then renames
    // it into place, removing the run's previous file when the best score
    // renamed it. Any failure leaves the folder as it was and is ignored.
    bool write(const ReplayRecorder& recorder) override;

    // "2026-12-07_23-50-12": the run's start, local time.
    std::string startedAt;
    // The file this run last wrote, "" before the first.
    std::string current;
};

// The keep limit: "replays N" in settings.txt, or VOIDRUNNER_REPLAYS=N in
// the environment, which wins.
int replayKeepLimit();
// The local date and time now as "YYYY-MM-DD_HH-MM-SS".
std::string replayTimeStamp();
