// The global and the daily top ten of the online leaderboard, for the
// host's box over the game. Asked for through HttpService::send, so no tick
// ever waits; the answers land on the service's thread and are read from the
// loop's under a lock. Names come from strangers: only what shownName lets
// through is ever drawn.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/Http.h"

struct TopRow {
    int rank = 0;
    std::string player;  // as shownName made it: Latin-1 the font draws
    long long score = 0;
};

// The runs of a JSON list as the server sends it ([{"player":…,"score":…},
// …]), at most `most`; false when the text is not such a list.
bool parseTopRows(const std::string& json, std::vector<TopRow>& rows, std::size_t most = 10);

// A name from the server made safe to draw: printable ASCII and Latin-1
// kept, anything else a '?', at most kShownNameLength characters.
constexpr std::size_t kShownNameLength = 16;
std::string shownName(const std::u32string& name);

class TopTen {
public:
    enum class Status { NoNetwork, NoLeaderboard, Loading, Ready, Failed };
    struct View {
        Status status = Status::NoLeaderboard;
        std::string why;  // Failed: what went wrong
        std::vector<TopRow> global, daily;
    };
    // What was fetched, and whether more is on its way.
    struct Progress {
        unsigned answers = 0;  // grows with every answer
        bool waiting = false;
    };

    TopTen();
    // No service: this build has no network. No server: none configured.
    void configure(HttpService* http, std::string server);
    // Asks for both tables again; what was shown stays until the answers.
    void fetch();
    View view() const;
    Progress progress() const;
    const std::string& server() const { return server_; }

private:
    struct Shared;
    HttpService* http_ = nullptr;
    std::string server_;
    // Shared with the requests under way: they may answer after the host
    // is gone.
    std::shared_ptr<Shared> shared_;
};
