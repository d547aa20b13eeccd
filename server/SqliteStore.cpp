// The embedded store: one SQLite file, one connection behind a lock (WAL,
// so readers of another process are not held up by a write).
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>

#include "Store.h"

namespace {

class Statement {
public:
    Statement(sqlite3* db, const char* sql) : db_(db) {
        if (sqlite3_prepare_v2(db, sql, -1, &st_, nullptr) != SQLITE_OK)
            throw StoreError(std::string("sqlite: ") + sqlite3_errmsg(db));
    }
    ~Statement() { sqlite3_finalize(st_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int i, long long v) {
        sqlite3_bind_int64(st_, i, v);
        return *this;
    }
    Statement& bind(int i, const std::string& v) {
        sqlite3_bind_text(st_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    // True while there is a row; throws on an error (a constraint included).
    bool step() {
        const int rc = sqlite3_step(st_);
        if (rc == SQLITE_ROW) return true;
        if (rc == SQLITE_DONE) return false;
        throw StoreError(std::string("sqlite: ") + sqlite3_errmsg(db_));
    }
    long long integer(int col) { return sqlite3_column_int64(st_, col); }
    int columns() { return sqlite3_column_count(st_); }
    void reset() { sqlite3_reset(st_); }
    std::string text(int col) {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st_, col));
        return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(st_, col)))
                 : std::string();
    }

private:
    sqlite3* db_;
    sqlite3_stmt* st_ = nullptr;
};

class SqliteStore final : public Store {
public:
    explicit SqliteStore(const std::string& path) {
        if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                            nullptr) != SQLITE_OK) {
            const std::string why = db_ ? sqlite3_errmsg(db_) : "out of memory";
            sqlite3_close(db_);
            throw StoreError("sqlite: cannot open " + path + ": " + why);
        }
        sqlite3_busy_timeout(db_, 5000);
        try {
            exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;");
            migrate();
        } catch (...) {
            sqlite3_close(db_);
            throw;
        }
    }
    ~SqliteStore() override {
        dataVersion_.reset();
        sqlite3_close(db_);
    }

    Added addRun(Submission& s) override {
        std::lock_guard lock(mutex_);
        exec("BEGIN IMMEDIATE");
        try {
            const Added added = add(s);
            exec(added == Added::Listed ? "COMMIT" : "ROLLBACK");
            return added;
        } catch (...) {
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
            throw;
        }
    }
    TicketUse ticketUse(const std::string& nonce) override {
        std::lock_guard lock(mutex_);
        TicketUse use;
        Statement spent(db_, "SELECT 1 FROM spent_tickets WHERE nonce = ?");
        use.spent = spent.bind(1, nonce).step();
        Statement st(db_,
                     "SELECT id, board, player, score, ticks, seed, version, submitted_ms,"
                     " replay FROM runs WHERE ticket = ? AND hidden = 0");
        if (use.spent && st.bind(1, nonce).step()) {
            use.run = read(st);
            use.replay = st.text(8);
        }
        return use;
    }
    long long bytesStored(const std::string& client, const std::string& day) override {
        std::lock_guard lock(mutex_);
        Statement st(db_, "SELECT bytes FROM daily_bytes WHERE client = ? AND day = ?");
        return st.bind(1, client).bind(2, day).step() ? st.integer(0) : 0;
    }
    void forget(long long beforeMs, const std::string& beforeDay) override {
        std::lock_guard lock(mutex_);
        Statement(db_, "DELETE FROM spent_tickets WHERE spent_ms < ?").bind(1, beforeMs).step();
        Statement(db_, "DELETE FROM daily_bytes WHERE day < ?").bind(1, beforeDay).step();
    }
    std::vector<RunRow> best(const BoardView& v, int limit) override {
        std::lock_guard lock(mutex_);
        const bool whole = sql::wholeBoard(v);
        Statement st(db_, whole ? sql::kBest : sql::kBestInDay);
        if (whole)
            st.bind(1, v.board).bind(2, limit);
        else
            st.bind(1, v.board).bind(2, v.sinceMs).bind(3, v.untilMs).bind(4, limit);
        std::vector<RunRow> rows;
        while (st.step()) rows.push_back(read(st));
        return rows;
    }
    long long rank(const BoardView& v, const RunRow& run) override {
        std::lock_guard lock(mutex_);
        const bool whole = sql::wholeBoard(v);
        Statement st(db_, whole ? sql::kRank : sql::kRankInDay);
        if (whole)
            st.bind(1, v.board).bind(2, run.player).bind(3, run.score).bind(4, run.id);
        else
            st.bind(1, v.board)
                .bind(2, v.sinceMs)
                .bind(3, v.untilMs)
                .bind(4, run.player)
                .bind(5, run.score)
                .bind(6, run.id);
        st.step();
        return st.integer(0) + 1;
    }
    std::optional<RunRow> bestOf(const BoardView& v, const std::string& player) override {
        std::lock_guard lock(mutex_);
        const bool whole = sql::wholeBoard(v);
        Statement st(db_, whole ? sql::kBestOf : sql::kBestOfInDay);
        if (whole)
            st.bind(1, v.board).bind(2, player);
        else
            st.bind(1, v.board).bind(2, v.sinceMs).bind(3, v.untilMs).bind(4, player);
        if (!st.step()) return std::nullopt;
        return read(st);
    }
    std::vector<RunRow> runsOf(const std::string& player, int limit) override {
        std::lock_guard lock(mutex_);
        Statement st(db_, sql::kRunsOf);
        st.bind(1, player).bind(2, limit);
        std::vector<RunRow> rows;
        while (st.step()) rows.push_back(read(st));
        return rows;
    }
    bool claimPlayer(const PlayerRow& p) override {
        std::lock_guard lock(mutex_);
        Statement st(db_,
                     "INSERT INTO players (name, fold, key_hash, claimed_ms) VALUES (?, ?, ?, ?)"
                     " ON CONFLICT DO NOTHING");
        st.bind(1, p.name).bind(2, p.fold).bind(3, p.keyHash).bind(4, p.claimedMs).step();
        return sqlite3_changes(db_) == 1;
    }
    std::optional<PlayerRow> player(const std::string& name) override {
        return playerWhere("name", name);
    }
    std::optional<PlayerRow> playerByFold(const std::string& fold) override {
        return playerWhere("fold", fold);
    }
    bool releasePlayer(const std::string& name) override {
        std::lock_guard lock(mutex_);
        Statement(db_, "DELETE FROM players WHERE name = ?").bind(1, name).step();
        return sqlite3_changes(db_) == 1;
    }
    bool markWatched(long long id) override {
        std::lock_guard lock(mutex_);
        Statement(db_, "UPDATE runs SET watched = 1 WHERE id = ?").bind(1, id).step();
        return sqlite3_changes(db_) == 1;
    }
    std::vector<RunRow> review(int limit) override {
        std::lock_guard lock(mutex_);
        Statement st(db_, sql::kReview);
        st.bind(1, limit);
        std::vector<RunRow> rows;
        while (st.step()) rows.push_back(read(st));
        return rows;
    }
    std::optional<std::string> replay(long long id) override {
        std::lock_guard lock(mutex_);
        Statement st(db_, "SELECT replay FROM runs WHERE id = ? AND hidden = 0");
        st.bind(1, id);
        if (!st.step()) return std::nullopt;
        return st.text(0);
    }
    std::optional<RunRow> run(long long id) override {
        std::lock_guard lock(mutex_);
        Statement st(db_,
                     (std::string(sql::kRunColumns) + " WHERE r.id = ? AND r.hidden = 0").c_str());
        st.bind(1, id);
        if (!st.step()) return std::nullopt;
        return read(st);
    }
    bool hide(long long id) override { return setHidden(id, 1); }
    bool unhide(long long id) override { return setHidden(id, 0); }
    std::vector<RunRow> recentRuns(int limit) override {
        std::lock_guard lock(mutex_);
        Statement st(db_,
                     "SELECT id, board, player, score, ticks, seed, version, submitted_ms, watched,"
                     " flags, hidden, coalesce(client, ''), coalesce(agent, '') FROM runs"
                     " ORDER BY id DESC LIMIT ?");
        st.bind(1, limit);
        std::vector<RunRow> rows;
        while (st.step()) {
            rows.push_back(read(st));
            rows.back().hidden = st.integer(10) != 0;
            rows.back().client = st.text(11);
            rows.back().agent = st.text(12);
        }
        return rows;
    }
    void addRefusal(const Refusal& r) override {
        std::lock_guard lock(mutex_);
        Statement st(db_,
                     "INSERT INTO refusals (at_ms, client, agent, status, reason, player, score,"
                     " detail) VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
        st.bind(1, r.atMs).bind(2, r.client).bind(3, r.agent).bind(4, r.status);
        st.bind(5, r.reason).bind(6, r.player).bind(7, r.score).bind(8, r.detail).step();
    }
    std::vector<Refusal> refusals(int limit) override {
        std::lock_guard lock(mutex_);
        Statement st(db_,
                     "SELECT at_ms, client, agent, status, reason, player, score, detail"
                     " FROM refusals ORDER BY id DESC LIMIT ?");
        st.bind(1, limit);
        std::vector<Refusal> rows;
        while (st.step())
            rows.push_back({st.integer(0), st.text(1), st.text(2), static_cast<int>(st.integer(3)),
                            st.text(4), st.text(5), st.integer(6), st.text(7)});
        return rows;
    }
    void forgetClients(long long beforeMs) override {
        std::lock_guard lock(mutex_);
        Statement(db_,
                  "UPDATE runs SET client = NULL WHERE client IS NOT NULL AND submitted_ms < ?")
            .bind(1, beforeMs)
            .step();
        Statement(db_, "DELETE FROM refusals WHERE at_ms < ?").bind(1, beforeMs).step();
    }
    int schemaVersion() override {
        std::lock_guard lock(mutex_);
        return version();
    }
    // This connection's changed rows, and SQLite's count of what other
    // connections (another process on the file) committed.
    std::optional<std::pair<long long, long long>> changeMark() override {
        std::lock_guard lock(mutex_);
        if (!dataVersion_) dataVersion_ = std::make_unique<Statement>(db_, "PRAGMA data_version");
        dataVersion_->step();
        const long long others = dataVersion_->integer(0);
        // A stepped statement holds its read transaction open: every later
        // read on this connection would see this moment's database, and the
        // log could never be folded back into it.
        dataVersion_->reset();
        return std::pair{static_cast<long long>(sqlite3_total_changes64(db_)), others};
    }
    bool fresh() override {
        std::lock_guard lock(mutex_);
        Statement st(db_,
                     "SELECT (SELECT count(*) FROM runs) + (SELECT count(*) FROM spent_tickets) +"
                     " (SELECT count(*) FROM server_key)");
        st.step();
        return st.integer(0) == 0;
    }
    std::string claimKey(const std::string& fingerprint) override {
        std::lock_guard lock(mutex_);
        Statement(db_, "INSERT OR IGNORE INTO server_key (id, fingerprint) VALUES (1, ?)")
            .bind(1, fingerprint)
            .step();
        Statement st(db_, "SELECT fingerprint FROM server_key");
        st.step();
        return st.text(0);
    }
    std::optional<std::string> keyFingerprint() override {
        std::lock_guard lock(mutex_);
        Statement st(db_, "SELECT fingerprint FROM server_key");
        if (!st.step()) return std::nullopt;
        return st.text(0);
    }
    // Into a new file of the owner's only (it holds client addresses),
    // linked into place when whole: never over another file.
    void backup(const std::string& file) override {
        std::lock_guard lock(mutex_);
        const std::string temp = file + ".tmp-" + std::to_string(getpid());
        const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) throw StoreError("cannot create " + temp + ": " + std::strerror(errno));
        close(fd);
        sqlite3* to = nullptr;
        try {
            if (sqlite3_open_v2(temp.c_str(), &to, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
                throw StoreError("sqlite: cannot open " + temp);
            copy(db_, to, temp);
            // One plain file, whatever the journal of the database it copies.
            if (sqlite3_exec(to, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr) !=
                SQLITE_OK)
                throw StoreError(std::string("sqlite: ") + sqlite3_errmsg(to));
            sqlite3_close(to);
            to = nullptr;
            const int out = open(temp.c_str(), O_RDONLY | O_CLOEXEC);
            const bool synced = out >= 0 && fsync(out) == 0;
            if (out >= 0) close(out);
            if (!synced) throw StoreError("cannot write " + temp + ": " + std::strerror(errno));
            if (link(temp.c_str(), file.c_str()) != 0)
                throw StoreError(errno == EEXIST
                                     ? file + " is there already: name a new file"
                                     : "cannot make " + file + ": " + std::strerror(errno));
        } catch (...) {
            sqlite3_close(to);
            unlink(temp.c_str());
            throw;
        }
        unlink(temp.c_str());
    }
    // Only from a file that is a whole leaderboard this server can read.
    void restore(const std::string& file) override {
        std::lock_guard lock(mutex_);
        sqlite3* from = nullptr;
        try {
            if (sqlite3_open_v2(file.c_str(), &from, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
                throw StoreError("sqlite: cannot open " + file);
            std::string problem;
            {
                Statement check(from, "PRAGMA quick_check");
                if (!check.step() || check.text(0) != "ok") problem = "it is damaged";
                Statement v(from, "PRAGMA user_version");
                v.step();
                const long long at = v.integer(0);
                if (problem.empty() &&
                    (at < 1 || at > static_cast<long long>(migrations(false).size())))
                    problem = at < 1 ? "it holds no leaderboard"
                                     : "its schema " + std::to_string(at) +
                                           " is newer than this server's";
            }
            if (!problem.empty()) throw StoreError(file + " cannot be restored: " + problem);
            copy(from, db_, file);
        } catch (const StoreError&) {
            sqlite3_close(from);
            throw;
        } catch (const std::exception& e) {
            sqlite3_close(from);
            throw StoreError(file + " cannot be restored: " + e.what());
        }
        sqlite3_close(from);
        migrate();
    }

private:
    // The run's player's best on its board is worked out again with it.
    bool setHidden(long long id, int hidden) {
        std::lock_guard lock(mutex_);
        exec("BEGIN IMMEDIATE");
        try {
            Statement(db_, "UPDATE runs SET hidden = ? WHERE id = ?")
                .bind(1, hidden)
                .bind(2, id)
                .step();
            const bool changed = sqlite3_changes(db_) == 1;
            if (changed) {
                Statement who(db_, "SELECT board, player FROM runs WHERE id = ?");
                who.bind(1, id).step();
                const std::string board = who.text(0), player = who.text(1);
                Statement(db_, sql::kDropBestOf).bind(1, board).bind(2, player).step();
                Statement(db_, sql::kNextBest).bind(1, board).bind(2, player).step();
            }
            exec("COMMIT");
            return changed;
        } catch (...) {
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
            throw;
        }
    }
    // The whole database at once, as one consistent snapshot of `from`.
    static void copy(sqlite3* from, sqlite3* to, const std::string& name) {
        sqlite3_backup* b = sqlite3_backup_init(to, "main", from, "main");
        if (!b) throw StoreError(std::string("sqlite: ") + sqlite3_errmsg(to));
        const int rc = sqlite3_backup_step(b, -1);
        sqlite3_backup_finish(b);
        if (rc != SQLITE_DONE)
            throw StoreError("sqlite: copying " + name + ": " + sqlite3_errstr(rc));
    }
    Added add(Submission& s) {
        Statement spend(db_, "INSERT OR IGNORE INTO spent_tickets (nonce, spent_ms) VALUES (?, ?)");
        spend.bind(1, s.nonce).bind(2, s.nowMs).step();
        if (sqlite3_changes(db_) != 1) return Added::Spent;
        Statement count(db_,
                        "INSERT INTO daily_bytes (client, day, bytes) VALUES (?, ?, ?)"
                        " ON CONFLICT (client, day) DO UPDATE SET bytes = bytes + excluded.bytes"
                        " RETURNING bytes");
        count.bind(1, s.client).bind(2, s.day).bind(3, static_cast<long long>(s.replay.size()));
        count.step();
        if (s.dailyBytes > 0 && count.integer(0) > s.dailyBytes) return Added::OverQuota;
        const RunRow& r = s.run;
        Statement st(
            db_,
            "INSERT INTO runs (board, player, score, ticks, seed, version, submitted_ms,"
            " replay, ticket, client, agent, flags) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
        st.bind(1, r.board).bind(2, r.player).bind(3, r.score).bind(4, r.ticks).bind(5, r.seed);
        st.bind(6, r.version).bind(7, r.submittedMs).bind(8, s.replay).bind(9, s.nonce);
        st.bind(10, s.client).bind(11, s.agent).bind(12, r.flags).step();
        s.run.id = sqlite3_last_insert_rowid(db_);
        Statement(db_, sql::kKeepBest)
            .bind(1, r.board)
            .bind(2, r.player)
            .bind(3, r.score)
            .bind(4, s.run.id)
            .step();
        return Added::Listed;
    }
    static RunRow read(Statement& st) {
        RunRow r;
        r.id = st.integer(0);
        r.board = st.text(1);
        r.player = st.text(2);
        r.score = st.integer(3);
        r.ticks = st.integer(4);
        r.seed = st.integer(5);
        r.version = st.text(6);
        r.submittedMs = st.integer(7);
        if (st.columns() >= 10) {
            r.watched = st.integer(8) != 0;
            r.flags = st.text(9);
        }
        return r;
    }
    std::optional<PlayerRow> playerWhere(const char* column, const std::string& value) {
        std::lock_guard lock(mutex_);
        Statement st(db_,
                     (std::string("SELECT name, fold, key_hash, claimed_ms FROM players WHERE ") +
                      column + " = ?")
                         .c_str());
        if (!st.bind(1, value).step()) return std::nullopt;
        return PlayerRow{st.text(0), st.text(1), st.text(2), st.integer(3)};
    }
    void exec(const std::string& sql) {
        char* error = nullptr;
        if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
            const std::string why = error ? error : "unknown error";
            sqlite3_free(error);
            throw StoreError("sqlite: " + why);
        }
    }
    int version() {
        Statement st(db_, "PRAGMA user_version");
        st.step();
        return static_cast<int>(st.integer(0));
    }
    // Each step in its own transaction, with the version it reaches, so a
    // store is never left half way; a newer store than this server knows is
    // refused rather than written to.
    void migrate() {
        const auto steps = migrations(false);
        exec("BEGIN IMMEDIATE");
        try {
            const int at = version();
            if (at > static_cast<int>(steps.size()))
                throw StoreError("sqlite: the database has schema " + std::to_string(at) +
                                 ", newer than this server's " + std::to_string(steps.size()));
            for (int v = at; v < static_cast<int>(steps.size()); ++v) {
                exec(steps[static_cast<std::size_t>(v)]);
                exec("PRAGMA user_version=" + std::to_string(v + 1));
            }
            exec("COMMIT");
        } catch (...) {
            exec("ROLLBACK");
            throw;
        }
    }

    sqlite3* db_ = nullptr;
    std::unique_ptr<Statement> dataVersion_;
    std::mutex mutex_;
};

}  // namespace

std::unique_ptr<Store> openSqliteStore(const std::string& path) {
    return std::make_unique<SqliteStore>(path);
}
