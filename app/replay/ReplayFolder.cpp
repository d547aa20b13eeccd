#include "app/replay/ReplayFolder.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <system_error>
#include <vector>

#include "app/host/Settings.h"
#include "app/replay/ReplayRecorder.h"

namespace fs = std::filesystem;

namespace {

// The names this program writes, "2026-12-07_23-50-12_best-4560.txt";
// nothing else in the folder is pruned.
bool isReplayName(std::string_view name) {
    const std::string_view stamp = "dddd-dd-dd_dd-dd-dd_best-";
    if (name.size() < stamp.size() + 5 || name.substr(name.size() - 4) != ".txt") return false;
    for (std::size_t i = 0; i < stamp.size(); ++i) {
        const bool digit = name[i] >= '0' && name[i] <= '9';
        if (stamp[i] == 'd' ? !digit : name[i] != stamp[i]) return false;
    }
    const std::string_view score = name.substr(stamp.size(), name.size() - 4 - stamp.size());
    return score.find_first_not_of("0123456789") == std::string_view::npos;
}

void prune(const fs::path& dir, int keep, const std::string& current) {
    std::error_code ec;
    std::vector<std::string> names;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (isReplayName(name)) names.push_back(name);
    }
    // Named by their start: the oldest sort first.
    std::sort(names.begin(), names.end());
    auto excess = static_cast<long>(names.size()) - keep;
    for (const std::string& name : names) {
        if (excess <= 0) break;
        if (name == current) continue;
        fs::remove(dir / name, ec);
        --excess;
    }
}

}  // namespace

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

bool ReplayFolder::write(const ReplayRecorder& recorder) {
    if (keep <= 0 || !recorder.started()) return false;
    if (startedAt.empty()) startedAt = replayTimeStamp();
    const std::string name = startedAt + "_best-" + std::to_string(recorder.bestScore()) + ".txt";
    const fs::path dir(path);
    const fs::path target = dir / name;
    const fs::path temp = dir / (name + ".tmp");
    std::error_code ec;
    fs::create_directories(dir, ec);
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out << recorder.text();
        out.close();
        if (out.fail()) {
            fs::remove(temp, ec);
            return false;
        }
    }
    fs::rename(temp, target, ec);
    if (ec) {
        fs::remove(temp, ec);
        return false;
    }
    if (!current.empty() && current != name) fs::remove(dir / current, ec);
    current = name;
    prune(dir, keep, current);
    return true;
}
