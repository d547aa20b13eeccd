// The leaderboard's tables for the host's box over the game: the global
// top ten (one row per player), today's runs of it (or, in a daily game,
// the day's board), and the player's own best and place. Asked for through
// HttpService::request, so no tick ever waits; the answers land on the
// service's thread and are read from the loop's under a lock. Names come
// from strangers: only what shownName lets through is ever drawn.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/Http.h"

struct TopRow {
    int rank = 0;
    std::string player;  // as shownName made it: Latin-1 the font draws
    long long score = 0;
    bool mine = false;  // the player's own row
};

// The runs of a JSON list as the server sends it ([{"player":…,"score":…},
// …]), at most `most`; false when the text is not such a list. Rows of
// `me` (the name as UTF-8) are marked as mine.
bool parseTopRows(const std::string& json, std::vector<TopRow>& rows, std::size_t most = 10,
                  const std::string& me = {});

// A name from the server made safe to draw: printable ASCII and Latin-1
// kept, anything else a '?', at most kShownNameLength characters.
constexpr std::size_t kShownNameLength = 16;
std::string shownName(const std::u32string& name);

// "2026-12-08", the UTC day now (the leaderboard's days are UTC).
std::string utcToday();

class TopTen {
public:
    enum class Status { NoNetwork, NoLeaderboard, Loading, Ready, Failed };
    // A player's best on a board and its place; 0 when none.
    struct Standing {
        long long score = 0;
        long long rank = 0;
    };
    struct View {
        Status status = Status::NoLeaderboard;
        std::string why;  // Failed: what went wrong
        std::vector<TopRow> global, today;
        std::string todayTitle;  // "Today, 2026-12-08" or "Daily run, 2026-12-08"
        Standing best, bestToday;
    };
    // What was fetched, and whether more is on its way.
    struct Progress {
        unsigned answers = 0;  // grows with every answer
        bool waiting = false;
    };

    TopTen();
    // No service: this build has no network. No server: none configured.
    // `player`: whose row is marked and whose place is asked for; `daily`:
    // the second table is the day's board, not today's runs of the global.
    void configure(HttpService* http, std::string server, std::string player = {},
                   bool daily = false);
    // Asks for the tables again; what was shown stays until the answers.
    void fetch();
    View view() const;
    Progress progress() const;
    const std::string& server() const { return server_; }
    const std::string& player() const { return player_; }

private:
    struct Shared;
    HttpService* http_ = nullptr;
    std::string server_, player_;
    bool daily_ = false;
    // Shared with the requests under way: they may answer after the host
    // is gone.
    std::shared_ptr<Shared> shared_;
};
