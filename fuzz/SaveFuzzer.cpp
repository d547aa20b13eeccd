// Any bytes as save.txt: the loader must take them without harm, and what
// the game then writes must read back as written, before and after a new row.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "scores/HighScores.h"

namespace {

std::string readAll(const char* name) {
    std::ifstream in(name, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

[[noreturn]] void fault(const char* what) {
    std::fprintf(stderr, "fuzz-save: %s\n", what);
    std::abort();
}

bool same(const HighScoreTable& a, const HighScoreTable& b) {
    for (int i = 0; i < 10; ++i)
        if (a.rows[i].score != b.rows[i].score || a.rows[i].level != b.rows[i].level ||
            a.rows[i].initials != b.rows[i].initials)
            return false;
    return true;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Saves, checks the file's shape, loads it back: it must give `expected`.
std::string saveAndReload(const HighScoreTable& expected) {
    saveHighScores();
    for (const auto& entry : std::filesystem::directory_iterator("."))
        if (entry.path().filename().string().rfind("save.txt.tmp", 0) == 0)
            fault("temporary file left behind");
    const std::string written = readAll("save.txt");
    int lineEnds = 0;
    for (char c : written) lineEnds += c == '\n';
    if (lineEnds != 9 || written.empty() || written.back() == '\n')
        fault("a written file is not ten lines without a final line end");
    highScoreTable = HighScoreTable{};
    loadHighScores();
    if (!same(highScoreTable, expected)) fault("the written table reads back different");
    return written;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The game reads and writes save.txt in the working folder: a private one.
    std::string dir = (std::filesystem::temp_directory_path() / "voidrunner-fuzz-XXXXXX").string();
    if (!mkdtemp(dir.data()) || chdir(dir.c_str()) != 0) fault("no working folder");
    static const std::string workDir = dir;
    std::atexit([] {
        std::error_code ec;
        std::filesystem::remove_all(workDir, ec);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    {
        std::ofstream out("save.txt", std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    highScoreTable = HighScoreTable{};
    loadHighScores();

    HighScoreTable loaded = highScoreTable;
    for (HighScoreEntry& row : loaded.rows) {
        if (row.initials.size() > 1024) fault("kept a word longer than 1024 characters");
        for (char c : row.initials)
            if (isBlank(c)) fault("initials hold white space");
        // Rows a short file never filled are written with stand-in initials.
        if (row.initials.empty()) row.initials = "---";
    }
    const std::string first = saveAndReload(loaded);
    if (saveAndReload(loaded) != first) fault("saving the same table twice differs");

    // A new row from the input's first bytes: sorted, saved, read back.
    int score = 0;
    for (size_t i = 0; i < size && i < 4; ++i)
        score = static_cast<int>((static_cast<unsigned>(score) << 8) | data[i]);
    const bool qualifies = qualifiesForTable(score);
    recordHighScore(score, 1, "FZ!");
    for (int i = 0; i + 1 < 10; ++i)
        if (highScoreTable.rows[i].score < highScoreTable.rows[i + 1].score)
            fault("table not sorted");
    bool kept = false;
    for (const HighScoreEntry& row : highScoreTable.rows)
        kept |= row.score == score && row.initials == "FZ!";
    if (qualifies && !kept) fault("a qualifying score was not kept");
    const HighScoreTable recorded = highScoreTable;
    saveAndReload(recorded);
    return 0;
}
