// Where the tables live: SQLite (one file, the default) or PostgreSQL (one
// database shared by several servers). Both keep the same schema, brought up
// to date by the same numbered migrations when the store opens.
#pragma once

#include <climits>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

struct RunRow {
    long long id = 0;
    std::string board;  // "global" or the UTC day of a daily run, "2026-12-08"
    std::string player;
    long long score = 0;
    long long ticks = 0;
    long long seed = 0;
    std::string version;
    long long submittedMs = 0;  // Unix time
    bool watched = false;       // an operator has watched it
    std::string flags;          // why its inputs look like no person's; empty: they do not
    // Read only by recentRuns, for the operator.
    bool hidden = false;
    std::string client;  // the address it came from, until forgotten
    std::string agent;   // the client program's User-Agent
};

// A run the server turned away, kept for the operator (admin refusals).
struct Refusal {
    long long atMs = 0;
    std::string client, agent;
    int status = 0;
    std::string reason;  // a word: "score_mismatch", "expired", ...
    std::string player;
    long long score = 0;  // claimed
    std::string detail;   // the answer's reason
};

// A name claimed by a player: the server keeps only a hash of its key, and
// its fold (what it looks like), so that no look-alike is claimed beside it.
struct PlayerRow {
    std::string name, fold, keyHash;
    long long claimedMs = 0;
};

// A board, whole or the runs sent in [sinceMs, untilMs) of it (a day's).
struct BoardView {
    std::string board;
    long long sinceMs = 0;
    long long untilMs = INT64_MAX;
};

class StoreError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A verified run and what it costs, stored whole or not at all.
struct Submission {
    std::string nonce;  // the ticket's: spent by the same transaction
    long long nowMs = 0;
    RunRow run;
    std::string replay;
    std::string client, day;   // bytes stored are counted per client and UTC day
    std::string agent;         // kept with the run, as the client's address is
    long long dailyBytes = 0;  // at most this many a day per client; 0: no limit
};

// What became of a ticket.
struct TicketUse {
    bool spent = false;
    std::optional<RunRow> run;  // the visible run stored with it, if any
    std::string replay;         // that run's replay
};

class Store {
public:
    virtual ~Store() = default;
    enum class Added { Listed, Spent, OverQuota };
    // In one transaction: the ticket spent, the client's bytes counted and
    // the run stored, so a ticket is never spent without its run. Spent: the
    // ticket was spent before (nothing changed); OverQuota: the client has
    // stored its share of bytes today. Listed sets run.id.
    virtual Added addRun(Submission& s) = 0;
    virtual TicketUse ticketUse(const std::string& nonce) = 0;
    // The bytes a client has stored on a day.
    virtual long long bytesStored(const std::string& client, const std::string& day) = 0;
    // Forgets spent tickets issued before `beforeMs` (they have expired
    // anyway) and the byte counts of days before `beforeDay`.
    virtual void forget(long long beforeMs, const std::string& beforeDay) = 0;
    // The best visible run of each player on a board, highest score first,
    // earliest first among equals.
    virtual std::vector<RunRow> best(const BoardView& view, int limit) = 0;
    std::vector<RunRow> top(const std::string& board, int limit) { return best({board}, limit); }
    // Where a run stands among the other players' best runs: 1 for the top.
    virtual long long rank(const BoardView& view, const RunRow& run) = 0;
    // A player's best visible run on a board, and the latest runs anywhere.
    virtual std::optional<RunRow> bestOf(const BoardView& view, const std::string& player) = 0;
    virtual std::vector<RunRow> runsOf(const std::string& player, int limit) = 0;
    // A name claimed; false when it, or a look-alike (the same fold), is taken.
    virtual bool claimPlayer(const PlayerRow& p) = 0;
    virtual std::optional<PlayerRow> player(const std::string& name) = 0;
    virtual std::optional<PlayerRow> playerByFold(const std::string& fold) = 0;
    // The operator gives a name back: anyone may claim it again, and the
    // old key is worth nothing. Its runs stay listed. False: no such player.
    virtual bool releasePlayer(const std::string& name) = 0;
    // Review: an operator watched a run; the flagged runs not watched yet,
    // best first.
    virtual bool markWatched(long long id) = 0;
    virtual std::vector<RunRow> review(int limit) = 0;
    virtual std::optional<std::string> replay(long long id) = 0;
    virtual std::optional<RunRow> run(long long id) = 0;
    // Hides a run from the tables (moderation); false for no such run.
    virtual bool hide(long long id) = 0;
    // Lists it again; false for no such run.
    virtual bool unhide(long long id) = 0;
    // The latest runs, hidden ones too, newest first.
    virtual std::vector<RunRow> recentRuns(int limit) = 0;
    virtual void addRefusal(const Refusal& r) = 0;
    // The latest refusals, newest first.
    virtual std::vector<Refusal> refusals(int limit) = 0;
    // Drops the client addresses of runs stored before `beforeMs`, and the
    // refusals of that time.
    virtual void forgetClients(long long beforeMs) = 0;
    virtual int schemaVersion() = 0;
    // What an answer kept in memory is checked against: it changes with
    // every write to the tables, by this server or by any other program on
    // the same database. Empty where that cannot be told cheaply (several
    // servers share a PostgreSQL database): then nothing is kept.
    virtual std::optional<std::pair<long long, long long>> changeMark() { return std::nullopt; }
    // True while nothing is stored: no run, no spent ticket, no key.
    virtual bool fresh() = 0;
    // The fingerprint of the key this database's tickets are signed with:
    // the stored one, or `fingerprint` when none was stored yet.
    virtual std::string claimKey(const std::string& fingerprint) = 0;
    // The stored fingerprint, if a server has claimed the database.
    virtual std::optional<std::string> keyFingerprint() = 0;
    // A copy of the whole database in a new file, taken while servers run
    // (SQLite's online backup), and the database replaced by such a copy.
    // PostgreSQL's are pg_dump's and pg_restore's: these throw StoreError
    // saying so.
    virtual void backup(const std::string& file);
    virtual void restore(const std::string& file);
};

// "sqlite:PATH" or "postgresql://..." (also "postgres://"). Throws
// StoreError with a one-line reason.
std::unique_ptr<Store> openStore(const std::string& url);
// The URL with any password in it starred out, to be logged.
std::string redactUrl(const std::string& url);

// The queries both stores run, with ?N parameters (PostgreSQL's $N).
namespace sql {
extern const char* const kRunColumns;  // SELECT ... FROM runs r
// A whole board, read from each player's best (the bests table), or a
// day of it, from its runs.
bool wholeBoard(const BoardView& view);
extern const char *const kBest, *const kRank, *const kBestOf;
extern const char *const kBestInDay, *const kRankInDay, *const kBestOfInDay;
extern const char* const kRunsOf;  // ?1 player, ?2 limit
extern const char* const kReview;  // ?1 limit
extern const char *const kKeepBest, *const kDropBestOf, *const kNextBest;
std::string postgres(const char* query);
}  // namespace sql

// The schema, one step per entry; entry i takes version i to i + 1. The two
// dialects differ only in the key column.
std::vector<std::string> migrations(bool postgres);
