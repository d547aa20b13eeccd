// voidrunner-desktop-run: one ranked game of the desktop client, headless,
// in a folder of its own: the name and key of its settings.txt (the name
// claimed when it has no key, the key then kept there), a ticket, the first
// game sent and listed. The browser test shares a player line with it.
//   voidrunner-desktop-run SERVER_URL FOLDER CLOCK_SCALE
// Prints what the leaderboard said last; exit 0 when the run is listed.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "RankedGame.h"
#include "app/host/Settings.h"
#include "platform/curl/CurlHttp.h"

int main(int argc, char** argv) {
    if (argc != 4 || chdir(argv[2]) != 0) {
        std::fprintf(stderr, "usage: voidrunner-desktop-run SERVER_URL FOLDER CLOCK_SCALE\n");
        return 2;
    }
    const double scale = std::atof(argv[3]) > 0 ? std::atof(argv[3]) : 1;
    const HostSettings settings = loadSettings();
    CurlHttp http;
    Leaderboard board(http, argv[1], settings.player, settings.playerKey);
    board.onClaimed = [](const std::string& name, const std::string& key) {
        saveSetting("player", playerSetting(name, key));
    };
    std::string message;
    if (!board.begin(RankedMode::Ranked, message)) {
        std::printf("%s\n", message.c_str());
        return 1;
    }
    const auto issued = std::chrono::steady_clock::now();
    ReplayRecorder recorder;
    playRankedGame(board, recorder, [&](const ReplayRecorder& r) {
        // Its ticks waited out on the server's clock.
        std::this_thread::sleep_until(issued +
                                      std::chrono::milliseconds(static_cast<long long>(
                                          static_cast<double>(r.ticks()) * 62 / scale + 200)));
        board.gameOver(r);
    });
    for (int i = 0; i < 600; ++i) {
        const std::string said = board.lastResult();
        if (said.find("listed") != std::string::npos || said.find("refused") != std::string::npos ||
            said.find("key") != std::string::npos)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    std::printf("%s\n", board.lastResult().c_str());
    return board.lastResult().find("is listed") != std::string::npos ? 0 : 1;
}
