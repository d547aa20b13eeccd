// kill-during-save: kills a process that saves the high-score table over and
// over, with SIGKILL at random moments, and checks after every kill that
// save.txt holds a whole table: the one before the interrupted save or the
// one after it, never a mix or a torn file.
//
//   kill-during-save [--trials N] [--max-delay-us U] [--seed S] [--saver CMD...]
//
// With --saver the saver is that program (save-tool forever, e.g. the Windows
// build under Wine), killed a random moment after its first save.
//
// The saver records scores 1, 2, 3, ...: after n recordings the table holds
// n, n-1, ... down to n-9 (or default rows below them), each row with a level
// and initials that follow from its score, so the file's first number tells
// exactly which bytes the whole file must have.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "scores/HighScores.h"

namespace {

int levelOf(int score) { return score % 97 + 1; }

std::string initialsOf(int score) {
    std::string s(3, 'A');
    for (int i = 2; i >= 0; --i, score /= 26)
        s[static_cast<std::size_t>(i)] = static_cast<char>('A' + score % 26);
    return s;
}

// The exact bytes of save.txt after n recordings.
std::string expectedFile(long long n) {
    std::ostringstream out;
    for (long long i = 0; i < 10; ++i) {
        const long long score = n - i;
        if (i) out << '\n';
        if (score > 0) {
            out << score << ' ' << levelOf(static_cast<int>(score)) << ' '
                << initialsOf(static_cast<int>(score));
        } else {
            out << "0 1 AAA";  // the default rows a missing file gives
        }
    }
    return out.str();
}

// The child: load like a fresh start, record the next score, save; forever.
[[noreturn]] void saveForever() {
    for (;;) {
        highScoreTable = HighScoreTable{};
        loadHighScores();
        const int next = highScoreTable.rows[0].score + 1;
        recordHighScore(next, levelOf(next), initialsOf(next));
    }
}

// Temporary files a killed save left: the next save clears them.
int tempFilesLeft() {
    int n = 0;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(".", ec))
        n += entry.path().filename().string().rfind("save.txt.tmp", 0) == 0;
    return n;
}

bool readFile(const char* name, std::string& out) {
    std::ifstream in(name, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    out = s.str();
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    int trials = 300;
    int maxDelayUs = 3000;
    unsigned seed = static_cast<unsigned>(std::random_device{}());
    char** saver = nullptr;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string_view arg = argv[i];
        if (arg == "--saver") {
            saver = argv + i + 1;
            break;
        }
        if (arg == "--trials")
            trials = std::atoi(argv[i + 1]);
        else if (arg == "--max-delay-us")
            maxDelayUs = std::atoi(argv[i + 1]);
        else if (arg == "--seed")
            seed = static_cast<unsigned>(std::strtoul(argv[i + 1], nullptr, 10));
        else {
            std::fputs(
                "usage: kill-during-save [--trials N] [--max-delay-us U] [--seed S] [--saver "
                "CMD...]\n",
                stderr);
            return 2;
        }
    }

    // The saver's path may be relative to where we were started.
    std::vector<std::string> command;
    for (char** a = saver; a && *a; ++a) {
        std::error_code ec;
        const auto absolute = std::filesystem::absolute(*a, ec);
        command.push_back(!ec && std::filesystem::exists(absolute) ? absolute.string() : *a);
    }
    std::string base = (std::filesystem::temp_directory_path() / "voidrunner-kill-XXXXXX").string();
    if (!mkdtemp(base.data()) || chdir(base.c_str()) != 0) {
        std::perror("kill-during-save: working folder");
        return 1;
    }
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> delay(0, maxDelayUs);

    long long last = 0;  // recordings on disk before this trial
    int tempLeft = 0, noProgress = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int t = 0; t < trials; ++t) {
        std::fflush(nullptr);
        const pid_t child = fork();
        if (child < 0) {
            std::perror("kill-during-save: fork");
            return 1;
        }
        if (child == 0) {
            if (command.empty()) saveForever();
            std::vector<char*> args;
            for (std::string& a : command) args.push_back(a.data());
            args.push_back(nullptr);
            execvp(args[0], args.data());
            std::perror("kill-during-save: the saver");
            _exit(127);
        }
        if (!command.empty()) {
            // A program of its own takes a while to start: wait for its first save.
            std::string text;
            const std::string before = readFile("save.txt", text) ? text : std::string();
            const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            while ((!readFile("save.txt", text) || text == before) &&
                   std::chrono::steady_clock::now() < giveUp) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(delay(rng)));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        if (!WIFSIGNALED(status)) {
            std::fprintf(stderr, "kill-during-save: the saver ended by itself (status %d)\n",
                         status);
            return 1;
        }

        std::string text;
        long long n = 0;
        if (readFile("save.txt", text)) {
            // The Windows saver writes its line ends as "\r\n".
            std::erase(text, '\r');
            n = std::atoll(text.c_str());
            if (n < last || text != expectedFile(n)) {
                std::fprintf(stderr,
                             "kill-during-save: trial %d (seed %u): save.txt is not a whole table "
                             "(%lld recordings before):\n%s\n",
                             t, seed, last, text.c_str());
                return 1;
            }
        } else if (last != 0) {
            std::fprintf(stderr, "kill-during-save: trial %d (seed %u): save.txt is gone\n", t,
                         seed);
            return 1;
        }
        if (tempFilesLeft() > 0) ++tempLeft;  // killed inside a save
        if (n == last) ++noProgress;
        last = n;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf(
        "kill-during-save: %d kills (seed %u) in %.1f s, %lld tables saved in all, "
        "%d kills inside a save (temporary file left), %d before the first save of "
        "their run; save.txt was whole every time\n",
        trials, seed, seconds, last, tempLeft, noProgress);

    std::error_code ec;
    std::filesystem::current_path(std::filesystem::temp_directory_path(), ec);
    std::filesystem::remove_all(base, ec);
    return 0;
}
