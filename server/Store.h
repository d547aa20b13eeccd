// Where the tables live: SQLite (one file, the default) or PostgreSQL (one
// database shared by several servers). Both keep the same schema, brought up
// to date by the same numbered migrations when the store opens.
#pragma once

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
};

class StoreError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Store {
public:
    virtual ~Store() = default;
    // Marks a ticket as spent; false when it was spent before.
    virtual bool spendTicket(const std::string& nonce, long long nowMs) = 0;
    // Forgets spent tickets issued before `beforeMs`: they have expired anyway.
    virtual void forgetTickets(long long beforeMs) = 0;
    virtual long long addRun(const RunRow& run, const std::string& replay) = 0;
    // The best visible runs of a board, highest score first, earliest first
    // among equals.
    virtual std::vector<RunRow> top(const std::string& board, int limit) = 0;
    virtual std::optional<std::string> replay(long long id) = 0;
    virtual std::optional<RunRow> run(long long id) = 0;
    // Hides a run from the tables (moderation); false for no such run.
    virtual bool hide(long long id) = 0;
    virtual int schemaVersion() = 0;
    // What an answer kept in memory is checked against: it changes with
    // every write to the tables, by this server or by any other program on
    // the same database. Empty where that cannot be told cheaply (several
    // servers share a PostgreSQL database): then nothing is kept.
    virtual std::optional<std::pair<long long, long long>> changeMark() { return std::nullopt; }
};

// "sqlite:PATH" or "postgresql://..." (also "postgres://"). Throws
// StoreError with a one-line reason.
std::unique_ptr<Store> openStore(const std::string& url);

// The schema, one step per entry; entry i takes version i to i + 1. The two
// dialects differ only in the key column.
std::vector<std::string> migrations(bool postgres);
