// Ranked and daily play against an online leaderboard (voidrunner-server).
// Opt-in: a "leaderboard URL" line in settings.txt names the server and
// --ranked or --daily asks for a ticket at launch. The game then starts with
// the ticket's seed on the standard 1280x720 field (shown scaled in any
// window), and its first game is sent when it ends. Requests run on the
// HTTP service's thread: none holds up a tick, and an answer reaches nothing
// but the console and the folder of runs kept for later. Offline, the game
// plays unranked and says so.
//
// A run is written to `unsent/` before it is first sent and stays there
// until the server lists or refuses it: sent again while the game runs
// (with backoff, as long as the server asks), and at the next ranked
// launch. A refused run's replay is kept in `replays/`.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/Http.h"
#include "platform/Platform.h"

class ReplayRecorder;

enum class RankedMode { Free, Ranked, Daily };

class Leaderboard {
public:
    // `key`: the player key that claimed `player` (empty: not claimed on
    // this device yet).
    Leaderboard(HttpService& http, std::string server, std::string player, std::string key = {});

    // Claims the player's name: the key comes back once (onClaimed keeps
    // it). Taken: another player has the name or one too like it.
    enum class Claim { Claimed, Taken, Refused, Offline };
    Claim claim(std::string& message);
    // Before the window opens, so no tick waits on it: claims the name if
    // this device has no key for it, then asks for a ticket under it. False
    // when there is none (offline, the name taken, the key refused);
    // `message` says so, and the sign says "Not ranked".
    bool begin(RankedMode mode, std::string& message);
    bool ranked() const { return !ticket_.empty(); }
    uint32_t seed() const { return seed_; }

    // The host's services with the ticket's seed for start-up and, until
    // start-up has read it (fieldRead says when), the standard field as the
    // window's client area.
    PlatformServices wrap(const PlatformServices& host, std::function<bool()> fieldRead);

    // The recorder's game over: the first one ends the ranked run, which is
    // sent (or kept in `keptFolder` when the server cannot be reached).
    void gameOver(const ReplayRecorder& recorder);
    // Sends the runs kept from earlier launches.
    void sendKept();
    // What the last answer said, for the console and the tests.
    std::string lastResult();

    std::string keptFolder = "unsent";
    std::string refusedFolder = "replays";
    // The first wait before a run is sent again; it doubles up to five
    // minutes, unless the server asks for another (Retry-After).
    long retryFirstMs = 5000;
    // How long a run's answer may take: it may wait for a worker.
    long runTimeoutSeconds = 60;
    // Also told every message (on the HTTP service's thread).
    std::function<void(const std::string&)> onMessage;
    // Told of the runs waiting to be sent: "" when none is, else when the
    // first of them can no longer be listed, local time ("14:32").
    std::function<void(const std::string&)> onUnsent;
    // Told the host's sign ("Ranked", "Listed #12", "Kept: will be sent").
    std::function<void(const std::string&)> onSign;
    // Told of a name claimed and its key, to keep (settings.txt).
    std::function<void(const std::string& name, const std::string& key)> onClaimed;
    const std::string& player() const { return player_; }
    const std::string& key() const { return key_; }

private:
    // The standard field as the client area until start-up has read it.
    class FieldWindows final : public ForwardingWindowSystem {
    public:
        Rect clientRect(WindowHandle w) override;
        std::function<bool()> fieldRead;
    };

    // What the answers last said, and the runs not answered yet (file ->
    // when it expires, Unix ms). Shared with the requests in flight: the
    // host may end the game, and this object, before they are answered.
    struct Said {
        std::mutex mutex;
        std::string last;
        std::function<void(const std::string&)> onMessage, onUnsent, onSign;
        std::map<std::string, long long> unsent;
    };
    // One run on its way: what is sent, and where it is kept meanwhile.
    struct Run {
        std::string ticket, player;
        std::string authorization;  // "Bearer KEY"; never written to the kept file
        int score = 0;
        std::string replay;
        long long expiresMs = 0;  // Unix time; 0: unknown
        std::string file;         // in keptFolder
        std::string refusedFolder;
        long retryFirstMs = 0, timeoutSeconds = 0;
    };

    static void submit(HttpService& http, const std::string& server,
                       const std::shared_ptr<Said>& said, FileStorage* files,
                       std::shared_ptr<const Run> run, long waitMs, int attempt);
    static void answered(HttpService& http, const std::string& server,
                         const std::shared_ptr<Said>& said, FileStorage* files,
                         const std::shared_ptr<const Run>& run, int attempt, const HttpReply& r);
    static bool keep(FileStorage& files, const std::string& folder, const Run& run);
    // A run waits for its next try, or is settled (listed or refused): the
    // host is told of the runs still waiting (under said.mutex).
    static void waiting(Said& said, const std::string& file, long long expiresMs);
    static void settled(Said& said, const std::string& file);
    static void toldUnsent(Said& said);
    std::shared_ptr<Run> newRun(const std::string& ticket, const std::string& player, int score,
                                const std::string& replay, long long expiresMs);
    // said_, told of the onMessage set now.
    std::shared_ptr<Said> shared();
    static void tell(Said& said, const std::string& text);
    static void sign(Said& said, const std::string& text);
    void tell(const std::string& text);
    std::string authorization() const { return key_.empty() ? "" : "Bearer " + key_; }

    HttpService& http_;
    std::string server_, player_, key_;
    std::string ticket_;
    uint32_t seed_ = 0;
    long long ticketAtMs_ = 0;        // when the ticket came, Unix ms
    long long slackMs_ = 900 * 1000;  // the server's time for pauses
    bool sent_ = false;
    SeedClock clock_;
    FieldWindows windows_;
    std::shared_ptr<Said> said_ = std::make_shared<Said>();
};
