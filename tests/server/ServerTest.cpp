#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <thread>
#include <vector>

#include "Json.h"
#include "Players.h"
#include "Store.h"
#include "Tickets.h"
#include "Verifier.h"
#include "app/CommandLine.h"
#include "app/replay/ReplayRecorder.h"
#include "game/Rules.h"

namespace {

const TicketKey key(std::string(32, 'k'));

// A sealed replay: header, version line, field, seed and the body.
std::string replayText(const std::string& version, const std::string& field, uint32_t seed,
                       const std::string& body) {
    std::string t = std::string(kReplayHeader) + "\n";
    if (!version.empty()) t += kReplayVersionPrefix + version + "\n";
    t += "field " + field + "\nseed " + std::to_string(seed) + "\n" + body;
    return t + replayChecksumLine(t);
}

TEST(Tickets, OnlyTheKeysOwnTicketsDecodeAndTheDayHasOneSeed) {
    const Ticket t = key.issue(false, 1796700000000);
    const std::string text = key.encode(t);
    Ticket back;
    ASSERT_TRUE(key.decode(text, back));
    EXPECT_EQ(back.seed, t.seed);
    EXPECT_EQ(back.issuedMs, t.issuedMs);
    EXPECT_EQ(back.nonce, t.nonce);
    EXPECT_FALSE(back.daily);

    // Any byte changed, a ticket of another key, or junk: refused.
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::string bad = text;
        bad[i] = bad[i] == '1' ? '2' : '1';
        EXPECT_FALSE(key.decode(bad, back)) << bad;
    }
    EXPECT_FALSE(TicketKey(std::string(32, 'x')).decode(text, back));
    for (const char* junk : {"", ".....", "r.-.1.2.3.4.5", "d.2026-13-01.1.2.0123456789abcdef.00"})
        EXPECT_FALSE(key.decode(junk, back)) << junk;

    const Ticket a = key.issue(true, 1796700000000), b = key.issue(true, 1796700000000 + 3600000);
    EXPECT_EQ(a.day, "2026-12-08");
    EXPECT_EQ(a.seed, b.seed);
    EXPECT_NE(a.nonce, b.nonce);
    EXPECT_NE(key.dailySeed("2026-12-08"), key.dailySeed("2026-12-09"));
    ASSERT_TRUE(key.decode(key.encode(a), back));
    EXPECT_TRUE(back.daily);
    EXPECT_EQ(back.day, "2026-12-08");

    EXPECT_TRUE(isDay("2024-02-29"));
    for (const char* d : {"2023-02-29", "2026-1-08", "2026-12-32", "x", "2026-12-08 "})
        EXPECT_FALSE(isDay(d)) << d;
}

// Servers sharing a database start together with one key file that is not
// there yet: each must read the one key that was made, never a half-written file.
TEST(Tickets, ServersStartingAtOnceMakeOneKeyBetweenThem) {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("server-test-keys-" + std::to_string(getpid()));
    std::filesystem::create_directory(dir);
    struct Remove {
        std::filesystem::path p;
        ~Remove() { std::filesystem::remove_all(p); }
    } remove{dir};
    for (int round = 0; round < 50; ++round) {
        const std::string path = (dir / ("key" + std::to_string(round))).string();
        std::vector<std::string> seeds(6);
        std::vector<std::thread> servers;
        for (auto& seed : seeds)
            servers.emplace_back([&] {
                try {
                    seed = std::to_string(TicketKey::load(path).dailySeed("2026-12-08"));
                } catch (const std::exception& e) {
                    seed = e.what();
                }
            });
        for (auto& t : servers) t.join();
        for (const auto& seed : seeds) ASSERT_EQ(seed, seeds[0]) << "round " << round;
        EXPECT_EQ(std::filesystem::status(path).permissions(),
                  std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 50)
        << "no temporary file is left beside the keys";
}

TEST(RateLimiter, ABurstThenOneEveryRefill) {
    RateLimiter limit(60, 3);  // one a second
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(limit.allow("a", 1000));
    EXPECT_FALSE(limit.allow("a", 1000));
    EXPECT_TRUE(limit.allow("b", 1000)) << "clients have buckets of their own";
    EXPECT_FALSE(limit.allow("a", 1500));
    EXPECT_TRUE(limit.allow("a", 2000));
}

TEST(Json, EscapesMarkupAndControlsAndKnowsUtf8) {
    EXPECT_EQ(
        jsonString("<script>\"a\\b\"</script>&'\n\x01"),
        "\"\\u003cscript\\u003e\\\"a\\\\b\\\"\\u003c/script\\u003e\\u0026\\u0027\\n\\u0001\"");
    EXPECT_TRUE(validUtf8("ab\xC3\xA9\xE2\x82\xAC\xF0\x9F\x9A\x80"));
    for (const char* bad :
         {"\xFF", "\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE2\x82", "a\x80"})
        EXPECT_FALSE(validUtf8(bad)) << bad;
}

// Any version of the game that plays the server's rules may send a run.
TEST(Replays, RefusedUnlessTheseRulesTheRankedFieldAndTheTicketsSeed) {
    const std::string v = programVersion();
    EXPECT_TRUE(checkReplay(replayText(v, "1280 720", 9, "tick 5\n"), 9).ok);
    EXPECT_TRUE(checkReplay(replayText("0.9.0", "1280 720", 9, "tick 5\n"), 9).ok);
    const std::string ours = "0.9.0\n# rules " + std::to_string(kRulesVersion);
    EXPECT_TRUE(checkReplay(replayText(ours, "1280 720", 9, "tick 5\n"), 9).ok);
    const std::string theirs = "2.0.0\n# rules " + std::to_string(kRulesVersion + 1);
    const ReplayCheck other = checkReplay(replayText(theirs, "1280 720", 9, "tick 5\n"), 9);
    EXPECT_TRUE(!other.ok && other.otherRules);
    EXPECT_EQ(other.error, "this run needs the game's rules " + std::to_string(kRulesVersion + 1));
    const struct {
        std::string text;
        const char* says;
    } cases[] = {
        {replayText("", "1280 720", 9, "tick 5\n"), "does not say which version"},
        {replayText("<b>", "1280 720", 9, "tick 5\n"), "names no version"},
        {replayText(v, "800 600", 9, "tick 5\n"), "1280x720 field"},
        {replayText(v, "1280 720", 8, "tick 5\n"), "ticket's seed"},
        {replayText(v, "1280 720", 9, "# \xFF\ntick 5\n"), "not UTF-8"},
        {replayText(v, "1280 720", 9, std::string("#\0\n", 3)), "not UTF-8"},
        {replayText(v, "1280 720", 9, "tick 5\n").substr(10), "not a voidrunner replay"},
    };
    for (const auto& c : cases) {
        const ReplayCheck r = checkReplay(c.text, 9);
        EXPECT_FALSE(r.ok);
        EXPECT_NE(r.error.find(c.says), std::string::npos) << r.error;
    }
}

TEST(Verifier, KillsARunPastItsTimeAndBoundsTheQueue) {
    // A worker still busy at the wall-clock limit is killed. (A real run
    // ends at its first game over; the limit here is below a process start.)
    Verifier slow(VR_SERVER_PATH, 1, 1, {0.002, 512ll << 20});
    ASSERT_TRUE(slow.enter());
    const Verdict v =
        slow.run(replayText(programVersion(), "1280 720", 1, "keys S\ntick 2000000000\n"));
    EXPECT_EQ(v.kind, Verdict::TooLong) << v.error;

    Verifier quick(VR_SERVER_PATH, 1, 1, {10, 512ll << 20});
    ASSERT_TRUE(quick.enter());
    const Verdict ok = quick.run(replayText(programVersion(), "1280 720", 1, "tick 90\n"));
    EXPECT_EQ(ok.kind, Verdict::Reproduced) << ok.error;
    EXPECT_EQ(ok.ticks, 90);

    // One worker and one waiting place: the third is turned away.
    EXPECT_TRUE(quick.enter());
    EXPECT_TRUE(quick.enter());
    EXPECT_FALSE(quick.enter());
    quick.cancel();
    EXPECT_TRUE(quick.enter());
}

TEST(Verifier, AReplayVerifiedAfterAnotherGetsTheVerdictItGetsAlone) {
    // Turning and firing, and thrusting too: games with points, and a game
    // over in the second.
    Replay a, b;
    std::string error;
    ASSERT_TRUE(
        parseReplay(replayText(programVersion(), "1280 720", 7, "keys RS\ntick 3000\n"), a, error))
        << error;
    ASSERT_TRUE(parseReplay(
        replayText(programVersion(), "1280 720", 8, "keys LSU\ntick 400\nkeys U\ntick 3000\n"), b,
        error))
        << error;
    const Verdict alone = simulate(b);  // the first in this process
    const Verdict first = simulate(a);
    const Verdict again = simulate(b);
    const Verdict after = simulate(a);
    ASSERT_EQ(alone.kind, Verdict::Reproduced) << alone.error;
    EXPECT_GT(alone.score, 0);
    EXPECT_GT(first.score, 0);
    EXPECT_EQ(again.kind, alone.kind);
    EXPECT_EQ(again.score, alone.score);
    EXPECT_EQ(again.ticks, alone.ticks);
    EXPECT_EQ(after.score, first.score);
    EXPECT_EQ(after.ticks, first.ticks);
}

TEST(Verifier, TheZygotesWorkersVerifyAndAreKilledAsTheProgramsWere) {
    ASSERT_TRUE(startWorkerZygote());
    // A program that cannot run to fall back on: every worker that verifies
    // comes from the zygote.
    Verifier slow("/dev/null", 1, 1, {0.002, 512ll << 20});
    ASSERT_TRUE(slow.enter());
    const Verdict v =
        slow.run(replayText(programVersion(), "1280 720", 1, "keys S\ntick 2000000000\n"));
    EXPECT_EQ(v.kind, Verdict::TooLong) << v.error;

    Verifier quick("/dev/null", 1, 1, {10, 512ll << 20});
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(quick.enter());
        const Verdict ok = quick.run(replayText(programVersion(), "1280 720", 1, "tick 90\n"));
        EXPECT_EQ(ok.kind, Verdict::Reproduced) << ok.error;
        EXPECT_EQ(ok.ticks, 90);
    }
    ASSERT_TRUE(quick.enter());
    EXPECT_EQ(quick.run("not a replay").kind, Verdict::Refused);
}

// A run stored as a submission of its own ticket.
Submission submission(const std::string& nonce, const char* player, int score,
                      const std::string& board = "global") {
    Submission s;
    s.nonce = nonce;
    s.nowMs = 5;
    s.run.board = board;
    s.run.player = player;
    s.run.score = score;
    s.replay = std::string("replay of ") + player;
    s.client = "127.0.0.1";
    s.day = "2026-12-08";
    return s;
}

// A SQLite file of the test's own, removed with its journal at the end.
struct TempDb {
    std::string path;
    explicit TempDb(const std::string& name)
        : path(name + "-" + std::to_string(getpid()) + ".db") {}
    ~TempDb() {
        for (const char* s : {"", "-wal", "-shm"}) std::filesystem::remove(path + s);
    }
};

TEST(SqliteStore, MigratesOnceSpendsTicketsOnceAndRanksRuns) {
    const TempDb db("server-test");
    const std::string& path = db.path;
    {
        auto store = openStore("sqlite:" + path);
        EXPECT_EQ(store->schemaVersion(), static_cast<int>(migrations(false).size()));
        EXPECT_TRUE(store->fresh());
        for (const auto& [player, score] :
             std::initializer_list<std::pair<const char*, int>>{{"a", 10}, {"b", 30}, {"c", 30}}) {
            Submission s = submission(std::string("n") + player, player, score);
            EXPECT_EQ(store->addRun(s), Store::Added::Listed);
        }
        Submission daily = submission("nd", "d", 5, "2026-12-08");
        EXPECT_EQ(store->addRun(daily), Store::Added::Listed);
        Submission again = submission("na", "x", 99);
        EXPECT_EQ(store->addRun(again), Store::Added::Spent);
        EXPECT_FALSE(store->fresh());
    }
    auto store = openStore("sqlite:" + path);  // again: nothing migrates twice
    Submission again = submission("na", "x", 99);
    EXPECT_EQ(store->addRun(again), Store::Added::Spent) << "spent tickets outlive a restart";
    auto top = store->top("global", 10);
    ASSERT_EQ(top.size(), 3u);
    EXPECT_EQ(top[0].player + top[1].player + top[2].player, "bca");
    EXPECT_EQ(*store->replay(top[0].id), "replay of b");
    EXPECT_EQ(store->ticketUse("nb").run->id, top[0].id) << "a run knows its ticket";
    EXPECT_TRUE(store->hide(top[0].id));
    EXPECT_EQ(store->top("global", 1)[0].player, "c");
    EXPECT_FALSE(store->replay(top[0].id));
    EXPECT_EQ(store->top("2026-12-08", 10).size(), 1u);
    EXPECT_THROW(openStore("mysql://x"), StoreError);
}

// A kept answer is good only while the mark stands: every write moves it,
// this connection's and another program's on the same file.
TEST(SqliteStore, EveryWriteMovesTheChangeMark) {
    const TempDb db("server-mark");
    auto store = openStore("sqlite:" + db.path);
    auto other = openStore("sqlite:" + db.path);
    auto mark = store->changeMark();
    ASSERT_TRUE(mark);
    store->top("global", 10);
    EXPECT_EQ(store->changeMark(), mark) << "a read is no change";
    Submission mine = submission("m1", "a", 10);
    ASSERT_EQ(store->addRun(mine), Store::Added::Listed);
    EXPECT_NE(store->changeMark(), mark);
    mark = store->changeMark();
    const long long id = store->top("global", 1)[0].id;
    EXPECT_TRUE(store->hide(id));
    EXPECT_NE(store->changeMark(), mark);
    mark = store->changeMark();
    Submission theirs = submission("m2", "b", 20);
    ASSERT_EQ(other->addRun(theirs), Store::Added::Listed);
    EXPECT_NE(store->changeMark(), mark);
    mark = store->changeMark();
    other->hide(id + 1);
    EXPECT_NE(store->changeMark(), mark);
}

// A ticket is spent only together with its run: a run over the client's
// bytes for the day leaves nothing behind, and the database keeps the
// fingerprint of the first key it was given.
TEST(SqliteStore, NothingStoredByHalfAndOneKey) {
    const TempDb db("server-test-quota");
    auto store = openStore("sqlite:" + db.path);
    Submission first = submission("n1", "abc", 10);
    first.dailyBytes = 20;
    EXPECT_EQ(store->addRun(first), Store::Added::Listed);
    EXPECT_EQ(store->bytesStored("127.0.0.1", "2026-12-08"), 13);
    Submission over = submission("n2", "abc", 10);
    over.dailyBytes = 20;
    EXPECT_EQ(store->addRun(over), Store::Added::OverQuota);
    EXPECT_FALSE(store->ticketUse("n2").spent) << "refused whole: its ticket stays good";
    EXPECT_EQ(store->bytesStored("127.0.0.1", "2026-12-08"), 13);
    over.day = "2026-12-09";
    EXPECT_EQ(store->addRun(over), Store::Added::Listed) << "a new day, a new share";
    store->forget(0, "2026-12-09");
    EXPECT_EQ(store->bytesStored("127.0.0.1", "2026-12-08"), 0);

    EXPECT_EQ(store->claimKey("first"), "first");
    EXPECT_EQ(store->claimKey("second"), "first");
}

// A board shows each player's best run, earliest first among equals; a run
// knows its place among the other players' bests, today's runs are a window
// of the global board, and a name and its look-alikes are one player's.
TEST(SqliteStore, OneRowAPlayerTheirPlacesAndTheirNames) {
    const TempDb db("server-players");
    auto store = openStore("sqlite:" + db.path);
    const struct {
        const char* player;
        int score;
        long long at;
    } runs[] = {{"a", 50, 1000}, {"b", 70, 2000}, {"a", 90, 3000},
                {"c", 70, 4000}, {"a", 10, 5000}, {"b", 20, 86400000 + 10}};
    for (std::size_t i = 0; i < std::size(runs); ++i) {
        Submission s = submission("p" + std::to_string(i), runs[i].player, runs[i].score);
        s.run.submittedMs = runs[i].at;
        if (i == 4) s.run.flags = "keys changed on each of 150 ticks in a row";
        ASSERT_EQ(store->addRun(s), Store::Added::Listed);
    }
    std::string order;
    for (const RunRow& r : store->top("global", 10))
        order += r.player + std::to_string(r.score) + " ";
    EXPECT_EQ(order, "a90 b70 c70 ") << "one row a player; b's 70 came first";
    const RunRow late = *store->bestOf({"global"}, "b");
    EXPECT_EQ(store->rank({"global"}, late), 2);
    RunRow small = *store->runsOf("a", 1).begin();
    EXPECT_EQ(small.score, 10) << "the latest first";
    EXPECT_EQ(store->rank({"global"}, small), 3) << "below the other players' bests, not a's own";
    const BoardView firstDay{"global", 0, 86400000};
    order.clear();
    for (const RunRow& r : store->best(firstDay, 10))
        order += r.player + std::to_string(r.score) + " ";
    EXPECT_EQ(order, "a90 b70 c70 ");
    EXPECT_EQ(store->best({"global", 86400000, 2 * 86400000}, 10).size(), 1u);
    EXPECT_TRUE(store->hide(store->bestOf({"global"}, "a")->id));
    EXPECT_EQ(store->top("global", 1)[0].player, "b") << "a's best hidden: its next best stands";
    EXPECT_EQ(store->bestOf({"global"}, "a")->score, 50);

    // Review: the flagged runs until watched.
    ASSERT_EQ(store->review(10).size(), 1u);
    EXPECT_EQ(store->review(10)[0].flags, "keys changed on each of 150 ticks in a row");
    EXPECT_TRUE(store->markWatched(store->review(10)[0].id));
    EXPECT_TRUE(store->review(10).empty());
    EXPECT_FALSE(store->markWatched(999));

    // Names: claimed once, look-alikes refused, released for anyone.
    const std::string mine = newPlayerKey();
    EXPECT_EQ(mine.size(), 43u) << "256 bits";
    EXPECT_NE(mine, newPlayerKey());
    EXPECT_TRUE(store->claimPlayer({"ACE", nameFold("ACE"), playerKeyHash(mine), 1}));
    for (const char* alike : {"ACE", "ace", "\xEF\xBC\xA1\xEF\xBC\xA3\xEF\xBC\xA5",
                              "\xD0\x90\xD0\xA1\xD0\x95"})  // fullwidth, Cyrillic
        EXPECT_FALSE(store->claimPlayer({alike, nameFold(alike), playerKeyHash(mine), 2})) << alike;
    EXPECT_TRUE(store->claimPlayer({"ACES", nameFold("ACES"), playerKeyHash(mine), 3}));
    const auto ace = store->player("ACE");
    ASSERT_TRUE(ace);
    EXPECT_TRUE(playerKeyMatches(mine, ace->keyHash));
    EXPECT_FALSE(playerKeyMatches(mine + "x", ace->keyHash));
    EXPECT_EQ(ace->keyHash.find(mine), std::string::npos) << "only a hash is kept";
    EXPECT_TRUE(store->releasePlayer("ACE"));
    EXPECT_FALSE(store->player("ACE"));
    EXPECT_FALSE(store->releasePlayer("ACE"));
    EXPECT_TRUE(store->claimPlayer({"ace", nameFold("ace"), playerKeyHash("other"), 4}));
}

// A leaderboard from before boards had one row a player: the migration
// finds each player's best among the runs already listed.
TEST(SqliteStore, AnOlderBoardGetsItsPlayersBestsOnMigration) {
    const TempDb db("server-bests");
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(db.path.c_str(), &raw), SQLITE_OK);
    const auto steps = migrations(false);
    for (int v = 0; v < 2; ++v)
        ASSERT_EQ(sqlite3_exec(raw, steps[static_cast<std::size_t>(v)].c_str(), nullptr, nullptr,
                               nullptr),
                  SQLITE_OK);
    ASSERT_EQ(
        sqlite3_exec(
            raw,
            "PRAGMA user_version=2;"
            "INSERT INTO runs (board, player, score, ticks, seed, version,"
            " submitted_ms, replay, hidden) VALUES"
            " ('global', 'a', 5, 1, 1, 'v', 1, '', 0), ('global', 'a', 9, 1, 1, 'v', 2, '', 0),"
            " ('global', 'b', 7, 1, 1, 'v', 3, '', 0), ('global', 'b', 99, 1, 1, 'v', 4, '', 1);",
            nullptr, nullptr, nullptr),
        SQLITE_OK);
    sqlite3_close(raw);
    auto store = openStore("sqlite:" + db.path);
    std::string order;
    for (const RunRow& r : store->top("global", 10))
        order += r.player + std::to_string(r.score) + " ";
    EXPECT_EQ(order, "a9 b7 ") << "a hidden run is no one's best";
}

TEST(Review, InputsNoPersonMakesAreFlagged) {
    std::string person = "keys U\ntick 40\nkeys -\ntick 3\nkeys S\ntick\nkeys -\ntick 9\n";
    EXPECT_EQ(reviewFlags(person, 0), "");
    std::string machine;
    for (int i = 0; i < kChangeStreakFlagged + 20; ++i)
        machine += std::string("keys ") + (i % 2 ? "L" : "R") + "\ntick\n";
    EXPECT_EQ(reviewFlags(machine, 600000), "keys changed on each of 120 ticks in a row");
    const std::string marathon = "keys U\ntick 130000\n";  // 2 h 14 min
    EXPECT_EQ(reviewFlags(marathon, 5000), "2 h 14 min of play without a pause");
    EXPECT_EQ(reviewFlags(marathon, 600000), "") << "ten minutes of pauses";
}

}  // namespace
