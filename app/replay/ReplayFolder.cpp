#include "app/replay/ReplayFolder.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <string_view>
#include <vector>

#include "app/host/Settings.h"
#include "app/replay/ReplayRecorder.h"
#include "platform/Platform.h"

namespace {

bool matches(std::string_view name, std::string_view pattern) {
    if (name.size() < pattern.size()) return false;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char c = name[i];
        const bool digit = c >= '0' && c <= '9';
        const bool ok = pattern[i] == 'd'   ? digit
                        : pattern[i] == 'x' ? digit || (c >= 'a' && c <= 'f')
                                            : c == pattern[i];
        if (!ok) return false;
    }
    return true;
}

// Removes the oldest replays past `keep`, never `current`; stops early when
// asked to.
void pruneFolder(FileStorage& files, const std::string& dir, int keep, const std::string& current,
                 const std::atomic<bool>& stop) {
    std::vector<std::string> names;
    if (!files.list(dir.c_str(), names)) return;
    names.erase(std::remove_if(names.begin(), names.end(),
                               [](const std::string& n) { return !isReplayName(n); }),
                names.end());
    // Named by their start: the oldest sort first.
    std::sort(names.begin(), names.end());
    auto excess = static_cast<long>(names.size()) - keep;
    for (const std::string& name : names) {
        if (excess <= 0 || stop) break;
        if (name == current) continue;
        files.remove((dir + "/" + name).c_str());
        --excess;
    }
}

std::string newRunTag() {
    std::random_device source;
    char text[9];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(source()));
    return text;
}

}  // namespace

// "2026-12-07_23-50-12_3fa9c10b_best-4560.txt"; older versions left out the
// tag.
bool isReplayName(const std::string& name) {
    std::string_view rest = name;
    if (!matches(rest, "dddd-dd-dd_dd-dd-dd_")) return false;
    rest.remove_prefix(20);
    if (matches(rest, "xxxxxxxx_")) rest.remove_prefix(9);
    if (rest.substr(0, 5) != "best-" || rest.size() < 10) return false;
    if (rest.substr(rest.size() - 4) != ".txt") return false;
    const std::string_view score = rest.substr(5, rest.size() - 9);
    return score.find_first_not_of("0123456789") == std::string_view::npos;
}

std::string replayTimeStamp() {
    const std::time_t now = std::time(nullptr);
    const std::tm* local = std::localtime(&now);
    char text[32] = "1970-01-01_00-00-00";
    if (local) std::strftime(text, sizeof text, "%Y-%m-%d_%H-%M-%S", local);
    return text;
}

int replayKeepLimit() {
    int limit = loadSettings().replaysKept;
    if (const char* env = std::getenv("VOIDRUNNER_REPLAYS")) {
        const std::string_view text = env;
        int v = 0;
        auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
        if (ec == std::errc() && end == text.data() + text.size() && v >= 0 && v <= 100000)
            limit = v;
    }
    return limit;
}

ReplayFolder::ReplayFolder() : startedAt(replayTimeStamp()), runTag(newRunTag()) {}

ReplayFolder::~ReplayFolder() {
    // Closing the game never waits for a long prune: the next run goes on.
    stop_ = true;
    if (pruner_.joinable()) pruner_.join();
}

bool ReplayFolder::write(const ReplayRecorder& recorder) {
    if (keep <= 0 || !recorder.started()) return false;
    FileStorage& files = *platform().files;
    std::string name = startedAt;
    name.append("_").append(runTag).append("_best-");
    name.append(std::to_string(recorder.bestScore())).append(".txt");
    if (!files.makeFolder(path.c_str())) return false;
    if (!files.replace((path + "/" + name).c_str(), recorder.text())) return false;
    if (!current.empty() && current != name) files.remove((path + "/" + current).c_str());
    current = name;
    prune();
    return true;
}

void ReplayFolder::waitPruned() {
    if (pruner_.joinable()) pruner_.join();
}

void ReplayFolder::prune() {
    FileStorage& files = *platform().files;
    if (!pruneAside) {
        pruneFolder(files, path, keep, current, stop_);
        return;
    }
    // One prune at a time; one that is still busy covers this write too.
    if (pruning_) return;
    if (pruner_.joinable()) pruner_.join();
    pruning_ = true;
    pruner_ = std::thread([this, &files, dir = path, kept = keep, mine = current] {
        pruneFolder(files, dir, kept, mine, stop_);
        pruning_ = false;
    });
}
