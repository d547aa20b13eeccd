// The desktop client's part of ranked play, against a real server on
// 127.0.0.1: the ticket's seed and the standard field reach start-up, the
// first game is sent at its game over and listed, and a run the server could
// not take is kept and sent again.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/GameWindow.h"
#include "app/online/Leaderboard.h"
#include "app/replay/ReplayRecorder.h"
#include "game/GameState.h"
#include "platform/curl/CurlHttp.h"
#include "platform/headless/Headless.h"

namespace {

namespace fs = std::filesystem;

// voidrunner-server on a free port of 127.0.0.1, its clock 1,000 times
// faster so a game's ticks need not be waited out.
struct LocalServer {
    pid_t pid = -1;
    std::string url;
    explicit LocalServer(const std::string& dir) {
        const std::string out = dir + "/server.out";
        // A server started again must not be read as the one before it.
        fs::remove(out);
        pid = fork();
        if (pid == 0) {
            std::freopen(out.c_str(), "w", stdout);
            execl(VR_SERVER_PATH, VR_SERVER_PATH, "--listen", "127.0.0.1:0", "--db",
                  ("sqlite:" + dir + "/lb.db").c_str(), "--key", (dir + "/key").c_str(),
                  "--clock-scale", "1000", "--slack", "86400", "--rate", "1000", nullptr);
            _exit(127);
        }
        for (int i = 0; i < 100 && url.empty(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            std::ifstream in(out);
            std::string line;
            std::getline(in, line);
            const std::size_t at = line.find(" port ");
            if (at != std::string::npos)
                url = "http://127.0.0.1:" + std::to_string(std::atoi(line.c_str() + at + 6));
        }
    }
    void stop() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
        pid = -1;
    }
    ~LocalServer() { stop(); }
};

std::string waitFor(Leaderboard& board, const char* word) {
    for (int i = 0; i < 200; ++i) {
        const std::string said = board.lastResult();
        if (said.find(word) != std::string::npos) return said;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return board.lastResult();
}

TEST(RankedClient, PlaysOnTheTicketsSeedAndFieldAndSendsTheFirstGame) {
    const fs::path dir = fs::temp_directory_path() / ("vr-client-" + std::to_string(getpid()));
    fs::create_directories(dir);
    struct Back {
        fs::path to, dir;
        ~Back() {
            fs::current_path(to);
            fs::remove_all(dir);
        }
    } back{fs::current_path(), dir};
    fs::current_path(dir);  // save.txt and unsent/ go here
    {
        CurlHttp http;
        std::string message;
        Leaderboard offline(http, "http://127.0.0.1:1", "ME");
        EXPECT_FALSE(offline.begin(RankedMode::Ranked, message));
        EXPECT_NE(message.find("not ranked"), std::string::npos) << message;

        LocalServer server(dir.string());
        ASSERT_FALSE(server.url.empty()) << "the server did not start";
        Leaderboard board(http, server.url, "<i>ME</i>");
        ASSERT_TRUE(board.begin(RankedMode::Daily, message)) << message;
        const auto issued = std::chrono::steady_clock::now();

        // The game, headless, in a small window: start-up must still see the
        // standard field and the ticket's seed.
        HeadlessPlatform host;
        host.windows.clientWidth = 500;
        host.windows.clientHeight = 400;
        host.clock.seed = 77;
        ReplayRecorder recorder;
        // The game down while the services it uses still stand, however the
        // test ends.
        struct Down {
            ~Down() { shutDown(); }
        } down;
        const PlatformServices s =
            board.wrap({&host.windows, &host.keys, &host.display, &host.sound, &host.clock});
        installPlatform(
            {s.windows, &recorder.keys(host.keys), s.display, s.sound, &recorder.clock(*s.clock)});
        replayHooks = &recorder;
        int overs = 0;
        std::string run;
        recorder.onGameOver = [&](const ReplayRecorder& r) {
            if (overs++ > 0) return;
            run = r.text();
            // The game ran faster than real time: wait out its ticks on the
            // server's clock.
            std::this_thread::sleep_until(issued +
                                          std::chrono::milliseconds(r.ticks() * 62 / 1000 + 100));
            board.gameOver(r);
        };
        ASSERT_TRUE(createGameWindow(nullptr));
        ASSERT_TRUE(gameWindow->createMainWindow());
        for (long long t = 0; t < 50000 && overs == 0; ++t) {
            host.keys.setAll(t % 40 < 30 ? "U" : "RS");
            host.clock.now += 63;
            runTickIfDue();
        }
        replayHooks = nullptr;
        ASSERT_EQ(overs, 1);
        EXPECT_EQ(gameState.fieldWidth, 1280);
        EXPECT_EQ(gameState.fieldHeight, 720);
        EXPECT_NE(run.find("\nseed " + std::to_string(board.seed()) + "\n"), std::string::npos);
        const int score = gameState.score;
        const std::string listed = waitFor(board, "listed");
        ASSERT_NE(listed.find("(run "), std::string::npos) << listed;
        const std::string id = listed.substr(listed.find("(run ") + 5);
        const HttpReply top =
            http.sendAndWait("GET", server.url + "/api/v1/runs/" + id.substr(0, id.size() - 1), "");
        EXPECT_NE(top.body.find("\"player\":\"\\u003ci\\u003eME\\u003c/i\\u003e\",\"score\":" +
                                std::to_string(score)),
                  std::string::npos)
            << top.body;

        // Another ticket for the day (same seed, so the same run fits it),
        // and the server gone when the run is sent: it is kept, and sent
        // again at the next launch. The game ends before the answer comes.
        {
            Leaderboard later(http, server.url, "ME");
            ASSERT_TRUE(later.begin(RankedMode::Daily, message)) << message;
            // On the server's fast clock a new day may just have begun.
            if (later.seed() != board.seed())
                GTEST_SKIP() << "the day changed on the server's clock";
            std::this_thread::sleep_for(
                std::chrono::milliseconds(recorder.ticks() * 62 / 1000 + 100));
            server.stop();
            later.gameOver(recorder);
        }
        http.sendAndWait("GET", "http://127.0.0.1:1/", "");  // queued after the run's answer
        ASSERT_EQ(std::distance(fs::directory_iterator("unsent"), fs::directory_iterator()), 1);

        LocalServer again(dir.string());
        Leaderboard next(http, again.url, "ME");
        next.sendKept();
        const std::string said = waitFor(next, "run");
        EXPECT_NE(said.find("the run is listed"), std::string::npos) << said;
        EXPECT_TRUE(fs::is_empty("unsent")) << "a run the server answered is not kept";
    }
}

}  // namespace
