// Ranked and daily play against an online leaderboard (voidrunner-server).
// Opt-in: a "leaderboard URL" line in settings.txt names the server and
// --ranked or --daily asks for a ticket at launch. The game then starts with
// the ticket's seed on the standard 1280x720 field (shown scaled in any
// window), and its first game is sent when it ends. Requests run on the
// HTTP service's thread: none holds up a tick, and an answer reaches nothing
// but the console and the folder of runs kept for later. Offline, the game
// plays unranked and says so.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/Http.h"
#include "platform/Platform.h"

class ReplayRecorder;

enum class RankedMode { Free, Ranked, Daily };

class Leaderboard {
public:
    Leaderboard(HttpService& http, std::string server, std::string player);

    // Before the window opens, so no tick waits on it: asks for a ticket.
    // False when there is none (offline, refused); `message` says so.
    bool begin(RankedMode mode, std::string& message);
    bool ranked() const { return !ticket_.empty(); }
    uint32_t seed() const { return seed_; }

    // The host's services with the ticket's seed for start-up and, until
    // start-up has read it, the standard field as the window's client area.
    PlatformServices wrap(const PlatformServices& host);

    // The recorder's game over: the first one ends the ranked run, which is
    // sent (or kept in `keptFolder` when the server cannot be reached).
    void gameOver(const ReplayRecorder& recorder);
    // Sends the runs kept from earlier launches.
    void sendKept();
    // What the last answer said, for the console and the tests.
    std::string lastResult();

    std::string keptFolder = "unsent";
    // Also told every message (on the HTTP service's thread).
    std::function<void(const std::string&)> onMessage;

private:
    // The standard field as the client area until start-up has read it.
    class FieldWindows final : public ForwardingWindowSystem {
    public:
        Rect clientRect(WindowHandle w) override;
    };

    // What the answers last said. Shared with the requests in flight: the
    // host may end the game, and this object, before they are answered.
    struct Said {
        std::mutex mutex;
        std::string last;
        std::function<void(const std::string&)> onMessage;
    };

    void submit(const std::string& ticket, const std::string& player, int score,
                const std::string& replay, const std::string& keptFile);
    static bool keep(FileStorage& files, const std::string& folder, const std::string& ticket,
                     const std::string& player, int score, const std::string& replay);
    // said_, told of the onMessage set now.
    std::shared_ptr<Said> shared();
    static void tell(Said& said, const std::string& text);
    void tell(const std::string& text);

    HttpService& http_;
    std::string server_, player_;
    std::string ticket_;
    uint32_t seed_ = 0;
    bool sent_ = false;
    SeedClock clock_;
    FieldWindows windows_;
    std::shared_ptr<Said> said_ = std::make_shared<Said>();
};
