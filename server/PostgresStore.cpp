// PostgreSQL through libpqxx: the same schema and migrations as the SQLite
// store, for several servers sharing one database. Each server keeps a few
// connections; a request takes one for the length of its statement.
#include <condition_variable>
#include <mutex>
#include <pqxx/pqxx>
#include <type_traits>

#include "Store.h"

namespace {

class PostgresStore final : public Store {
public:
    explicit PostgresStore(const std::string& url) : url_(url) {
        try {
            for (int i = 0; i < kConnections; ++i)
                idle_.push_back(std::make_unique<pqxx::connection>(url));
            migrate();
        } catch (const StoreError&) {
            throw;
        } catch (const std::exception& e) {
            throw StoreError(std::string("postgresql: ") + firstLine(e.what()));
        }
    }

    Added addRun(Submission& s) override {
        try {
            return add(s);
        } catch (const OverQuota&) {
            return Added::OverQuota;
        }
    }
    Added add(Submission& s) {
        return with([&](pqxx::work& w) {
            const RunRow& r = s.run;
            if (w.exec_params("INSERT INTO spent_tickets (nonce, spent_ms) VALUES ($1, $2)"
                              " ON CONFLICT DO NOTHING",
                              s.nonce, s.nowMs)
                    .affected_rows() != 1)
                return Added::Spent;
            const long long bytes =
                w.exec_params1(
                     "INSERT INTO daily_bytes (client, day, bytes) VALUES ($1, $2, $3)"
                     " ON CONFLICT (client, day) DO UPDATE"
                     " SET bytes = daily_bytes.bytes + excluded.bytes RETURNING bytes",
                     s.client, s.day, static_cast<long long>(s.replay.size()))[0]
                    .as<long long>();
            if (s.dailyBytes > 0 && bytes > s.dailyBytes) throw OverQuota{};
            s.run.id = w.exec_params1(
                            "INSERT INTO runs (board, player, score, ticks, seed, version,"
                            " submitted_ms, replay, ticket, client, agent, flags) VALUES ($1, $2,"
                            " $3, $4, $5, $6, $7, $8, $9, $10, $11, $12) RETURNING id",
                            r.board, r.player, r.score, r.ticks, r.seed, r.version, r.submittedMs,
                            s.replay, s.nonce, s.client, s.agent, r.flags)[0]
                           .as<long long>();
            w.exec_params(sql::postgres(sql::kKeepBest), r.board, r.player, r.score, s.run.id);
            return Added::Listed;
        });
    }
    TicketUse ticketUse(const std::string& nonce) override {
        return with([&](pqxx::work& w) {
            TicketUse use;
            use.spent =
                !w.exec_params("SELECT 1 FROM spent_tickets WHERE nonce = $1", nonce).empty();
            const auto r = w.exec_params(
                "SELECT id, board, player, score, ticks, seed, version, submitted_ms, replay"
                " FROM runs WHERE ticket = $1 AND hidden = 0",
                nonce);
            if (use.spent && !r.empty()) {
                use.run = read(r[0]);
                use.replay = r[0][8].as<std::string>();
            }
            return use;
        });
    }
    long long bytesStored(const std::string& client, const std::string& day) override {
        return with([&](pqxx::work& w) {
            const auto r = w.exec_params(
                "SELECT bytes FROM daily_bytes WHERE client = $1 AND day = $2", client, day);
            return r.empty() ? 0ll : r[0][0].as<long long>();
        });
    }
    void forget(long long beforeMs, const std::string& beforeDay) override {
        with([&](pqxx::work& w) {
            w.exec_params("DELETE FROM spent_tickets WHERE spent_ms < $1", beforeMs);
            w.exec_params("DELETE FROM daily_bytes WHERE day < $1", beforeDay);
            return 0;
        });
    }
    std::vector<RunRow> best(const BoardView& v, int limit) override {
        return with([&](pqxx::work& w) {
            std::vector<RunRow> rows;
            const pqxx::result found =
                sql::wholeBoard(v) ? w.exec_params(sql::postgres(sql::kBest), v.board, limit)
                                   : w.exec_params(sql::postgres(sql::kBestInDay), v.board,
                                                   v.sinceMs, v.untilMs, limit);
            for (const auto& row : found) rows.push_back(read(row));
            return rows;
        });
    }
    long long rank(const BoardView& v, const RunRow& run) override {
        return with([&](pqxx::work& w) {
            const pqxx::row r = sql::wholeBoard(v)
                                    ? w.exec_params1(sql::postgres(sql::kRank), v.board, run.player,
                                                     run.score, run.id)
                                    : w.exec_params1(sql::postgres(sql::kRankInDay), v.board,
                                                     v.sinceMs, v.untilMs, run.player, run.score,
                                                     run.id);
            return r[0].as<long long>() + 1;
        });
    }
    std::optional<RunRow> bestOf(const BoardView& v, const std::string& player) override {
        return with([&](pqxx::work& w) -> std::optional<RunRow> {
            const pqxx::result r = sql::wholeBoard(v)
                                       ? w.exec_params(sql::postgres(sql::kBestOf), v.board, player)
                                       : w.exec_params(sql::postgres(sql::kBestOfInDay), v.board,
                                                       v.sinceMs, v.untilMs, player);
            if (r.empty()) return std::nullopt;
            return read(r[0]);
        });
    }
    std::vector<RunRow> runsOf(const std::string& player, int limit) override {
        return with([&](pqxx::work& w) {
            std::vector<RunRow> rows;
            for (const auto& row : w.exec_params(sql::postgres(sql::kRunsOf), player, limit))
                rows.push_back(read(row));
            return rows;
        });
    }
    bool claimPlayer(const PlayerRow& p) override {
        return with([&](pqxx::work& w) {
            return w.exec_params(
                        "INSERT INTO players (name, fold, key_hash, claimed_ms)"
                        " VALUES ($1, $2, $3, $4) ON CONFLICT DO NOTHING",
                        p.name, p.fold, p.keyHash, p.claimedMs)
                       .affected_rows() == 1;
        });
    }
    std::optional<PlayerRow> player(const std::string& name) override {
        return playerWhere("name", name);
    }
    std::optional<PlayerRow> playerByFold(const std::string& fold) override {
        return playerWhere("fold", fold);
    }
    bool releasePlayer(const std::string& name) override {
        return with([&](pqxx::work& w) {
            return w.exec_params("DELETE FROM players WHERE name = $1", name).affected_rows() == 1;
        });
    }
    bool markWatched(long long id) override {
        return with([&](pqxx::work& w) {
            return w.exec_params("UPDATE runs SET watched = 1 WHERE id = $1", id).affected_rows() ==
                   1;
        });
    }
    std::vector<RunRow> review(int limit) override {
        return with([&](pqxx::work& w) {
            std::vector<RunRow> rows;
            for (const auto& row : w.exec_params(sql::postgres(sql::kReview), limit))
                rows.push_back(read(row));
            return rows;
        });
    }
    std::optional<std::string> replay(long long id) override {
        return with([&](pqxx::work& w) -> std::optional<std::string> {
            const auto r =
                w.exec_params("SELECT replay FROM runs WHERE id = $1 AND hidden = 0", id);
            if (r.empty()) return std::nullopt;
            return r[0][0].as<std::string>();
        });
    }
    std::optional<RunRow> run(long long id) override {
        return with([&](pqxx::work& w) -> std::optional<RunRow> {
            const auto r = w.exec_params(
                std::string(sql::kRunColumns) + " WHERE r.id = $1 AND r.hidden = 0", id);
            if (r.empty()) return std::nullopt;
            return read(r[0]);
        });
    }
    bool hide(long long id) override { return setHidden(id, 1); }
    bool unhide(long long id) override { return setHidden(id, 0); }
    std::vector<RunRow> recentRuns(int limit) override {
        return with([&](pqxx::work& w) {
            std::vector<RunRow> rows;
            for (const auto& row : w.exec_params(
                     "SELECT id, board, player, score, ticks, seed, version, submitted_ms, watched,"
                     " flags, hidden, coalesce(client, ''), coalesce(agent, '') FROM runs"
                     " ORDER BY id DESC LIMIT $1",
                     limit)) {
                rows.push_back(read(row));
                rows.back().hidden = row[10].as<int>() != 0;
                rows.back().client = row[11].as<std::string>();
                rows.back().agent = row[12].as<std::string>();
            }
            return rows;
        });
    }
    void addRefusal(const Refusal& r) override {
        with([&](pqxx::work& w) {
            w.exec_params(
                "INSERT INTO refusals (at_ms, client, agent, status, reason, player, score,"
                " detail) VALUES ($1, $2, $3, $4, $5, $6, $7, $8)",
                r.atMs, r.client, r.agent, r.status, r.reason, r.player, r.score, r.detail);
            return 0;
        });
    }
    std::vector<Refusal> refusals(int limit) override {
        return with([&](pqxx::work& w) {
            std::vector<Refusal> rows;
            for (const auto& row :
                 w.exec_params("SELECT at_ms, client, agent, status, reason, player, score, detail"
                               " FROM refusals ORDER BY id DESC LIMIT $1",
                               limit))
                rows.push_back({row[0].as<long long>(), row[1].as<std::string>(),
                                row[2].as<std::string>(), row[3].as<int>(),
                                row[4].as<std::string>(), row[5].as<std::string>(),
                                row[6].as<long long>(), row[7].as<std::string>()});
            return rows;
        });
    }
    void forgetClients(long long beforeMs) override {
        with([&](pqxx::work& w) {
            w.exec_params(
                "UPDATE runs SET client = NULL WHERE client IS NOT NULL AND submitted_ms < $1",
                beforeMs);
            w.exec_params("DELETE FROM refusals WHERE at_ms < $1", beforeMs);
            return 0;
        });
    }
    std::optional<std::string> keyFingerprint() override {
        return with([&](pqxx::work& w) -> std::optional<std::string> {
            const auto r = w.exec("SELECT fingerprint FROM server_key");
            if (r.empty()) return std::nullopt;
            return r[0][0].as<std::string>();
        });
    }
    int schemaVersion() override {
        return with([&](pqxx::work& w) {
            return w.exec1("SELECT version FROM schema_version")[0].as<int>();
        });
    }
    bool fresh() override {
        return with([&](pqxx::work& w) {
            return w.exec1(
                        "SELECT (SELECT count(*) FROM runs) + (SELECT count(*) FROM"
                        " spent_tickets) + (SELECT count(*) FROM server_key)")[0]
                       .as<long long>() == 0;
        });
    }
    std::string claimKey(const std::string& fingerprint) override {
        return with([&](pqxx::work& w) {
            w.exec_params(
                "INSERT INTO server_key (id, fingerprint) VALUES (1, $1)"
                " ON CONFLICT DO NOTHING",
                fingerprint);
            return w.exec1("SELECT fingerprint FROM server_key")[0].as<std::string>();
        });
    }

private:
    // The run's player's best on its board is worked out again with it.
    bool setHidden(long long id, int hidden) {
        return with([&](pqxx::work& w) {
            const pqxx::result who = w.exec_params(
                "UPDATE runs SET hidden = $1 WHERE id = $2 RETURNING board, player", hidden, id);
            if (who.size() != 1) return false;
            const auto board = who[0][0].as<std::string>(), player = who[0][1].as<std::string>();
            w.exec_params(sql::postgres(sql::kDropBestOf), board, player);
            w.exec_params(sql::postgres(sql::kNextBest), board, player);
            return true;
        });
    }
    // Thrown past with(), whose transaction then ends undone.
    struct OverQuota {};
    static constexpr int kConnections = 4;

    static std::string firstLine(const std::string& s) { return s.substr(0, s.find('\n')); }

    static RunRow read(const pqxx::row& row) {
        RunRow r;
        r.id = row[0].as<long long>();
        r.board = row[1].as<std::string>();
        r.player = row[2].as<std::string>();
        r.score = row[3].as<long long>();
        r.ticks = row[4].as<long long>();
        r.seed = row[5].as<long long>();
        r.version = row[6].as<std::string>();
        r.submittedMs = row[7].as<long long>();
        if (row.size() >= 10) {
            r.watched = row[8].as<long long>() != 0;
            r.flags = row[9].as<std::string>();
        }
        return r;
    }
    std::optional<PlayerRow> playerWhere(const char* column, const std::string& value) {
        return with([&](pqxx::work& w) -> std::optional<PlayerRow> {
            const auto r = w.exec_params(
                std::string("SELECT name, fold, key_hash, claimed_ms FROM players WHERE ") +
                    column + " = $1",
                value);
            if (r.empty()) return std::nullopt;
            return PlayerRow{r[0][0].as<std::string>(), r[0][1].as<std::string>(),
                             r[0][2].as<std::string>(), r[0][3].as<long long>()};
        });
    }

    // One statement in its own transaction on a connection of the pool; a
    // connection that broke is opened again for the next one.
    template <class F>
    std::invoke_result_t<F, pqxx::work&> with(F f) {
        std::unique_ptr<pqxx::connection> c;
        {
            std::unique_lock lock(mutex_);
            freed_.wait(lock, [this] { return !idle_.empty(); });
            c = std::move(idle_.back());
            idle_.pop_back();
        }
        struct Return {
            PostgresStore* s;
            std::unique_ptr<pqxx::connection>& c;
            ~Return() {
                {
                    std::lock_guard lock(s->mutex_);
                    s->idle_.push_back(std::move(c));
                }
                s->freed_.notify_one();
            }
        } back{this, c};
        // A connection the database dropped (a restart) is opened again and
        // the transaction tried once more: it either committed whole or not
        // at all, and a ticket spent by it shows on the second try.
        for (int attempt = 0;; ++attempt) {
            try {
                if (!c->is_open()) c = std::make_unique<pqxx::connection>(url_);
                pqxx::work w(*c);
                auto result = f(w);
                w.commit();
                return result;
            } catch (const pqxx::broken_connection& e) {
                if (attempt > 0)
                    throw StoreError(std::string("postgresql: ") + firstLine(e.what()));
                try {
                    c = std::make_unique<pqxx::connection>(url_);
                } catch (const std::exception& again) {
                    throw StoreError(std::string("postgresql: ") + firstLine(again.what()));
                }
            } catch (const std::exception& e) {
                throw StoreError(std::string("postgresql: ") + firstLine(e.what()));
            }
        }
    }

    // Under an advisory lock, so servers starting together migrate once.
    void migrate() {
        const auto steps = migrations(true);
        pqxx::work w(*idle_.front());
        w.exec("SELECT pg_advisory_xact_lock(7451023)");
        w.exec("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)");
        auto r = w.exec("SELECT version FROM schema_version");
        if (r.empty()) w.exec("INSERT INTO schema_version VALUES (0)");
        const int at = r.empty() ? 0 : r[0][0].as<int>();
        if (at > static_cast<int>(steps.size()))
            throw StoreError("postgresql: the database has schema " + std::to_string(at) +
                             ", newer than this server's " + std::to_string(steps.size()));
        for (int v = at; v < static_cast<int>(steps.size()); ++v) {
            w.exec(steps[static_cast<std::size_t>(v)]);
            w.exec("UPDATE schema_version SET version = " + std::to_string(v + 1));
        }
        w.commit();
    }

    std::string url_;
    std::mutex mutex_;
    std::condition_variable freed_;
    std::vector<std::unique_ptr<pqxx::connection>> idle_;
};

}  // namespace

std::unique_ptr<Store> openPostgresStore(const std::string& url) {
    return std::make_unique<PostgresStore>(url);
}
