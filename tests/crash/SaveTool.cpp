// save-tool: drives the game's own table code against "save.txt" in the
// working folder, for the save-file tests (built for Linux and Windows):
//   save-tool sign SCORE LEVEL INITIALS [...]  load as at start, sign each row
//                                              in turn, print the table; a
//                                              "wait FILE" between rows makes
//                                              FILE.ready, then waits for FILE
//   save-tool settings [0|1]                   save mute 0 or 1 in settings.txt;
//                                              print what loads
//   save-tool loop FIRST STEP COUNT            load once, sign FIRST, FIRST+STEP...
//                                              a millisecond apart
//   save-tool forever                          start, sign the next score; again
//   save-tool watch STOPFILE                   read save.txt until STOPFILE
//                                              exists; count reads that are not
//                                              a whole table
//   save-tool lock MS                          hold the games' lock for MS ms
//   save-tool hold MS                          (Windows) keep save.txt open,
//                                              shared with nobody, for MS ms
#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>

#include "app/host/Settings.h"
#include "platform/Platform.h"
#include "scores/HighScores.h"

namespace {

int levelOf(int score) { return score % 97 + 1; }

std::string initialsOf(int score) {
    std::string s(3, 'A');
    for (int i = 2; i >= 0; --i, score /= 26)
        s[static_cast<std::size_t>(i)] = static_cast<char>('A' + score % 26);
    return s;
}

void printTable() {
    for (const HighScoreEntry& row : highScoreTable.rows)
        std::printf("%d %d %s\n", row.score, row.level, row.initials.c_str());
}

void sleepMs(long ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Ten lines "score level initials", no final line end, scores descending.
bool wholeTable(const std::string& text) {
    std::istringstream in(text);
    std::string line;
    int lines = 0;
    long long previous = 0;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        long long score = 0, level = 0;
        std::string initials, extra;
        if (!(fields >> score >> level >> initials) || (fields >> extra)) return false;
        if (lines > 0 && score > previous) return false;
        previous = score;
        ++lines;
    }
    return lines == 10 && !text.empty() && text.back() != '\n';
}

int usage() {
    std::fputs(
        "usage: save-tool sign SCORE LEVEL INITIALS... | loop FIRST STEP COUNT | forever |"
        " watch STOPFILE | lock MS | hold MS | settings [0|1]\n",
        stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    const std::string command = argv[1];
    if (command == "sign" && argc >= 5) {
        loadHighScores();
        for (int i = 2; i < argc;) {
            if (std::string(argv[i]) == "wait" && i + 1 < argc) {
                std::fclose(std::fopen((std::string(argv[i + 1]) + ".ready").c_str(), "w"));
                while (!std::filesystem::exists(argv[i + 1])) sleepMs(5);
                i += 2;
            } else if (i + 2 < argc) {
                recordHighScore(std::atoi(argv[i]), std::atoi(argv[i + 1]), argv[i + 2]);
                i += 3;
            } else {
                return usage();
            }
        }
        printTable();
        return 0;
    }
    if (command == "settings" && argc <= 3) {
        if (argc == 3) {
            HostSettings settings;
            settings.muted = std::string(argv[2]) == "1";
            std::fputs(saveSettings(settings) ? "saved " : "not saved ", stdout);
        }
        std::printf("mute %d\n", loadSettings().muted ? 1 : 0);
        return 0;
    }
    if (command == "loop" && argc == 5) {
        const int first = std::atoi(argv[2]), step = std::atoi(argv[3]), count = std::atoi(argv[4]);
        loadHighScores();
        for (int k = 0; k < count; ++k) {
            const int score = first + k * step;
            recordHighScore(score, levelOf(score), initialsOf(score));
            // A whole game lies between two signings of a player; a game
            // that signed again at once would never let the other one in.
            sleepMs(1);
        }
        printTable();
        return 0;
    }
    if (command == "forever" && argc == 2) {
        for (;;) {
            resetHighScores();
            loadHighScores();
            const int next = highScoreTable.rows[0].score + 1;
            recordHighScore(next, levelOf(next), initialsOf(next));
        }
    }
    if (command == "watch" && argc == 3) {
        // Read as the game reads at start-up.
        long reads = 0, torn = 0, busy = 0;
        bool seen = false;
        while (!std::filesystem::exists(argv[2])) {
            std::string text;
            const StoredFile state = systemFileStorage().read("save.txt", text, kSaveFileLimit);
            if (state == StoredFile::unreadable) {
                ++busy;  // Windows: held for a moment by a replacing game
                continue;
            }
            if (state == StoredFile::missing) {
                // Not there yet; once there, it must never be gone.
                if (seen && ++torn <= 3) std::fputs("save-tool: save.txt is gone\n", stderr);
                continue;
            }
            seen = true;
            ++reads;
            if (!wholeTable(text) && ++torn <= 3)
                std::fprintf(stderr, "save-tool: not a whole table:\n%s\n", text.c_str());
        }
        std::printf("%ld reads, %ld not a whole table, %ld found the file busy\n", reads, torn,
                    busy);
        return torn == 0 && reads > 0 ? 0 : 1;
    }
    if (command == "lock" && argc == 3) {
        if (systemFileStorage().lock("save.txt") != FileLock::taken) return 1;
        std::puts("locked");
        std::fflush(stdout);
        sleepMs(std::atol(argv[2]));
        systemFileStorage().unlock();
        return 0;
    }
#ifdef _WIN32
    if (command == "hold" && argc == 3) {
        HANDLE file = CreateFileA("save.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return 1;
        std::puts("holding");
        std::fflush(stdout);
        sleepMs(std::atol(argv[2]));
        CloseHandle(file);
        return 0;
    }
#endif
    return usage();
}
